#include "models/fspl/basis.hpp"

#include <algorithm>
#include <cmath>

namespace tessarin::models::fspl {

namespace {

// F_P = 2 int_0^1 P mu dmu: 4 / 5, 2 / 3, 4 / 7, 1 / 2 for mu^(1/2), mu,
// mu^(3/2), mu^2, and -2 / 9 for mu ln(mu).
constexpr double FLUX[basis::BASES] = {4.0 / 5.0, 2.0 / 3.0, 4.0 / 7.0, 0.5, -2.0 / 9.0};

// Lagrange weights through the nodes 0 .. order-1 (unit spacing) at r:
// w_j = prod_{m != j} (r - m) / (j - m), from prefix and suffix products of
// r - m; exactly 1 and 0 at a node. INVERSE_DENOMINATOR[j] = 1 / prod (j - m)
// = (-1)^(order-1-j) / (j! (order-1-j)!).
template <int ORDER> void lagrange(double r, double *w) noexcept {
  static constexpr auto INVERSE_DENOMINATOR = [] {
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
  }();
  double prefix[ORDER + 1], suffix[ORDER + 1];
  prefix[0] = 1.0;
  suffix[ORDER] = 1.0;
  for (int m = 0; m < ORDER; ++m)
    prefix[m + 1] = prefix[m] * (r - m);
  for (int m = ORDER - 1; m >= 0; --m)
    suffix[m] = suffix[m + 1] * (r - m);
  for (int j = 0; j < ORDER; ++j)
    w[j] = (prefix[j] * suffix[j + 1]) * INVERSE_DENOMINATOR.v[j];
}

// The first node of the stencil of `order` nodes around position f (in steps
// from node 0, of n nodes), and the weights at f.
int stencil(double f, int n, int order, double *w) noexcept {
  const int half = order / 2;
  int first = static_cast<int>(std::floor(f)) - (half - 1);
  first = std::clamp(first, 0, n - order);
  const double r = f - first;
  if (order == 4) {
    lagrange<4>(r, w);
  } else {
    lagrange<8>(r, w);
  }
  return first;
}

} // namespace

BasisMix basis_mix(const Profile &profile, double flux) noexcept {
  BasisMix mix;
  if (profile.table != nullptr || !(flux > 0.0)) return mix;
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
    if (k < 0) return mix;
    c[k] += profile.c_alpha;
    c0 -= profile.c_alpha;
  }
  mix.uniform = c0 / flux;
  for (int k = 0; k < basis::BASES; ++k)
    mix.weight[k] = c[k] * FLUX[k] / flux;
  mix.usable = true;
  return mix;
}

double BasisTables::factor(double z, double rho, int order, const BasisMix &mix,
                           double &bound) noexcept {
  using namespace basis;
  if (rho != rho_ || order != order_) {
    rho_ = rho;
    order_ = order;
    s_first_ = stencil(std::asinh(rho / RHO_SCALE) / S_STEP, S_NODES, order, s_weights_);
  }
  const double x = z * z;
  const double t = MAP_SLOPE * x / (1.0 + x) + std::asinh((x - 1.0) / DELTA);
  double t_weights[8];
  const int t_first = stencil((t - T0) / T_STEP, T_NODES, order, t_weights);

  double sum = mix.uniform, err = 0.0;
  for (int k = 0; k < BASES; ++k) {
    if (mix.weight[k] == 0.0) continue;
    double r = 0.0;
    for (int a = 0; a < order; ++a) {
      const double *row = &RATIO[k][s_first_ + a][t_first];
      double along = 0.0;
      for (int b = 0; b < order; ++b)
        along += t_weights[b] * row[b];
      r += s_weights_[a] * along;
    }
    sum += mix.weight[k] * r;
    err += std::fabs(mix.weight[k] * r) * ERROR_BOUND[k][order == 4 ? 0 : 1];
  }
  bound = err;
  return sum;
}

} // namespace tessarin::models::fspl
