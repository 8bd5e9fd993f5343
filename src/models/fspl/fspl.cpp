// The fitting family's magnification: the far-field expansion where the
// lens is many source radii away, and elsewhere the concentric-disk integral
//
//   A - 1 = [ I(1) G(0) + int_0^1 I'(mu) (G(mu) - G(0)) dmu ] / N_0,
//   G(mu) = (1 - mu^2) (A_disk(u, rho sqrt(1 - mu^2)) - 1),
//
// which is the flux-weighted mean of the point lens written as a Stieltjes
// integral over the disks of radius r = sqrt(1 - mu^2) (integrated by parts,
// with dI = I'(mu) dmu), less 1. Subtracting G(0) makes the integrand vanish
// like mu^(p+1) at the limb for every law, so the singular slopes mu^(p-1)
// and ln(mu) of the square-root, power-2, logarithmic and Claret laws cost
// nothing. The integrand has a logarithmic kink where a disk's limb passes
// through the lens (sqrt(1 - mu^2) = u / rho); the interval is split there
// and at the nodes of a table, and each piece is summed by the
// tanh-sinh rule, whose nodes crowd double-exponentially towards both ends.
// The step is halved until two successive sums agree to the tolerance.
#include "models/fspl/fspl.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "models/fspl/disk.hpp"
#include "models/fspl/disk_lanes.hpp"
#include "models/fspl/profile.hpp"
#include "models/fspl/series_coefficients.hpp"
#include "models/fspl/settings.hpp"
#include "models/vector_paths.hpp"
#include "numeric/tanh_sinh_nodes.hpp"

