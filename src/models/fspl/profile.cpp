#include "models/fspl/profile.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessarin::models::fspl {

namespace {

constexpr double EPS = std::numeric_limits<double>::epsilon();

// 2 int_0^1 mu^p (1 - mu^2)^k mu dmu = B(p/2 + 1, k + 1) = k! / prod_{j=1}^{k+1} (p/2 + j).
double power_moment(double p, int k) noexcept {
  double value = 1.0;
  for (int j = 1; j <= k + 1; ++j)
    value = value * (j < k + 1 ? j : 1.0) / (0.5 * p + j);
  return value;
}

// 2 int_0^1 (1 - mu^p) (1 - mu^2)^k mu dmu = B(1, k + 1) - B(p/2 + 1, k + 1)
// = B(1, k + 1) (1 - prod_{j=1}^{k+1} j / (j + p/2)), formed without the
// cancellation of the difference when p is small.
double power_deficit(double p, int k) noexcept {
  double log_ratio = 0.0;
  for (int j = 1; j <= k + 1; ++j)
    log_ratio += std::log1p(0.5 * p / j);
  return power_moment(0.0, k) * -std::expm1(-log_ratio);
}

// 2 int_0^1 mu ln(mu) (1 - mu^2)^k mu dmu, the derivative of power_moment
// in p at p = 1: -(1/2) B(3/2, k + 1) sum_{j=1}^{k+1} 1 / (1/2 + j).
double log_moment(int k) noexcept {
  double sum = 0.0;
  for (int j = 1; j <= k + 1; ++j)
    sum += 1.0 / (0.5 + j);
  return -0.5 * power_moment(1.0, k) * sum;
}

// 2 int_0^1 mu^p ln(mu) (1 - mu^2)^k mu dmu, the derivative of power_moment
// in p: -(1/2) B(p/2 + 1, k + 1) sum_{j=1}^{k+1} 1 / (p/2 + j).
double power_log_moment(double p, int k) noexcept {
  double sum = 0.0;
  for (int j = 1; j <= k + 1; ++j)
    sum += 1.0 / (0.5 * p + j);
  return -0.5 * power_moment(p, k) * sum;
}

// 2 int_a^b (i0 + i1 mu) (1 - mu^2)^k mu dmu, exactly for one table segment:
// the i0 part has the antiderivative -(1 - mu^2)^(k+1) / (k + 1); the i1 part
// is expanded binomially, 2 sum_j C(k, j) (-1)^j mu^(2j+3) / (2j + 3).
double segment_moment(double a, double b, double i0, double i1, int k) noexcept {
  const double qa = 1.0 - a * a, qb = 1.0 - b * b;
  const double constant = (std::pow(qa, k + 1) - std::pow(qb, k + 1)) / (k + 1);
  double linear = 0.0, binomial = 1.0;
  for (int j = 0; j <= k; ++j) {
    const int e = 2 * j + 3;
    linear += ((j % 2 == 0 ? binomial : -binomial) * (std::pow(b, e) - std::pow(a, e))) / e;
    binomial = binomial * (k - j) / (j + 1);
  }
  return i0 * constant + i1 * (2.0 * linear);
}

// The least value of the quartic sum_k q[k] t^k on 0 <= t <= 1: at an end or
// where the derivative changes sign. The derivative's own turning points
// (a quadratic) split [0, 1] into pieces on which it is monotone; each sign
// change is then found by bisection to the last bit.
double quartic_minimum(const std::array<double, 5> &q) noexcept {
  const auto f = [&](double t) { return (((q[4] * t + q[3]) * t + q[2]) * t + q[1]) * t + q[0]; };
  const auto df = [&](double t) {
    return ((4.0 * q[4] * t + 3.0 * q[3]) * t + 2.0 * q[2]) * t + q[1];
  };
  std::array<double, 4> cuts{0.0, 1.0, 1.0, 1.0};
  int n = 1;
  // f'' = 12 q4 t^2 + 6 q3 t + 2 q2.
  const double A = 12.0 * q[4], B = 6.0 * q[3], C = 2.0 * q[2];
  if (A != 0.0) {
    const double disc = B * B - 4.0 * A * C;
    if (disc > 0.0) {
      const double r = std::sqrt(disc);
      const double t1 = (-B - r) / (2.0 * A), t2 = (-B + r) / (2.0 * A);
      for (double t : {std::min(t1, t2), std::max(t1, t2)})
        if (t > 0.0 && t < 1.0) cuts[n++] = t;
    }
  } else if (B != 0.0) {
    const double t = -C / B;
    if (t > 0.0 && t < 1.0) cuts[n++] = t;
  }
  cuts[n] = 1.0;
  double least = std::min(f(0.0), f(1.0));
  for (int i = 0; i < n; ++i) {
    double lo = cuts[i], hi = cuts[i + 1];
    double flo = df(lo), fhi = df(hi);
    if (!(flo < 0.0 && fhi > 0.0)) continue; // only a minimum inside matters
    for (int pass = 0; pass < 200 && lo < hi; ++pass) {
      const double mid = 0.5 * (lo + hi);
      if (mid <= lo || mid >= hi) break;
      if (df(mid) < 0.0)
        lo = mid;
      else
        hi = mid;
    }
    least = std::min(least, std::min(f(lo), f(hi)));
  }
  return least;
}

bool all_finite(const double *c, int n) noexcept {
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(c[i])) return false;
  return true;
}

