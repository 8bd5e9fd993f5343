// Derivatives of the fitting family's magnification: dA/du and dA/drho by
// forward-mode differentiation (numeric/dual.hpp) of the same expressions as
// the value, and the derivatives in the law's coefficients from the
// linearity of the magnification in the profile. With
//   Num(I) = N(I) (A_I - 1),  N(I) = 2 int_0^1 I mu dmu,
// both linear in I, a coefficient theta gives, for P = dI/dtheta,
//   dA/dtheta = (Num(P) - (A - 1) N(P)) / N(I),
// and each method forms Num(P) from what it computes for I anyway: the
// expansion's terms weighted by P's moments, the basis ratios weighted by
// P's terms over the basis, or the quadrature's disks weighted by P's slope.
#include "numeric/dual.hpp"
// (the dual numbers before the kernels' templates that name their functions)
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "models/fspl/disk_lanes.hpp"
#include "models/fspl/fspl.hpp"
#include "models/fspl/series_coefficients.hpp"
#include "models/fspl/settings.hpp"
#include "numeric/tanh_sinh_nodes.hpp"

namespace tessarin::models::fspl {

namespace {

namespace ts = quadrature::tanh_sinh;
using numeric::Dual;

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A_disk(u, R) - 1 with its derivatives. A disk whose limb passes exactly
// through the lens (a node of the integral that rounds onto the kink) has
// logarithmically infinite slopes; it keeps its value and no slope, which
// leaves out less than the node's weight (below 1e-15) times a logarithm.
Dual disk_excess(Dual u, Dual R) noexcept {
  bool limb;
  const Dual a = disk_magnification_lanes<Dual>(u, R, limb);
  if (limb) return Dual(disk_magnification(u.v, R.v) - 1.0);
  return a - 1.0;
}

Dual horner(const std::array<double, 19> &c, int degree, Dual x) noexcept {
  Dual s = c[static_cast<std::size_t>(degree)];
  for (int j = degree - 1; j >= 0; --j)
    s = s * x + c[static_cast<std::size_t>(j)];
  return s;
}

// The far-field expansion (as in fspl.cpp, operation for operation on the
// values) with its derivatives: returns
// A - 1 and fills terms[k] (k = 0 .. count - 1) so that for any profile P
// with moments M_k, Num(P) = sum_k M_k terms[k] / (k!)^2; `moments` are
// the profile's N_k / (N_0 (k!)^2).
Dual far_field(Dual u, Dual rho, const double *moments, const Scale &scale, Dual *terms,
               int &count) noexcept {
  const Dual w = u * u;
  const Dual ut = u * sqrt(w + 4.0);
  Dual excess = 4.0 / (ut * ((w + 2.0) + ut));
  terms[0] = excess;
  count = 1;
  const Dual inverse = 1.0 / (w + 4.0);
  const Dual y = inverse * 4.0;
  const Dual v = w * inverse;
  const Dual per_ut = 1.0 / ut;
  const Dual ratio = (rho * rho) / (4.0 * w);
  Dual power = 1.0;
  for (int k = 1; k <= LAPLACIAN_ORDERS; ++k) {
    power = power * ratio;
    const auto row = static_cast<std::size_t>(k - 1);
    const Dual q =
        v.v <= 0.5 ? horner(LAPLACIAN_IN_V[row], 2 * k, v) : horner(LAPLACIAN_IN_Y[row], 2 * k, y);
    const Dual t = power * (q * per_ut);
    terms[k] = t;
    count = k + 1;
    const Dual term = moments[k] * t;
    excess = excess + term;
    if (std::fabs(term.v) <= 0.01 * scale.of(excess.v)) break;
  }
  return excess;
}

// The quadrature of Num for the profile (a Dual: value and derivatives) and
// for the derivative profiles (values), on the cuts of the value's sum:
//   Num(P) = P(1) G(0) + int_0^1 P'(mu) (G(mu) - G(0)) dmu,
// G(mu) = (1 - mu^2) (A_disk(u, rho sqrt(1 - mu^2)) - 1). The step is halved
// until two sums of the profile's Num and of each of its derivatives in u
// and rho agree to `tolerance` (of the value) and to `slope_tolerance`.
struct Sums {
  Dual profile;
  double derivatives[4] = {};
};

template <class Tolerance>
Sums integrate(const Profile &profile, const Profile *derivatives, int count, Dual u, Dual rho,
               Dual g0, const double *cuts, int pieces, const Ladder &ladder,
               Tolerance tolerance) noexcept {
  constexpr std::size_t MAX_PIECES = MAX_TABLE_NODES + 2;
  std::array<Sums, MAX_PIECES> raw{};
  const auto add = [&](Sums &sum, double mu, double weight) {
    const double r2 = (1.0 - mu) * (1.0 + mu);
    const Dual g = r2 > 0.0 ? r2 * disk_excess(u, rho * std::sqrt(r2)) - g0 : -g0;
    // The slope times the disks first, as the value's sum does: a table's
    // slope may be near overflow where the disks are near zero.
    sum.profile = sum.profile + weight * (profile.slope(mu) * g);
    for (int j = 0; j < count; ++j)
      sum.derivatives[j] += weight * (derivatives[j].slope(mu) * g.v);
  };
  for (int i = 0; i < pieces; ++i) {
    const double half = 0.5 * (cuts[i + 1] - cuts[i]);
    add(raw[static_cast<std::size_t>(i)], cuts[i] + half, ts::CENTRE_WEIGHT);
  }
  Sums previous{};
  for (int level = 0;; ++level) {
    const int stride = ladder.first_stride >> level;
    const int step = level == 0 ? stride : 2 * stride;
    Sums total{};
    for (int i = 0; i < pieces; ++i) {
      Sums &piece = raw[static_cast<std::size_t>(i)];
      const double a = cuts[i], b = cuts[i + 1];
      const double half = 0.5 * (b - a);
      for (int j = stride; j <= ladder.last_node; j += step) {
        const auto &node = ts::NODES[static_cast<std::size_t>(j - 1)];
        const double offset = half * node.delta;
        add(piece, a + offset, node.weight);
        add(piece, b - offset, node.weight);
      }
      total.profile = total.profile + half * piece.profile;
      for (int j = 0; j < count; ++j)
        total.derivatives[j] += half * piece.derivatives[j];
    }
    const double unit = static_cast<double>(stride) / ts::STEPS_PER_UNIT;
    total.profile = total.profile * unit;
    for (int j = 0; j < count; ++j)
      total.derivatives[j] *= unit;
    bool done = level >= FIRST_ACCEPTED_LEVEL;
    const auto [tol, slope_tol] = tolerance(total.profile.v);
    done = done && std::fabs(total.profile.v - previous.profile.v) <= tol;
    done = done && std::fabs(total.profile.du - previous.profile.du) <= slope_tol;
    done = done && std::fabs(total.profile.dr - previous.profile.dr) <= slope_tol;
    for (int j = 0; j < count; ++j)
      done = done && std::fabs(total.derivatives[j] - previous.derivatives[j]) <= tol;
    if (done || stride % 2 != 0) return total;
    previous = total;
  }
}

// I(0), the brightness at the limb.
double limb_brightness(const Profile &p) noexcept {
  if (p.table != nullptr) return p.table_scale * p.table->intensity.front();
  return p.alpha > 0.0 ? p.c0 - p.c_alpha : p.c0;
}

} // namespace

void Evaluator::gradient(double u, double rho, const double *coefficients, double *out) {
  if (!with_derivatives_) {
    with_derivatives_ = true;
    cached_ = false;
  }
  const int n_coef = coefficient_count(law_);
  const int outputs = 3 + n_coef;
  // The value's rules for elements that are not a source, or far out.
  if (!(u >= 0.0) || !(rho > 0.0) || !(rho < INF) || !profile_for(coefficients)) {
    for (int i = 0; i < outputs; ++i)
      out[i] = NaN;
    return;
  }
  for (int i = 1; i < outputs; ++i)
    out[i] = 0.0;
  if (u > UNMAGNIFIED_BEYOND) { // A = 1 to rounding, and flat
    out[0] = 1.0;
    return;
  }

  const double flux = moments_[0];
  const Scale scale{rtol_, rho >= 1.0};
  const Dual du(u, 1.0, 0.0), drho(rho, 0.0, 1.0);
  const double z = u / rho;
  // Num(P_j) of the derivative profiles, then A's derivatives from them.
  double num[4] = {};
  Dual excess; // A - 1 with its derivatives in u and rho
  const auto finish = [&](Dual a_minus_1) {
    out[1] = a_minus_1.du;
    out[2] = a_minus_1.dr;
    for (int j = 0; j < n_coef; ++j)
      out[3 + j] = (num[j] - a_minus_1.v * derivative_moments_[j][0]) / flux;
    // A value that overflowed to NaN (sources far below 1e-6 Einstein
    // radii) has no derivatives either.
    if (std::isnan(out[0])) {
      for (int i = 1; i < outputs; ++i)
        out[i] = NaN;
    }
  };

  if (in_far_field(u, z)) {
    Dual terms[LAPLACIAN_ORDERS + 1];
    int count;
    excess = far_field(du, drho, moments_, scale, terms, count);
    // The value as operator() gives it: the same operations on the values.
    const double a = 1.0 + excess.v;
    out[0] = a < 1.0 ? 1.0 : a;
    for (int j = 0; j < n_coef; ++j) {
      double sum = 0.0, factorial = 1.0;
      for (int k = 0; k < count; ++k) {
        if (k > 0) factorial *= k;
        sum += derivative_moments_[j][k] * terms[k].v / (factorial * factorial);
      }
      num[j] = sum;
    }
    finish(excess);
    return;
  }

  const Dual g0 = disk_excess(du, drho);

  // The tables, where the value may take them and every profile involved
  // is made of the basis (not on the limb, where the ratios' slopes and the
  // uniform disk's cancel infinities).
  bool tables =
      first_order_ != 0 && mix_.usable && over_basis_ && BasisTables::covers(z, rho) && z != 1.0;
  Dual ratios[basis::BASES];
  if (tables) {
    bool used[basis::BASES] = {};
    for (int k = 0; k < basis::BASES; ++k) {
      used[k] = basis_of_profile_[1 + k] != 0.0;
      for (int j = 0; j < n_coef; ++j)
        used[k] = used[k] || basis_of_derivative_[j][1 + k] != 0.0;
    }
    // The value's choice (BasisTables::factor): the coarser order where its
    // bound fits, else the finer.
    tables = false;
    for (int order = first_order_; order <= 8 && !tables; order += 4) {
      BasisTables::ratios(du / drho, drho, order, used, ratios);
      double factor = mix_.uniform, bound = 0.0;
      for (int k = 0; k < basis::BASES; ++k) {
        if (mix_.weight[k] == 0.0) continue;
        factor += mix_.weight[k] * ratios[k].v;
        bound +=
            std::fabs(mix_.weight[k] * ratios[k].v) * basis::ERROR_BOUND[k][order == 4 ? 0 : 1];
      }
      tables = g0.v * bound <= TABLE_SHARE * scale.of(g0.v * factor);
      // The value as operator() gives it: the same disk, weights and sums.
      if (tables) {
        const double a = 1.0 + g0.v * factor;
        out[0] = a < 1.0 ? 1.0 : a;
      }
    }
  }
  if (tables) {
    const auto num_of = [&](const double *terms) {
      Dual sum = terms[0];
      for (int k = 0; k < basis::BASES; ++k)
        if (terms[1 + k] != 0.0) sum = sum + (terms[1 + k] * BASIS_FLUX[k]) * ratios[k];
      return sum;
    };
    excess = g0 * num_of(basis_of_profile_) / flux;
    for (int j = 0; j < n_coef; ++j)
      num[j] = g0.v * num_of(basis_of_derivative_[j]).v;
    finish(excess);
    return;
  }

  // The quadrature, on the cuts of the value's.
  out[0] = (*this)(u, rho, coefficients);
  if (z == 1.0 && limb_brightness(profile_) > 0.0) {
    // The uniform disk's slopes diverge logarithmically on both sides of
    // its limb; so do those of any profile bright at its limb.
    excess = Dual(out[0] - 1.0, -INF, INF);
  }
  std::array<double, MAX_TABLE_NODES + 3> cuts{};
  const int n = quadrature_cuts(z, profile_, cuts.data());

  const double centre = profile_.centre();
  // The slopes to the same relative tolerance, on the scale A / max(u, rho)
  // where they pass through zero.
  const double slope_scale = 1.0 / std::max(u, rho);
  const Sums sums = integrate(profile_, derivatives_, n_coef, du, drho, g0, cuts.data(), n - 1,
                              ladder_, [&](double total) {
                                const double a = (centre * g0.v + total) / flux;
                                const double tol = QUADRATURE_SHARE * flux * scale.of(a);
                                return std::pair<double, double>{tol, tol * slope_scale};
                              });
  const Dual num_profile = centre * g0 + sums.profile;
  for (int j = 0; j < n_coef; ++j)
    num[j] = derivatives_[j].centre() * g0.v + sums.derivatives[j];
  if (z == 1.0 && limb_brightness(profile_) > 0.0) {
    finish(excess);
    return;
  }
  finish(num_profile / flux);
}

bool Evaluator::run_gradient(std::size_t count, char *const *data, const std::ptrdiff_t *strides,
                             StopCheck stop) {
  const int n_coef = coefficient_count(law_);
  std::array<double, 4> coefficients{};
  std::array<double, 7> results{};
  for (std::size_t i = 0; i < count; ++i) {
    if ((i & 15) == 0 && stop.every(1)) return false;
    const auto at = [&](int operand) {
      double value;
      std::memcpy(&value, data[operand] + static_cast<std::ptrdiff_t>(i) * strides[operand],
                  sizeof value);
      return value;
    };
    const double u = at(0), rho = at(1);
    for (int c = 0; c < n_coef; ++c)
      coefficients[static_cast<std::size_t>(c)] = at(2 + c);
    gradient(u, rho, coefficients.data(), results.data());
    for (int k = 0; k < 3 + n_coef; ++k) {
      const int operand = 2 + n_coef + k;
      std::memcpy(data[operand] + static_cast<std::ptrdiff_t>(i) * strides[operand],
                  &results[static_cast<std::size_t>(k)], sizeof(double));
    }
  }
  return true;
}

} // namespace tessarin::models::fspl
