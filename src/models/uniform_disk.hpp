// Magnification of a uniformly bright disk by a point-mass lens, in closed
// form: H. J. Witt and S. Mao, "Can lensed stars be regarded as pointlike
// for microlensing by MACHOs?", ApJ 430 (1994) 505, written with
// complete elliptic integrals of the first, second and third kinds.
//
// Shared by the uniform-disk model (one disk, the whole source) and by the
// limb-darkened integral built on it (concentric disks of every radius).
#pragma once

#include <cmath>
#include <limits>

#include "elliptic/legendre.hpp"
#include "math_constants.hpp"
#include "result.hpp"

namespace tessarin::models {

// Half-width of the zone around the limb, in radii of the disk, where the
// characteristic n and the parameter m are so near 1 that forming them and
// letting the kernels subtract them from 1 costs digits (about
// 1e-16/(x - 1)^2 relative): there the complements are formed from the
// geometry instead. At its edge the written form is within 1.3e-14 of the
// truth for disks of 1e-4 to 1e4 Einstein radii (tools/accuracy_truth.py),
// its level elsewhere; 0.1 from the limb it is 6e-14 off, 0.05 from it 3e-13.
inline constexpr double LIMB_ZONE = 0.25;

// Mean of the point-lens magnification A(v) = (v^2 + 2) / (v sqrt(v^2 + 4))
// over a disk of radius R whose centre lies at u from the lens, for R well
// below u. Pizzetti's mean-value expansion in two dimensions,
//   mean = sum_k (R^2/4)^k Lap^k A(u) / (k! (k+1)!),
// with the iterated Laplacians of A in closed form (derived symbolically,
// see tools/small_disk_series.py); every term is positive. Defined in
// concentric_disks.cpp.
double small_disk_mean(double u, double R) noexcept;

// Beyond this many disk radii between the lens and the disk centre the
// closed form loses about (u/R)^2 ulp to cancellation, while the expansion
// truncated after R^8 is exact to rounding (the next term is below
// 1e-2 (R/u)^10).
inline constexpr double SMALL_DISK_FROM = 25.0;

// The quantities that depend only on the disk radius rho (Einstein radii).
// The limb value's own constants are formed only when it is asked for: the
// limb-darkened model builds a disk for every radius that it samples.
struct UniformDisk {
  explicit UniformDisk(double rho) noexcept
      : rho(rho), rho2(rho * rho), four_rho(4 * rho), two_rho2(rho2 + rho2), c(1 + rho2) {}

  double rho, rho2, four_rho, two_rho2, c;

  // Exact magnification with the lens on the limb, u = rho:
  // [2/rho + ((1 + rho^2)/rho^2) (pi/2 + asin((rho^2 - 1)/(rho^2 + 1)))] / pi,
  // with pi/2 + asin((rho^2 - 1)/(rho^2 + 1)) = 2 atan(rho): the sum cancels
  // for small rho (asin near -pi/2), the arctangent does not.
  double limb() const noexcept;

  // Magnification at the separation u (Einstein radii); x is the same
  // separation in radii of the disk and decides the limb window.
  Result<double> at(double x, double u) const noexcept {
    // The zone is measured in radii of the disk: 1 - n = ((x - 1)/(x + 1))^2
    // whatever the size of the disk in Einstein radii.
    if (std::fabs(x - 1.0) < LIMB_ZONE) return near_limb(x - 1.0, u);
    // Far out (an infinite separation keeps its old road). Beyond 1e4
    // Einstein radii A - 1 < 2e-16 and the expansion's terms after the first
    // are negligible against 1 as soon as the lens is two radii out, where
    // the closed form's (x^2 ulp) error could bring A below 1.
    if ((x > SMALL_DISK_FROM || (x > 2 && u > 1e4)) && x < std::numeric_limits<double>::infinity())
      return small_disk_mean(u, rho);

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

  // The same closed form next to the limb, gap = x - 1 (exact for x near 1),
  // with the complements formed from the geometry:
  //   1 - n = (u - rho)^2 / (u + rho)^2,
  //   1 - m = (u - rho)^2 (4 + (u + rho)^2) / ((u + rho)^2 (4 + (u - rho)^2)),
  // and u - rho = gap rho, u^2 - rho^2 = (u - rho)(u + rho) without
  // cancellation. Exact on the limb itself (gap = 0), where the K and Pi
  // terms meet their finite limits.
  Result<double> near_limb(double gap, double u) const noexcept {
    if (gap == 0) return limb();
    const double d = gap * rho;
    const double s = rho + u;
    const double d2 = d * d;
    const double t = std::sqrt(d2 + 4);
    const double q = d / s;
    const double nc = q * q;
    const double mc = nc * ((s * s + 4) / (d2 + 4));
    const double n = (four_rho * u) / (s * s);
    const double h = (d * s) * 0.5;

    const auto EK = legendre::ellipke_complement(mc);
    if (!EK) return EK.failure();
    const auto P = legendre::ellippi_complement(n, nc, mc);
    if (!P) return P.failure();
    const double TK = (d * (h + 4)) / (rho2 * t) * EK.value().k;
    const double TE = EK.value().e * ((t * s) / two_rho2);
    const double TP = P.value() * ((c * (d2 + d2)) / ((rho2 * s) * t));
    return (TP + (TE - TK)) / PI;
  }
};

} // namespace tessarin::models
