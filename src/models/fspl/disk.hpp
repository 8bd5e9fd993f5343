// The uniformly bright disk for the fitting family: Witt & Mao's closed form
// (ApJ 430 (1994) 505) with its three complete elliptic integrals reduced to
// two of Bulirsch's cel, which take the complements 1 - m and 1 - n from
// the geometry, so that one expression keeps its precision from the centre
// to the limb. Far from the lens the mean-value expansion takes over.
#pragma once

#include <cmath>

#include "elliptic/bulirsch.hpp"
#include "math_constants.hpp"
#include "models/uniform_disk.hpp"

namespace tessarin::models::fspl {

// Beyond this many disk radii from the lens the closed form would lose
// about (u/R)^2 ulp to cancellation (9e-15 at 10 radii), while the
// small-disk expansion truncated at R^8 leaves about 1e-2 (R/u)^10, 9e-15
// at 16 radii.
inline constexpr double DISK_SERIES_FROM_RADII = 16.0;

// Magnification of a uniform disk of radius R whose centre lies at u from
// the lens (both in Einstein radii, R > 0, u >= 0 finite).
//
// Witt & Mao's sum, pi A = Pi-term + E-term - K-term with d = u - R,
// s = u + R, t = sqrt(d^2 + 4), h = d s / 2:
//   K-term = d (h + 4) / (R^2 t) K(m),  E-term = t s / (2 R^2) E(m),
//   Pi-term = 2 (1 + R^2) d^2 / (R^2 s t) Pi(n, m),
// n = 4 u R / s^2, with the complements
//   1 - n = (d/s)^2,  1 - m = (d/s)^2 (s^2 + 4) / (d^2 + 4).
// E - K terms are one cel with p = 1 (they share the integrand's
// denominator), Pi is a second with p = 1 - n; both share kc = sqrt(1 - m).
inline double disk_magnification(double u, double R) noexcept {
  if (u == 0.0) return std::sqrt(R * R + 4.0) / R;
  if (u == R) {
    // On the limb: [2/R + ((1 + R^2)/R^2) 2 atan(R)] / pi.
    return (2.0 / R + ((1.0 + R * R) / (R * R)) * (2.0 * std::atan(R))) / PI;
  }
  if (u > DISK_SERIES_FROM_RADII * R) return small_disk_mean(u, R);
  const double d = u - R;
  const double s = u + R;
  const double d2 = d * d;
  const double t = std::sqrt(d2 + 4.0);
  // Three reciprocals serve the five quotients below.
  const double rs = 1.0 / s;
  const double rt = 1.0 / t;
  const double q = d * rs;
  const double nc = q * q;
  const double kc = std::fabs(q) * (std::sqrt(s * s + 4.0) * rt);
  const double R2 = R * R;
  const double w = rt / R2; // 1 / (R^2 t)
  const double p_term = ((1.0 + R2) * (d2 + d2)) * (w * rs);
  // E-term - K-term = cel(kc, 1, e - k, e kc^2 - k) with e = t s / (2 R^2) and
  // k = d (h + 4) / (R^2 t); both differences simplify (t^2 = d^2 + 4,
  // h = d s / 2) to
  //   e - k = 2 (3R - u) / (R^2 t),  e kc^2 - k = 2 d (d - 2s) / (R^2 s t),
  // which far from the lens are many orders below e and k: formed as
  // differences they would lose (u/R)^2 ulp.
  const double a_ek = (2.0 * (3.0 * R - u)) * w;
  const double b_ek = ((2.0 * d) * (d - 2.0 * s)) * (w * rs);
  const double S = elliptic::bulirsch::cel_pair_sum(kc, {nc, p_term, p_term}, {1.0, a_ek, b_ek});
  return S / PI;
}

} // namespace tessarin::models::fspl