// A brightness that dips below zero by no more than the rounding of its
// coefficients is taken as touching zero.
bool non_negative(double least, double scale) noexcept {
  return least >= -8.0 * EPS * scale;
}

} // namespace

double Profile::slope(double mu) const noexcept {
  if (table != nullptr) {
    const std::vector<double> &m = table->mu, &in = table->intensity;
    const auto it = std::upper_bound(m.begin() + 1, m.end() - 1, mu);
    const std::size_t i = static_cast<std::size_t>(it - m.begin()) - 1;
    return (table_scale * in[i + 1] - table_scale * in[i]) / (m[i + 1] - m[i]);
  }
  double s = c1 + 2.0 * c2 * mu;
  if (c_half != 0.0 || c_three_halves != 0.0) {
    const double root = std::sqrt(mu);
    s += 0.5 * c_half / root + 1.5 * c_three_halves * root;
  }
  if (c_alpha != 0.0 && alpha != 0.0) s += c_alpha * alpha * std::pow(mu, alpha - 1.0);
  if (c_log != 0.0) s += c_log * (std::log(mu) + 1.0);
  if (c_alpha_log != 0.0) {
    s += c_alpha_log * std::pow(mu, alpha - 1.0) * (alpha * std::log(mu) + 1.0);
  }
  return s;
}

double Profile::centre() const noexcept {
  if (table != nullptr) return table_scale * table->intensity.back();
  return c0 + c_half + c1 + c_three_halves + c2; // mu^alpha - 1 and mu ln mu vanish at 1
}

void Profile::moments(double *out, int count) const noexcept {
  for (int k = 0; k < count; ++k) {
    if (table != nullptr) {
      const std::vector<double> &m = table->mu, &in = table->intensity;
      double sum = 0.0;
      for (std::size_t i = 0; i + 1 < m.size(); ++i) {
        const double i1 = (table_scale * in[i + 1] - table_scale * in[i]) / (m[i + 1] - m[i]);
        const double i0 = table_scale * in[i] - i1 * m[i];
        sum += segment_moment(m[i], m[i + 1], i0, i1, k);
      }
      out[k] = sum;
      continue;
    }
    // c_alpha (mu^alpha - 1) counts as -c_alpha times the deficit of mu^alpha
    // while that is below half the constant's moment (no cancellation as
    // alpha -> 0); beyond, as c_alpha mu^alpha beside the constant
    // c0 - c_alpha >= 0 (no cancellation as alpha grows).
    const double whole = power_moment(0.0, k);
    double constant = c0, sum = 0.0;
    if (c_alpha != 0.0) {
      const double deficit = power_deficit(alpha, k);
      if (deficit <= 0.5 * whole) {
        sum -= c_alpha * deficit;
      } else {
        constant = c0 - c_alpha;
        sum += c_alpha * power_moment(alpha, k);
      }
    }
    sum += constant * whole;
    if (c_half != 0.0) sum += c_half * power_moment(0.5, k);
    if (c1 != 0.0) sum += c1 * power_moment(1.0, k);
    if (c_three_halves != 0.0) sum += c_three_halves * power_moment(1.5, k);
    if (c2 != 0.0) sum += c2 * power_moment(2.0, k);
    if (c_log != 0.0) sum += c_log * log_moment(k);
    if (c_alpha_log != 0.0) sum += c_alpha_log * power_log_moment(alpha, k);
    out[k] = sum;
  }
}

// A power of two that brings `largest` (> 0) near 1, or 1 when it is far
// from overflow and underflow: A = M / N does not change when I is scaled,
// and a power of two scales exactly.
double rescaling(double largest) noexcept {
  if (!(largest > 0x1p-500 && largest < 0x1p500)) {
    int exponent;
    std::frexp(largest, &exponent);
    return std::ldexp(1.0, -(exponent + 3));
  }
  return 1.0;
}

