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
#include "numeric/lanes.hpp"
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
// see tools/small_disk_series.py); every term is positive. At one point
// (defined in concentric_disks.cpp) or over lanes (small_disk_mean_lanes).
double small_disk_mean(double u, double R) noexcept;

// Einstein radii from the lens beyond which the point lens is formed as
// 1 + (A - 1): A - 1 is 2e-16 there.
inline constexpr double POINT_LENS_FAR = 1e4;

template <class V> V small_disk_mean_lanes(V u, V R) noexcept {
  using lanes::select;
  const V v = u * u;
  // Far out A(u) - 1 ~ 2/u^4 falls below an ulp, and the quotient below
  // could round under 1 (a point lens never demagnifies) or, once u^2
  // overflows, give inf/inf. There A = 1 + 4 / (u w (u^2 + 2 + u w)),
  // w = sqrt(u^2 + 4), the same expression with the 1 taken out exactly,
  // which tends to 1 without overflow, and is 1 once u itself overflows (a
  // finite separation in disk radii times a huge disk).
  const lanes::Mask<V> near = !(u >= POINT_LENS_FAR);
  const V root = lanes::sqrt(v + 4.0);
  const V base_far =
      select(near, (v + 2.0) / (u * root), 1.0 + 4.0 / ((u * root) * ((v + 2.0) + u * root)));
  // So far out the corrections are below 1e-30 of the point lens (and their
  // polynomials would overflow).
  const lanes::Mask<V> corrected = v < 1e32;
  if (!lanes::any(corrected)) return base_far;
  const V z = v + 4.0;
  const V sz = lanes::sqrt(z);
  // a = R^2 / (4 u^2) and b = 1 / (u^2 + 4): each order brings a factor of
  // a u^2 b^2 = R^2 / (4 (u^2 + 4)^2) ... times a polynomial ratio.
  const V a = (R * R) / (4.0 * v);
  const V b = 1.0 / z;
  const V base = base_far; // the point lens, A(u)
  // Lap^k A = c_k P_k(v) / (u^(2k+1) z^((4k+1)/2)); divided by k!(k+1)! and
  // relative to u^(-1) z^(-1/2), the k-th term is a^k (c_k/(k!(k+1)!)) P_k / z^(2k).
  const V b2 = b * b;
  const V t1 = a * b2 * (16.0 * (v + 1.0));                                              // 32 / 2
  const V t2 = (a * a) * (b2 * b2) * (32.0 * (((3.0 * v + 6.0) * v + 14.0) * v + 12.0)); // 384/12
  const V t3 =
      (a * a * a) * (b2 * b2 * b2) *
      (256.0 * ((((((2.0 * v + 2.0) * v + 22.0) * v + 57.0) * v + 82.0) * v) + 50.0)); // 36864/144
  const V t4 =
      (a * a) * (a * a) * ((b2 * b2) * (b2 * b2)) *
      (512.0 *
       ((((((((5.0 * v - 10.0) * v + 105.0) * v + 370.0) * v + 1072.0) * v + 1968.0) * v + 2090.0) *
         v) +
        980.0)); // 1474560/2880
  return select(corrected, base + (((t4 + t3) + t2) + t1) / (u * sz), base_far);
}

// Beyond this many disk radii between the lens and the disk centre the
// closed form loses about (u/R)^2 ulp to cancellation, while the expansion
// truncated after R^8 is exact to rounding (the next term is below
// 1e-2 (R/u)^10).
inline constexpr double SMALL_DISK_FROM = 25.0;

