#include "models/fspl/basis.hpp"

#include <algorithm>
#include <cmath>

namespace tessarin::models::fspl {

namespace {

// Lagrange weights through the nodes 0 .. order-1 (unit spacing) at r:
// w_j = prod_{m != j} (r - m) / (j - m), from prefix and suffix products of
// r - m; exactly 1 and 0 at a node. INVERSE_DENOMINATOR[j] = 1 / prod (j - m)
// = (-1)^(order-1-j) / (j! (order-1-j)!).
inline double value_of(double x) noexcept {
  return x;
}

// 1 / prod_{m != j} (j - m) for the nodes 0 .. ORDER-1.
template <int ORDER> constexpr auto inverse_denominators() {
  struct {
    double v[ORDER];
  } d{};
  for (int j = 0; j < ORDER; ++j) {
    double p = 1.0;
    for (int m = 0; m < ORDER; ++m)
      if (m != j) p *= j - m;
    d.v[j] = 1.0 / p;
  }
  return d;
}

template <int ORDER, class T> void lagrange(T r, T *w) noexcept {
  static constexpr auto INVERSE_DENOMINATOR = inverse_denominators<ORDER>();
  T prefix[ORDER + 1], suffix[ORDER + 1];
  prefix[0] = 1.0;
  suffix[ORDER] = 1.0;
  for (int m = 0; m < ORDER; ++m)
    prefix[m + 1] = prefix[m] * (r - m);
  for (int m = ORDER - 1; m >= 0; --m)
    suffix[m] = suffix[m + 1] * (r - m);
  for (int j = 0; j < ORDER; ++j)
    w[j] = (prefix[j] * suffix[j + 1]) * INVERSE_DENOMINATOR.v[j];
}

// The first node of the stencil of ORDER nodes around position f (in steps
// from node 0, of n nodes), and the weights at f.
template <int ORDER, class T = double> int stencil(T f, int n, T *w) noexcept {
  // f >= 0 but for rounding at the first node, where truncation and floor
  // both end at the clamp.
  int first = static_cast<int>(value_of(f)) - (ORDER / 2 - 1);
  first = std::clamp(first, 0, n - ORDER);
  lagrange<ORDER, T>(f - static_cast<double>(first), w);
  return first;
}

// The mix's factor through ORDER nodes along each coordinate, the s
// stencil given; its error bound in `bound`.
template <int ORDER>
double mix_factor(const BasisMix &mix, int s_first, const double *s_weights, int t_first,
                  const double *t_weights, double &bound) noexcept {
  using namespace basis;
  double sum = mix.uniform, err = 0.0;
  for (int k = 0; k < BASES; ++k) {
    if (mix.weight[k] == 0.0) continue;
    double r = 0.0;
    for (int a = 0; a < ORDER; ++a) {
      const double *row = &RATIO[k][s_first + a][t_first];
      double along = 0.0;
      for (int b = 0; b < ORDER; ++b)
        along += t_weights[b] * row[b];
      r += s_weights[a] * along;
    }
    sum += mix.weight[k] * r;
    err += std::fabs(mix.weight[k] * r) * ERROR_BOUND[k][ORDER == 4 ? 0 : 1];
  }
  bound = err;
  return sum;
}

} // namespace

bool basis_terms(const Profile &profile, double *out) noexcept {
  if (profile.table != nullptr || profile.c_alpha_log != 0.0) return false;
  double c[basis::BASES] = {profile.c_half, profile.c1, profile.c_three_halves, profile.c2,
                            profile.c_log};
  double c0 = profile.c0;
  if (profile.c_alpha != 0.0) {
    // c_alpha (mu^alpha - 1): a basis term when alpha is one of its powers.
    int k = profile.alpha == 0.5   ? 0
            : profile.alpha == 1.0 ? 1
            : profile.alpha == 1.5 ? 2
            : profile.alpha == 2.0 ? 3
                                   : -1;
    if (k < 0) return false;
    c[k] += profile.c_alpha;
    c0 -= profile.c_alpha;
  }
  out[0] = c0;
  for (int k = 0; k < basis::BASES; ++k)
    out[1 + k] = c[k];
  return true;
}

BasisMix basis_mix(const Profile &profile, double flux) noexcept {
  BasisMix mix;
  double c[1 + basis::BASES];
  if (!(flux > 0.0) || !basis_terms(profile, c)) return mix;
  mix.uniform = c[0] / flux;
  for (int k = 0; k < basis::BASES; ++k)
    mix.weight[k] = c[1 + k] * BASIS_FLUX[k] / flux;
  mix.usable = true;
  return mix;
}

double BasisTables::factor(double z, double rho, int order, const BasisMix &mix,
                           double &bound) noexcept {
  using namespace basis;
  const bool four = order == 4;
  if (rho != rho_ || order != order_) {
    rho_ = rho;
    order_ = order;
    const double s = std::asinh(rho / RHO_SCALE) / S_STEP;
    s_first_ = four ? stencil<4>(s, S_NODES, s_weights_) : stencil<8>(s, S_NODES, s_weights_);
  }
  const double x = z * z;
  const double t = (MAP_SLOPE * x / (1.0 + x) + std::asinh((x - 1.0) / DELTA) - T0) / T_STEP;
  double t_weights[8];
  if (four) {
    const int t_first = stencil<4>(t, T_NODES, t_weights);
    return mix_factor<4>(mix, s_first_, s_weights_, t_first, t_weights, bound);
  }
  const int t_first = stencil<8>(t, T_NODES, t_weights);
  return mix_factor<8>(mix, s_first_, s_weights_, t_first, t_weights, bound);
}

namespace {

// A value with its derivative in one variable: the interpolation weights
// and their slopes in the position between the nodes.
struct Slope {
  double v, d;
  Slope(double value = 0.0, double slope = 0.0) noexcept : v(value), d(slope) {}
};
Slope operator-(Slope a, double b) noexcept {
  return {a.v - b, a.d};
}
Slope operator*(Slope a, Slope b) noexcept {
  return {a.v * b.v, a.d * b.v + a.v * b.d};
}
Slope operator*(Slope a, double b) noexcept {
  return {a.v * b, a.d * b};
}
double value_of(Slope x) noexcept {
  return x.v;
}

template <int ORDER>
void ratios_through(numeric::Dual z, numeric::Dual rho, const bool *used,
                    numeric::Dual *out) noexcept {
  using namespace basis;
  using numeric::Dual;
  // The positions in steps, with their derivatives in (u, rho); the
  // weights with their slopes in the position.
  const Dual s = asinh(rho / RHO_SCALE) / S_STEP;
  const Dual x = z * z;
  const Dual t = (MAP_SLOPE * x / (1.0 + x) + asinh((x - 1.0) / DELTA) - T0) / T_STEP;
  Slope s_weights[ORDER], t_weights[ORDER];
  const int s_first = stencil<ORDER, Slope>(Slope(s.v, 1.0), S_NODES, s_weights);
  const int t_first = stencil<ORDER, Slope>(Slope(t.v, 1.0), T_NODES, t_weights);
  for (int k = 0; k < BASES; ++k) {
    if (!used[k]) continue;
    double r = 0.0, r_s = 0.0, r_t = 0.0;
    for (int a = 0; a < ORDER; ++a) {
      const double *row = &RATIO[k][s_first + a][t_first];
      double along = 0.0, along_t = 0.0;
      for (int b = 0; b < ORDER; ++b) {
        along += t_weights[b].v * row[b];
        along_t += t_weights[b].d * row[b];
      }
      r += s_weights[a].v * along;
      r_s += s_weights[a].d * along;
      r_t += s_weights[a].v * along_t;
    }
    out[k] = Dual(r, r_t * t.du + r_s * s.du, r_t * t.dr + r_s * s.dr);
  }
}

} // namespace

void BasisTables::ratios(numeric::Dual z, numeric::Dual rho, int order, const bool *used,
                         numeric::Dual *out) noexcept {
  if (order == 4) {
    ratios_through<4>(z, rho, used, out);
  } else {
    ratios_through<8>(z, rho, used, out);
  }
}

} // namespace tessarin::models::fspl