bool make_profile(Law law, const double *raw, const Table *table, Profile &p) noexcept {
  p = Profile{};
  const int n = coefficient_count(law);
  if (!all_finite(raw, n)) return false;
  if (law == Law::tabulated) {
    p.table = table;
    if (table == nullptr) return false;
    double largest = 0.0;
    for (double v : table->intensity)
      largest = std::max(largest, v);
    p.table_scale = largest > 0.0 ? rescaling(largest) : 1.0;
    return true;
  }
  // The law as `one` - sum c_k f_k(mu), scaled by a power of two where a
  // coefficient is so large that the sums below could overflow.
  double largest = 1.0;
  for (int i = 0; i < n; ++i)
    if (!(law == Law::power2 && i == 1)) largest = std::max(largest, std::fabs(raw[i]));
  const double scale = rescaling(largest);
  const double one = scale;
  double c[4] = {};
  for (int i = 0; i < n; ++i)
    c[i] = (law == Law::power2 && i == 1) ? raw[i] : raw[i] * scale;
  p.c0 = one;
  switch (law) {
    case Law::uniform:
    case Law::tabulated:
      return true;
    case Law::linear: // 1 - c (1 - mu): least at the limb
      p.c0 = one - c[0];
      p.c1 = c[0];
      return c[0] <= one;
    case Law::quadratic: { // in x = 1 - mu: 1 - a x - b x^2
      const double a = c[0], b = c[1];
      p.c0 = (one - a) - b;
      p.c1 = a + 2.0 * b;
      p.c2 = -b;
      double least = std::min(one, (one - a) - b);
      if (b < 0.0) {
        const double x = -a / (2.0 * b);
        if (x > 0.0 && x < 1.0) least = std::min(least, one + (a * a) / (4.0 * b));
      }
      return non_negative(least, one + std::fabs(a) + std::fabs(b));
    }
    case Law::square_root: { // in t = sqrt(mu): (1 - c - d) + d t + c t^2
      const double cc = c[0], d = c[1];
      p.c0 = (one - cc) - d;
      p.c1 = cc;
      p.c_half = d;
      double least = std::min(one, (one - cc) - d);
      if (cc > 0.0) {
        const double t = -d / (2.0 * cc);
        if (t > 0.0 && t < 1.0) least = std::min(least, ((one - cc) - d) - (d * d) / (4.0 * cc));
      }
      return non_negative(least, one + std::fabs(cc) + std::fabs(d));
    }
    case Law::logarithmic: { // 1 - c + c mu - d mu ln(mu); convex when d < 0
      const double cc = c[0], d = c[1];
      p.c0 = one - cc;
      p.c1 = cc;
      p.c_log = -d;
      double least = std::min(one, one - cc);
      if (d < 0.0) {
        const double mu = std::exp(cc / d - 1.0);
        if (mu > 0.0 && mu < 1.0) least = std::min(least, (one - cc) + d * mu);
      }
      return non_negative(least, one + std::fabs(cc) + std::fabs(d));
    }
    case Law::power2: { // 1 - c (1 - mu^alpha), alpha >= 0; monotone in mu
      const double cc = c[0], alpha = c[1];
      if (alpha < 0.0) return false;
      if (alpha == 0.0) return true; // mu^0 = 1: uniform
      p.c_alpha = cc;                // I = 1 + c (mu^alpha - 1): no cancellation as alpha -> 0
      p.alpha = alpha;
      return cc <= one;
    }
    case Law::claret: { // in t = sqrt(mu): (1 - sum a_k) + sum a_k t^k
      const double sum = ((c[0] + c[1]) + c[2]) + c[3];
      p.c0 = one - sum;
      p.c_half = c[0];
      p.c1 = c[1];
      p.c_three_halves = c[2];
      p.c2 = c[3];
      const double least = quartic_minimum({one - sum, c[0], c[1], c[2], c[3]});
      const double size =
          one + ((std::fabs(c[0]) + std::fabs(c[1])) + std::fabs(c[2])) + std::fabs(c[3]);
      return non_negative(least, size);
    }
  }
  return false;
}

void derivative_profiles(Law law, const double *raw, Profile *out) noexcept {
  const int n = coefficient_count(law);
  double largest = 1.0;
  for (int i = 0; i < n; ++i)
    if (!(law == Law::power2 && i == 1)) largest = std::max(largest, std::fabs(raw[i]));
  const double one = rescaling(largest);
  for (int i = 0; i < n; ++i) {
    out[i] = Profile{};
    out[i].c0 = 0.0;
  }
  switch (law) {
    case Law::uniform:
    case Law::tabulated:
      return;
    case Law::linear: // d/dc: mu - 1
      out[0].c0 = -one;
      out[0].c1 = one;
      return;
    case Law::quadratic: // d/da: mu - 1; d/db: -(1 - mu)^2
      out[0].c0 = -one;
      out[0].c1 = one;
      out[1].c0 = -one;
      out[1].c1 = 2.0 * one;
      out[1].c2 = -one;
      return;
    case Law::square_root: // d/dc: mu - 1; d/dd: sqrt(mu) - 1
      out[0].c0 = -one;
      out[0].c1 = one;
      out[1].c0 = -one;
      out[1].c_half = one;
      return;
    case Law::logarithmic: // d/dc: mu - 1; d/dd: -mu ln(mu)
      out[0].c0 = -one;
      out[0].c1 = one;
      out[1].c_log = -one;
      return;
    case Law::power2: // d/dc: mu^alpha - 1; d/dalpha: c mu^alpha ln(mu)
      out[0].c_alpha = one;
      out[0].alpha = raw[1];
      out[1].c_alpha_log = raw[0] * one;
      out[1].alpha = raw[1];
      return;
    case Law::claret: // d/da_k: mu^(k/2) - 1
      for (int i = 0; i < 4; ++i)
        out[i].c0 = -one;
      out[0].c_half = one;
      out[1].c1 = one;
      out[2].c_three_halves = one;
      out[3].c2 = one;
      return;
  }
}

} // namespace tessarin::models::fspl
