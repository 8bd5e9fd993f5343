// Magnification of a uniformly bright disk by a point-mass lens, in closed
// form: H. J. Witt and S. Mao, "Can lensed stars be regarded as pointlike
// for microlensing by MACHOs?", ApJ 430 (1994) 505, written with
// complete elliptic integrals of the first, second and third kinds.
//
// Shared by the uniform-disk model (one disk, the whole source) and by the
// limb-darkened integral built on it (concentric disks of every radius).
#pragma once

#include <cmath>

#include "elliptic/legendre.hpp"
#include "math_constants.hpp"
#include "result.hpp"

namespace tessarin::models {

// Half-width of the window around the limb, in radii of the disk: a lens
// nearer the limb than this is taken to lie on it.
inline constexpr double LIMB_WINDOW = 1e-5;

// The quantities that depend only on the disk radius rho (Einstein radii).
// The limb value's own constants are formed only when it is asked for: the
// limb-darkened model builds a disk for every radius that it samples.
struct UniformDisk {
  explicit UniformDisk(double rho) noexcept
      : rho(rho), rho2(rho * rho), four_rho(4 * rho), two_rho2(rho2 + rho2), c(1 + rho2) {}

  double rho, rho2, four_rho, two_rho2, c;

  // Exact magnification with the lens on the limb, u = rho:
  // [2/rho + ((1 + rho^2)/rho^2) (pi/2 + asin((rho^2 - 1)/(rho^2 + 1)))] / pi.
  double limb() const noexcept;

  // Magnification at the separation u (Einstein radii); x is the same
  // separation in radii of the disk and decides the limb window.
  Result<double> at(double x, double u) const noexcept {
    // The window is measured in radii of the disk, so that it covers the
    // same fraction of the disk whatever its size in Einstein radii.
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

    // E, then K (one call: they share ln(1 - m)), then Pi; the first error
    // ends the computation.
    const auto EK = legendre::ellipke(m);
    if (!EK) return EK.failure();
    const auto P = legendre::ellippi(n, m);
    if (!P) return P.failure();
    const double E = EK.value().e;
    const double K = EK.value().k;

    const double TK = (d * (h + 4)) / (rho2 * t) * K;
    const double TE = E * ((t * s) / two_rho2);
    const double TP = P.value() * ((c * (d2 + d2)) / ((rho2 * s) * t));
    const double S = TP + (TE - TK);
    // S / pi, formed as two halves (the same expression serves inside and
    // outside the disk). Mathematically it is S/pi; in doubles it takes three
    // roundings where S/pi takes one, and differs from it in the last bit for
    // some S. It is kept for reproducibility: every recorded magnification
    // (the reference tables, the bit-for-bit record of the benchmarks) was
    // made with this form.
    return (S - PI) / TWO_PI + (S + PI) / TWO_PI;
  }
};

} // namespace tessarin::models
