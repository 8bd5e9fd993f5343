#include "models/uniform_disk.hpp"

#include <cmath>

#include "elliptic/legendre.hpp"

namespace tessarin::models {

double UniformDisk::limb() const noexcept {
  return ((std::asin(g) + HALF_PI) * f + e) / PI;
}

Result<double> UniformDisk::at(double x, double u) const noexcept {
  // The window is measured in radii of the disk, so that it covers the same
  // fraction of the disk whatever its size in Einstein radii.
  if (std::fabs(x - 1.0) < LIMB_WINDOW) return limb();

  const double d = u - rho;
  const double s = rho + u;
  const double d2 = d * d;
  const double t = std::sqrt(d2 + 4);
  // Characteristic n = 4 u rho / (u + rho)^2 and parameter m = k^2 with the
  // modulus k = sqrt(4n) / sqrt(4 + (u - rho)^2) formed first.
  const double n = (four_rho * u) / (s * s);
  const double k = std::sqrt(n * 4) / t;
  const double m = k * k;
  const double h = (u * u - rho2) * 0.5;

  const auto E = legendre::ellipe(m);
  if (!E) return E.failure();
  const auto K = legendre::ellipk(m);
  if (!K) return K.failure();
  const auto P = legendre::ellippi(n, m);
  if (!P) return P.failure();

  const double TK = (d * (h + 4)) / (rho2 * t) * K.value();
  const double TE = E.value() * ((t * s) / two_rho2);
  const double TP = P.value() * ((c * (d2 + d2)) / ((rho2 * s) * t));
  const double S = TP + (TE - TK);
  // S / pi, formed as two halves (the same expression serves inside and
  // outside the disk).
  return (S - PI) / TWO_PI + (S + PI) / TWO_PI;
}

} // namespace tessarin::models
