// Surface-brightness profiles of the fitting family, in mu = sqrt(1 - r^2).
//
// Every law is a sum of a few terms, c mu^p (p in {0, 1/2, 1, 3/2, 2} or a
// free alpha) and c mu ln(mu); a table is linear in mu between its nodes.
// The magnification needs three things of a profile: its slope dI/dmu (the
// weight of the concentric disks), its value at the centre I(1), and its
// radial moments
//   N_k = 2 int_0^1 I(mu) (1 - mu^2)^k mu dmu = <r^2k> N_0,
// N_0 being the flux over pi.
#pragma once

#include <array>

#include "models/fspl/law.hpp"

namespace tessarin::models::fspl {

struct Profile {
  // I = c0 + c_half mu^(1/2) + c1 mu + c_three_halves mu^(3/2) + c2 mu^2
  //     + c_alpha (mu^alpha - 1) + c_log mu ln(mu), unless `table` is set.
  double c0 = 1.0, c_half = 0.0, c1 = 0.0, c_three_halves = 0.0, c2 = 0.0;
  double c_alpha = 0.0, alpha = 0.0, c_log = 0.0;
  // + c_alpha_log mu^alpha ln(mu): only in the derivative of power-2 in alpha.
  double c_alpha_log = 0.0;
  const Table *table = nullptr;
  double table_scale = 1.0; // a power of two applied to the table's intensities

  // dI/dmu at 0 < mu < 1 (for a table, that of the segment holding mu).
  double slope(double mu) const noexcept;
  // Whether dI/dmu is the same everywhere (a law linear in mu).
  bool slope_is_constant() const noexcept {
    return table == nullptr && c_half == 0.0 && c_three_halves == 0.0 && c2 == 0.0 &&
           c_alpha == 0.0 && c_log == 0.0 && c_alpha_log == 0.0;
  }
  // I(1), the brightness at the centre of the disk.
  double centre() const noexcept;
  // N_k for k = 0 .. count - 1.
  void moments(double *out, int count) const noexcept;
};

// The profile of `law` with its coefficients (coefficient_count(law) of
// them), or false when they do not make a source: a coefficient that is not
// finite, a brightness below zero anywhere on 0 <= mu <= 1 (beyond a few
// rounding errors of the coefficients), or no flux.
bool make_profile(Law law, const double *coefficients, const Table *table, Profile &out) noexcept;

// The derivatives dI/dtheta of the profile make_profile gives, one per
// coefficient theta of `law` (for valid coefficients; none for a table).
// They carry the same power-of-two scale as the profile, so that a ratio of
// their moments to the profile's is that of the unscaled law.
void derivative_profiles(Law law, const double *coefficients, Profile *out) noexcept;

} // namespace tessarin::models::fspl