namespace tessarin::models::fspl {

namespace {

namespace ts = quadrature::tanh_sinh;

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The far-field expansion (Pizzetti's mean-value series over circles,
// weighted by the profile's moments):
//   A = sum_k (rho^2/4)^k <r^2k> Lap^k A_ps(u) / (k!)^2,
// term k relative to the first about <r^2k> C(2k, k)^2 (rho / 4u)^2k < z^-2k
// near the lens, z = u / rho, and (k + 1)^2 z^-2k relative to A - 1 far out.
// It is used from z = (rtol / 100)^(-1/16) on, where nine terms leave a
// remainder far below the tolerance, and summed until a term falls below it.
double series_from(double rtol) noexcept {
  return std::max(2.0, std::pow(0.01 * rtol, -1.0 / 16.0));
}

// Whether, short of series_from, the expansion's nine terms still leave
// less than a hundredth of an ulp of 1: far from the Einstein ring A - 1 is
// about 2/u^4 and term k about (k + 1) z^-2k of it, so that beyond two
// source radii a large source (A - 1 < 2e-13) is summed to rounding. There
// the closed forms would give A - 1 to an ulp of 1, not to its own digits:
// rounding would then decide the order of neighbouring values.
// A_ps(u) - 1 = 4 / (u t (u^2 + 2 + u t)), t = sqrt(u^2 + 4): the point
// lens less 1 without cancellation; `ut` is u t.
double point_lens_excess(double w, double ut) noexcept {
  return 4.0 / (ut * ((w + 2.0) + ut));
}

bool series_is_exact(double u, double z) noexcept {
  if (!(z >= 2.0)) return false;
  const double w = u * u;
  const double excess = point_lens_excess(w, u * std::sqrt(w + 4.0));
  const double q = 1.0 / (z * z);
  const double q5 = (q * q) * (q * q) * q;
  return 11.0 * (q5 * q5) * excess <= 0.01 * EPS;
}

double horner(const std::array<double, 19> &c, int degree, double x) noexcept {
  double s = c[static_cast<std::size_t>(degree)];
  for (int j = degree - 1; j >= 0; --j)
    s = s * x + c[static_cast<std::size_t>(j)];
  return s;
}

// A - 1 by the expansion; `moments` are N_k / (N_0 (k!)^2).
double far_field(double u, double rho, const double *moments, const Scale &scale) noexcept {
  const double w = u * u;
  const double t = std::sqrt(w + 4.0);
  const double ut = u * t;
  double excess = point_lens_excess(w, ut);
  const double inverse = 1.0 / (w + 4.0);
  const double y = inverse * 4.0; // 1 - v, v = w / (w + 4)
  const double v = w * inverse;
  const double per_ut = 1.0 / ut;
  const double ratio = (rho * rho) / (4.0 * w); // (rho / 2u)^2
  double power = 1.0;
  for (int k = 1; k <= LAPLACIAN_ORDERS; ++k) {
    power *= ratio;
    const auto row = static_cast<std::size_t>(k - 1);
    const double q =
        v <= 0.5 ? horner(LAPLACIAN_IN_V[row], 2 * k, v) : horner(LAPLACIAN_IN_Y[row], 2 * k, y);
    const double term = moments[k] * (power * (q * per_ut));
    excess += term;
    if (std::fabs(term) <= 0.01 * scale.of(excess)) break;
  }
  return excess;
}

// The integrand I'(mu) (G(mu) - G(0)) of one element, evaluated a batch of
// nodes at a time: the disk part by `excess` (the scalar code or the vector
// lanes, which give the same bits), the slope by the profile.
class Integrand {
public:
  Integrand(const Profile &profile, double u, double rho, double g0, ExcessBatch excess)
      : profile_(profile), u_(u), rho_(rho), g0_(g0), excess_(excess) {}

  void excess(const double *mu, double *out, std::size_t count) const noexcept {
    excess_(u_, rho_, g0_, mu, out, count);
  }
  double slope(double mu) const noexcept { return profile_.slope(mu); }

private:
  const Profile &profile_;
  double u_, rho_, g0_;
  ExcessBatch excess_;
};

// Sum of the integrals over [cuts[i], cuts[i+1]], the step halved until two
// successive sums of the whole agree to `tolerance(sum)`. The nodes of a
// level are evaluated together, then summed in a fixed order.
template <class Tolerance>
double integrate(const Integrand &f, const double *cuts, int pieces, bool constant_slope,
                 const Ladder &ladder, Tolerance tolerance) noexcept {
  const int last_node = ladder.last_node;
  constexpr std::size_t MAX_PIECES = MAX_TABLE_NODES + 2;
  std::array<double, MAX_PIECES> raw{};   // weight * integrand summed over the nodes so far
  std::array<double, MAX_PIECES> slope{}; // a table's slope on each piece
  std::array<double, 2 * ts::NODE_COUNT + 2> nodes, values;
  for (int i = 0; i < pieces; ++i) {
    const auto ii = static_cast<std::size_t>(i);
    const double a = cuts[i], b = cuts[i + 1];
    const double half = 0.5 * (b - a);
    const double mid = a + half;
    if (constant_slope) slope[ii] = f.slope(mid);
    f.excess(&mid, values.data(), 1);
    raw[ii] = ts::CENTRE_WEIGHT * ((constant_slope ? slope[ii] : f.slope(mid)) * values[0]);
  }
  double previous = 0.0, last_d = 0.0;
  for (int level = 0;; ++level) {
    // Level 0 holds the multiples of the first step h0; level l > 0 the odd
    // multiples of h0 2^-l.
    const int stride = ladder.first_stride >> level;
    const int step = level == 0 ? stride : 2 * stride;
    double total = 0.0;
    for (int i = 0; i < pieces; ++i) {
      const auto ii = static_cast<std::size_t>(i);
      const double a = cuts[i], b = cuts[i + 1];
      const double half = 0.5 * (b - a);
      std::size_t count = 0;
      for (int j = stride; j <= last_node; j += step) {
        const double offset = half * ts::NODES[static_cast<std::size_t>(j - 1)].delta;
        nodes[count++] = a + offset;
        nodes[count++] = b - offset;
      }
      f.excess(nodes.data(), values.data(), count);
      double sum = 0.0;
      std::size_t k = 0;
      for (int j = stride; j <= last_node; j += step, k += 2) {
        const double sl = constant_slope ? slope[ii] : f.slope(nodes[k]);
        const double sr = constant_slope ? slope[ii] : f.slope(nodes[k + 1]);
        sum += ts::NODES[static_cast<std::size_t>(j - 1)].weight *
               (sl * values[k] + sr * values[k + 1]);
      }
      raw[ii] += sum;
      total += half * raw[ii];
    }
    total = total * (static_cast<double>(stride) / ts::STEPS_PER_UNIT);
    // Halving the step of the tanh-sinh rule about squares its relative
    // error once the step resolves the integrand, so the difference d of two
    // successive sums bounds the error of the finer by about d^2 / |sum|.
    // Either test is used only once three sums exist; the squared one only
    // from the fifth, where the convergence has set in, and only while the
    // differences shrink as squares do: a coarse sum can land close to the
    // integral by chance (its difference then falls far below the square of
    // the one before), and the next halving need not improve on it much.
    const double d = std::fabs(total - previous);
    const double tol = tolerance(total);
    const bool regular = d >= LUCKY * (last_d * last_d) / std::fabs(total);
    if (level >= FIRST_ACCEPTED_LEVEL &&
        (d <= tol || (level >= FIRST_SQUARED_LEVEL && regular &&
                      d * d <= SQUARED_SHARE * tol * std::fabs(total)))) {
      return total;
    }
    if (stride % 2 != 0) return total; // the finest step of the table
    previous = total;
    last_d = d;
  }
}

// The last node of the rule worth summing at `rtol`: beyond it the weights
// (pi/2) cosh t (1 - x^2) ~ pi cosh t delta(t) of a bounded integrand add
// less than a hundredth of the tolerance.
Ladder ladder_for(double rtol) noexcept {
  int last = 1;
  while (last < ts::NODE_COUNT &&
         ts::NODES[static_cast<std::size_t>(last - 1)].weight > 0.01 * rtol) {
    ++last;
  }
  const bool three_quarters = rtol >= 1e-7 || rtol < 1e-11;
  return {three_quarters ? 3 * ts::STEPS_PER_UNIT / 4 : ts::STEPS_PER_UNIT, last};
}

// The disk part of the integrand: the vector lanes where this processor has
// them, the scalar code otherwise (the same bits either way).
ExcessBatch choose_excess() noexcept {
  if constexpr (avx2::BUILT) {
    if (avx2::available()) return &avx2::fspl_disk_excess;
  }
  return &disk_excess<double>;
}

DiskBatch choose_disks() noexcept {
  if constexpr (avx2::BUILT) {
    if (avx2::available()) return &avx2::fspl_disk_excesses;
  }
  return &disk_excesses<double>;
}

// Elements handled in one pass: their disks are computed together, then
// each is finished; the interrupt check runs once per pass.
constexpr std::size_t PASS = 64;

} // namespace

const char *check_table(const Table &table) noexcept {
  const std::vector<double> &mu = table.mu, &in = table.intensity;
  if (mu.size() != in.size()) return "mu and intensity must have the same length";
  if (mu.size() < 2) return "the table needs at least two nodes";
  if (mu.size() > MAX_TABLE_NODES) return "the table may have at most 256 nodes";
  for (std::size_t i = 0; i < mu.size(); ++i) {
    if (!std::isfinite(mu[i])) return "mu must be finite";
    if (!std::isfinite(in[i])) return "intensity must be finite";
    if (in[i] < 0.0) return "intensity must not be negative";
    if (i > 0 && !(mu[i] > mu[i - 1])) return "mu must be strictly increasing";
  }
  if (mu.front() != 0.0 || mu.back() != 1.0) return "mu must run from 0 to 1";
  Profile profile;
  (void)make_profile(Law::tabulated, nullptr, &table, profile);
  double flux;
  profile.moments(&flux, 1);
  if (!(flux > 0.0)) return "the table has no flux";
  return nullptr;
}

int quadrature_cuts(double z, const Profile &profile, double *cuts) noexcept {
  int n = 0;
  cuts[n++] = 0.0;
  double special = -1.0;
  // The kink, where the disk of radius u / rho has the lens on its limb.
  // (Just outside the star it moves off the real axis, to
  // i sqrt(z^2 - 1); the rule's crowding of nodes at mu = 0 resolves it
  // without a cut there, which the step-halving test confirms.)
  if (z < 1.0) special = std::sqrt((1.0 - z) * (1.0 + z));
  if (profile.table != nullptr) {
    const std::vector<double> &m = profile.table->mu;
    for (std::size_t i = 1; i + 1 < m.size(); ++i) {
      if (special > cuts[n - 1] && special < m[i]) cuts[n++] = special;
      if (m[i] != special) cuts[n++] = m[i];
    }
  }
  if (special > cuts[n - 1] && special < 1.0) cuts[n++] = special;
  cuts[n++] = 1.0;
  return n;
}

Evaluator::Evaluator(Law law, double rtol, const Table *table)
    : law_(law), rtol_(rtol), table_(table), ladder_(ladder_for(rtol)), excess_(choose_excess()),
      disks_(choose_disks()), series_from_(series_from(rtol)),
      first_order_(rtol >= TABLE_ORDER_4_FROM ? 4
                   : rtol >= TABLES_FROM      ? 8
                                              : 0) {}

namespace {
// The point lens never demagnifies, so neither does any mean of it; a sum
// whose rounding dips below 1 (a source far larger than the Einstein ring,
// where A - 1 is at the level of the rounding) is the limit 1.
double at_least_one(double a) noexcept {
  return a < 1.0 ? 1.0 : a;
}
} // namespace

bool Evaluator::profile_for(const double *coefficients) noexcept {
  const auto n = static_cast<std::size_t>(coefficient_count(law_));
  if (cached_) {
    // The same bits (a NaN never makes a profile, whatever its payload).
    bool same = true;
    for (std::size_t i = 0; i < n; ++i)
      same = same && std::bit_cast<std::uint64_t>(coefficients[i]) ==
                         std::bit_cast<std::uint64_t>(cached_coefficients_[i]);
    if (same) return cached_valid_;
  }
  if (n > 0) std::memcpy(cached_coefficients_, coefficients, n * sizeof(double));
  cached_ = true;
  cached_valid_ = make_profile(law_, coefficients, table_, profile_);
  if (!cached_valid_) return false;
  profile_.moments(moments_, LAPLACIAN_ORDERS + 1);
  cached_valid_ = moments_[0] > 0.0;
  // N_k / (N_0 (k!)^2), the weights of the expansion's terms (k!^2 is exact).
  double factorial = 1.0;
  for (int k = 1; k <= LAPLACIAN_ORDERS; ++k) {
    factorial *= k;
    moments_[k] = moments_[k] / moments_[0] / (factorial * factorial);
  }
  mix_ = basis_mix(profile_, moments_[0]);
  if (with_derivatives_ && cached_valid_) {
    derivative_profiles(law_, coefficients, derivatives_);
    over_basis_ = basis_terms(profile_, basis_of_profile_);
    for (std::size_t j = 0; j < n; ++j) {
      derivatives_[j].moments(derivative_moments_[j], LAPLACIAN_ORDERS + 1);
      over_basis_ = over_basis_ && basis_terms(derivatives_[j], basis_of_derivative_[j]);
    }
  }
  return cached_valid_;
}

bool Evaluator::in_far_field(double u, double z) const noexcept {
  return z >= series_from_ || series_is_exact(u, z);
}

bool Evaluator::needs_disk(double u, double rho) const noexcept {
  if (!(u >= 0.0) || !(rho > 0.0) || !(rho < INF) || u > UNMAGNIFIED_BEYOND) return false;
  return !in_far_field(u, u / rho);
}

double Evaluator::operator()(double u, double rho, const double *coefficients) {
  return evaluate(u, rho, coefficients, nullptr);
}

double Evaluator::evaluate(double u, double rho, const double *coefficients, const double *disk) {
  if (!(u >= 0.0) || !(rho > 0.0) || !(rho < INF)) return NaN;
  if (!profile_for(coefficients)) return NaN;
  if (u > UNMAGNIFIED_BEYOND) return 1.0; // u = inf among them

  const Profile &profile = profile_;
  const double flux = moments_[0];
  const Scale scale{rtol_, rho >= 1.0};
  const double z = u / rho;
  if (z >= series_from_ || series_is_exact(u, z)) {
    return at_least_one(1.0 + far_field(u, rho, moments_, scale));
  }

  const double g0 = disk != nullptr ? *disk : disk_magnification(u, rho) - 1.0;
  if (law_ == Law::uniform || (law_ == Law::power2 && profile.c_alpha == 0.0)) {
    return at_least_one(1.0 + (profile.centre() * g0) / flux);
  }

  // The tables, where they cover the element and their error bound fits in
  // the tolerance; the finer order only when the coarser does not.
  if (first_order_ != 0 && mix_.usable && BasisTables::covers(z, rho)) {
    for (int order = first_order_; order <= 8; order += 4) {
      double bound;
      const double factor = tables_.factor(z, rho, order, mix_, bound);
      const double excess = g0 * factor;
      if (g0 * bound <= TABLE_SHARE * scale.of(excess)) return at_least_one(1.0 + excess);
    }
  }

  const double boundary = profile.centre() * g0;
  std::array<double, MAX_TABLE_NODES + 3> cuts{};
  const int n = quadrature_cuts(z, profile, cuts.data());
  const bool tabulated = profile.table != nullptr;

  // A table's slope is constant on each piece, the linear law's everywhere.
  const bool constant_slope = tabulated || profile.slope_is_constant();
  const Integrand integrand(profile, u, rho, g0, excess_);
  const double integral =
      integrate(integrand, cuts.data(), n - 1, constant_slope, ladder_, [&](double total) {
        return QUADRATURE_SHARE * flux * scale.of((boundary + total) / flux);
      });
  return at_least_one(1.0 + (boundary + integral) / flux);
}

bool Evaluator::run(std::size_t count, char *const *data, const std::ptrdiff_t *strides,
                    StopCheck stop) {
  const int n_coef = coefficient_count(law_);
  const auto at = [&](int operand, std::size_t i) {
    double value;
    const char *p = data[operand] + static_cast<std::ptrdiff_t>(i) * strides[operand];
    std::memcpy(&value, p, sizeof value);
    return value;
  };
  std::array<double, 4> coefficients{};
  std::array<double, PASS> us, rhos, disks;
  std::array<bool, PASS> with_disk;
  for (std::size_t start = 0; start < count; start += PASS) {
    if (stop.every(1)) return false;
    const std::size_t end = std::min(count, start + PASS);
    std::size_t n = 0;
    for (std::size_t i = start; i < end; ++i) {
      const double u = at(0, i), rho = at(1, i);
      with_disk[i - start] = needs_disk(u, rho);
      if (with_disk[i - start]) {
        us[n] = u;
        rhos[n] = rho;
        ++n;
      }
    }
    disks_(us.data(), rhos.data(), disks.data(), n);
    std::size_t k = 0;
    for (std::size_t i = start; i < end; ++i) {
      const double u = at(0, i), rho = at(1, i);
      for (int c = 0; c < n_coef; ++c)
        coefficients[static_cast<std::size_t>(c)] = at(2 + c, i);
      const double *disk = with_disk[i - start] ? &disks[k++] : nullptr;
      const double a = evaluate(u, rho, coefficients.data(), disk);
      std::memcpy(data[2 + n_coef] + static_cast<std::ptrdiff_t>(i) * strides[2 + n_coef], &a,
                  sizeof a);
    }
  }
  return true;
}

} // namespace tessarin::models::fspl