// The quantities that depend only on the disk radius rho (Einstein radii),
// for one disk (V = double) or for one disk per lane.
// The limb value's own constants are formed only when it is asked for: the
// limb-darkened model builds a disk for every radius that it samples.
template <class V> struct BasicUniformDisk {
  explicit BasicUniformDisk(V rho) noexcept
      : rho(rho), rho2(rho * rho), four_rho(4.0 * rho), two_rho2(rho2 + rho2), c(1.0 + rho2) {}

  V rho, rho2, four_rho, two_rho2, c;

  // Exact magnification with the lens on the limb, u = rho:
  // [2/rho + ((1 + rho^2)/rho^2) (pi/2 + asin((rho^2 - 1)/(rho^2 + 1)))] / pi,
  // with pi/2 + asin((rho^2 - 1)/(rho^2 + 1)) = 2 atan(rho): the sum cancels
  // for small rho (asin near -pi/2), the arctangent does not. One disk only.
  double limb() const noexcept;

  // Magnification at the separation u (Einstein radii); x is the same
  // separation in radii of the disk and decides the limb window. One disk
  // only.
  Result<double> at(double x, double u) const noexcept {
    // The zone is measured in radii of the disk: 1 - n = ((x - 1)/(x + 1))^2
    // whatever the size of the disk in Einstein radii.
    const bool limb_zone = std::fabs(x - 1.0) < LIMB_ZONE;
    if (limb_zone && x - 1.0 == 0) return limb();
    // The closed form (or the expansion far out), shared with the vector
    // code; only arguments at which an elliptic integral takes a special
    // road (or fails) go on below.
    lanes::Mask<double> special;
    const double a = closed_form(x, u, special);
    if (!special) return a;
    if (limb_zone) return near_limb(x - 1.0, u);

    const double d = u - rho;
    const double s = rho + u;
    const double d2 = d * d;
    const double t = std::sqrt(d2 + 4);
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
    return outside_limb_zone(sum(EK.value().e, EK.value().k, P.value(), d, s, d2, t, h));
  }

  // The magnification at the separations of the lanes of u (x in radii of
  // each lane's disk), by the expansion where the disk is far from the lens
  // (x > SMALL_DISK_FROM, or x > 2 beyond 1e4 Einstein radii) and by the
  // closed form elsewhere:
  //   n = 4 u rho / (u + rho)^2 and m = k^2 with the modulus
  //   k = sqrt(4n) / sqrt(4 + (u - rho)^2) formed first;
  // next to the limb (|x - 1| < LIMB_ZONE) the complements
  //   1 - n = (u - rho)^2 / (u + rho)^2,
  //   1 - m = (u - rho)^2 (4 + (u + rho)^2) / ((u + rho)^2 (4 + (u - rho)^2))
  // are formed from the geometry, with u - rho = (x - 1) rho and
  // u^2 - rho^2 = (u - rho)(u + rho) without cancellation. Lanes on the
  // limb itself, or where an elliptic integral takes a special road, are
  // set in `special`; their values are to be discarded, and at() gives
  // them.
  V closed_form(V x, V u, lanes::Mask<V> &special) const {
    using lanes::select;
    using M = lanes::Mask<V>;
    const V gap = x - 1.0;
    const M zone = lanes::fabs(gap) < LIMB_ZONE;
    // Far out (an infinite separation keeps its old road). Beyond 1e4
    // Einstein radii A - 1 < 2e-16 and the expansion's terms after the first
    // are negligible against 1 as soon as the lens is two radii out, where
    // the closed form's (x^2 ulp) error could bring A below 1.
    const M far = (!zone) && ((x > SMALL_DISK_FROM) || ((x > 2.0) && (u > 1e4))) &&
                  (x < std::numeric_limits<double>::infinity());
    V series = 0.0;
    if (lanes::any(far)) series = small_disk_mean_lanes<V>(u, rho);
    if (lanes::all(far)) {
      special = false;
      return series;
    }
    const V d = select(zone, gap * rho, u - rho);
    const V s = rho + u;
    const V d2 = d * d;
    const V t = lanes::sqrt(d2 + 4.0);
    const V n = (four_rho * u) / (s * s);
    const V k = lanes::sqrt(n * 4.0) / t;
    const V m = k * k;
    const V q = d / s;
    const V nc = q * q;
    V mc = select(zone, nc * ((s * s + 4.0) / (d2 + 4.0)), 1.0 - m);
    V p = select(zone, nc, 1.0 - n);
    const V h = select(zone, (d * s) * 0.5, (u * u - rho2) * 0.5);
    const M regular =
        (!far) && select(zone, gap != 0.0, n <= 1.0) && legendre::internal::pi_regular(n, mc, p);
    if (!lanes::any(regular)) {
      special = !far;
      return series;
    }
    // Lanes on other roads get harmless arguments, so that the loops of the
    // kernels end as soon as the others do.
    mc = select(regular, mc, 0.5);
    p = select(regular, p, 0.5);
    const auto EK = legendre::internal::ek_of_complement_lanes(mc);
    const auto P = legendre::internal::pi_of_complements(n, mc, p, regular);
    const V S = sum(EK.e, EK.k, P.value, d, s, d2, t, h);
    special = (!(regular || far)) || (P.failed && regular);
    return select(far, series, select(zone, S / PI, outside_limb_zone(S)));
  }

  // The same closed form next to the limb, gap = x - 1 (exact for x near 1),
  // with the complements formed from the geometry (see closed_form). Exact
  // on the limb itself (gap = 0), where the K and Pi terms meet their finite
  // limits. One disk only.
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
    return sum(EK.value().e, EK.value().k, P.value(), d, s, d2, t, h) / PI;
  }

private:
  // Witt and Mao's sum of the K, E and Pi terms, pi times the magnification.
  template <class U> U sum(U E, U K, U P, U d, U s, U d2, U t, U h) const {
    const U TK = (d * (h + 4.0)) / (rho2 * t) * K;
    const U TE = E * ((t * s) / two_rho2);
    const U TP = P * ((c * (d2 + d2)) / ((rho2 * s) * t));
    return TP + (TE - TK);
  }

  // S / pi, formed as two halves (the same expression serves inside and
  // outside the disk). Mathematically it is S/pi; in doubles it takes three
  // roundings where S/pi takes one, and differs from it in the last bit for
  // some S. It is kept for reproducibility: every recorded magnification
  // (the reference tables, the bit-for-bit record of the benchmarks) was
  // made with this form.
  template <class U> static U outside_limb_zone(U S) {
    return (S - PI) / TWO_PI + (S + PI) / TWO_PI;
  }
};

using UniformDisk = BasicUniformDisk<double>;
template <> double BasicUniformDisk<double>::limb() const noexcept;

} // namespace tessarin::models
