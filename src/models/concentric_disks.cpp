#include "models/concentric_disks.hpp"

#include <cmath>

namespace tessarin::models {

namespace {
// Einstein radii from the lens beyond which the point lens is formed as
// 1 + (A - 1): A - 1 is 2e-16 there.
constexpr double POINT_LENS_FAR = 1e4;
} // namespace

double small_disk_mean(double u, double R) noexcept {
  const double v = u * u;
  // Far out A(u) - 1 ~ 2/u^4 falls below an ulp, and the quotient below
  // could round under 1 (a point lens never demagnifies) or, once u^2
  // overflows, give inf/inf. There A = 1 + 4 / (u w (u^2 + 2 + u w)),
  // w = sqrt(u^2 + 4), the same expression with the 1 taken out exactly,
  // which tends to 1 without overflow.
  const double base_far = !(u >= POINT_LENS_FAR) || !std::isfinite(u)
                              ? (v + 2) / (u * std::sqrt(v + 4))
                              : 1 + 4 / ((u * std::sqrt(v + 4)) * ((v + 2) + u * std::sqrt(v + 4)));
  // So far out the corrections are below 1e-30 of the point lens (and their
  // polynomials would overflow).
  if (!(v < 1e32)) return base_far;
  const double z = v + 4;
  const double sz = std::sqrt(z);
  // a = R^2 / (4 u^2) and b = 1 / (u^2 + 4): each order brings a factor of
  // a u^2 b^2 = R^2 / (4 (u^2 + 4)^2) ... times a polynomial ratio.
  const double a = (R * R) / (4 * v);
  const double b = 1 / z;
  const double base = base_far; // the point lens, A(u)
  // Lap^k A = c_k P_k(v) / (u^(2k+1) z^((4k+1)/2)); divided by k!(k+1)! and
  // relative to u^(-1) z^(-1/2), the k-th term is a^k (c_k/(k!(k+1)!)) P_k / z^(2k).
  const double b2 = b * b;
  const double t1 = a * b2 * (16.0 * (v + 1));                                        // 32 / 2
  const double t2 = (a * a) * (b2 * b2) * (32.0 * (((3 * v + 6) * v + 14) * v + 12)); // 384/12
  const double t3 =
      (a * a * a) * (b2 * b2 * b2) *
      (256.0 * ((((((2 * v + 2) * v + 22) * v + 57) * v + 82) * v) + 50)); // 36864/144
  const double t4 =
      (a * a) * (a * a) * ((b2 * b2) * (b2 * b2)) *
      (512.0 * ((((((((5 * v - 10) * v + 105) * v + 370) * v + 1072) * v + 1968) * v + 2090) * v) +
                980)); // 1474560/2880
  return base + (((t4 + t3) + t2) + t1) / (u * sz);
}

} // namespace tessarin::models
