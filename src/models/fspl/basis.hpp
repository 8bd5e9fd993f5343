// The fitting family's tables: the magnification of a law as a mix of basis
// profiles read from precomputed ratios, with a bound on the error.
//
// A law whose brightness is c_1 + sum_P c_P P(mu) over the basis profiles
// P = mu^(1/2), mu, mu^(3/2), mu^2, mu ln(mu) has, the magnification being
// linear in the profile and F_P = 2 int_0^1 P mu dmu the flux of P,
//
//   A - 1 = (A_uniform - 1) (w_1 + sum_P w_P R_P(z, rho)),   w_P = c_P F_P / N,
//
// where R_P = (A_P - 1) / (A_uniform - 1) is tabulated (basis_grid.hpp and
// tools/gen_fspl_basis.py) and A_uniform is the closed form.
#pragma once

#include "models/fspl/basis_grid.hpp"
#include "models/fspl/profile.hpp"
#include "numeric/dual.hpp"

namespace tessarin::models::fspl {

// The weights of a profile's basis terms; `usable` is false for a profile
// outside the basis (a table, power-2 with any other exponent).
struct BasisMix {
  bool usable = false;
  double uniform = 0.0;
  double weight[basis::BASES] = {};
};

// F_P = 2 int_0^1 P mu dmu of the basis profiles mu^(1/2), mu, mu^(3/2),
// mu^2 and mu ln(mu).
inline constexpr double BASIS_FLUX[basis::BASES] = {4.0 / 5.0, 2.0 / 3.0, 4.0 / 7.0, 0.5,
                                                    -2.0 / 9.0};

// The profile over the basis: out[0] its constant, out[1 + k] the
// coefficient of basis profile k; false for a profile outside the basis.
bool basis_terms(const Profile &profile, double *out) noexcept;

// `flux` is the profile's N_0.
BasisMix basis_mix(const Profile &profile, double flux) noexcept;

// Interpolation in the basis tables, through `order` (4 or 8) nodes along
// each coordinate. Keeps the weights of the last rho: a light curve has one.
class BasisTables {
public:
  // Whether (z, rho) lies inside the tables.
  static bool covers(double z, double rho) noexcept {
    return z <= basis::Z_MAX && rho <= basis::RHO_MAX;
  }
  // The factor w_1 + sum_P w_P R_P of the mix at (z, rho), and in `bound`
  // the bound on its error, sum_P |w_P| R_P e_P with e_P the table's
  // relative error bound of R_P at this order.
  double factor(double z, double rho, int order, const BasisMix &mix, double &bound) noexcept;
  // The ratios R_P of the bases marked in `used`, with their derivatives
  // (through the interpolant) in the variables of z and rho, through
  // `order` (4 or 8) nodes.
  static void ratios(numeric::Dual z, numeric::Dual rho, int order, const bool *used,
                     numeric::Dual *out) noexcept;

private:
  double rho_ = -1.0;
  int order_ = 0;
  int s_first_ = 0;
  double s_weights_[8] = {};
};

} // namespace tessarin::models::fspl
