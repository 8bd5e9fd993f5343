// Mean point-lens magnification over a thin ring of the source:
// D. Heyrovsky, ApJ 594 (2003) 464, in complete elliptic integrals of the
// first and third kinds; next to the ring, where the characteristic and the
// parameter approach 1, their complements are formed from the geometry.
//
// Defined here, inline, because the integrated and discrete models evaluate
// it hundreds of times per separation: the quantities that depend only on
// the Einstein radius are formed once per call of a model, and the elliptic
// integrals are inlined into the integrand.
#pragma once

#include <cmath>
#include <limits>

#include "elliptic/legendre.hpp"
#include "models/uniform_disk.hpp"
#include "result.hpp"

namespace tessarin::models {

// The lens seen from the source: eta = re / rstar, the Einstein radius in
// source radii, and the multiples of it that the ring mean uses.
class RingLens {
public:
  RingLens(double re, double rstar) noexcept
      : eta_(re / rstar), eta2_(eta_ * eta_), four_eta_(eta_ * 4), four_eta2_(eta2_ * 4),
        two_eta2_(eta2_ + eta2_) {}

  // Mean magnification of the ring of radius r whose centre lies at l from
  // the lens (source radii), or the error of the elliptic integral that
  // failed.
  Result<double> operator()(double l, double r) const noexcept {
    const double d = r - l;

    // The lens on the ring (a ring of radius 0 around the lens included):
    // the mean diverges logarithmically.
    if (d == 0 && l >= 0) return std::numeric_limits<double>::infinity();
    // Every point of the ring more than 1e5 Einstein radii from the lens:
    // A - 1 < 2 eta^4 / (r - l)^4 < 2e-20, so the mean is 1 to double
    // precision (the closed form would give 1 - ulp as often as 1).
    if (std::fabs(d) > FAR_FROM_LENS * std::fabs(eta_) && l >= 0 && r >= 0) return 1.0;
    // So far out that squares of the lengths overflow: the ring mean
    // depends only on the ratios of l, r and eta, and scaling all three by
    // a power of 2 is exact.
    if ((l > FAR || r > FAR) && std::isfinite(l + r)) {
      const int e = std::ilogb(std::fmax(l, r));
      return RingLens(std::ldexp(eta_, -e))(std::ldexp(l, -e), std::ldexp(r, -e));
    }
    // Next to the ring n and m approach 1; the zone is relative to the
    // separation, as 1 - n = ((r - l)/(r + l))^2 is (and empty for a lens at
    // the centre).
    if (std::fabs(d) < RING_ZONE * l) return near_ring(l, r, d);

    const double s = l + r;
    const double d2 = d * d;
    const double w = four_eta2_ + d2;
    // m = 16 eta^2 l r / ((l + r)^2 (4 eta^2 + (r - l)^2)), formed as a root
    // that is then squared; n = 4 l r / (l + r)^2, which is 0 for a ring of
    // radius 0 or a lens at the centre also where (l + r)^2 underflows.
    const double k = std::sqrt((l * r) / w) * (four_eta_ / s);
    const double m = k * k;
    const auto K = legendre::ellipk(m);
    if (!K) return K.failure();
    const double n = (l == 0 || r == 0) && s * s == 0 ? 0.0 : ((l * 4) * r) / (s * s);
    const auto P = legendre::ellippi(n, m);
    if (!P) return P.failure();
    return (two_eta2_ * K.value() + d2 * P.value()) * (4 / (s * std::sqrt(w))) / TWO_PI;
  }

private:
  // Lengths (source radii) beyond which the closed form's squares could
  // overflow.
  static constexpr double FAR = 0x1p500;
  static constexpr double FAR_FROM_LENS = 1e5;
  // |r - l| / l below which the complements are formed from the geometry.
  // The closed form as written loses about 1e-16 (l/(r - l))^2 relative;
  // at the edge of the zone it is within 2e-14 of the truth (measured with
  // tools/accuracy_truth.py over eta from 1e-4 to 1e4), its level elsewhere.
  static constexpr double RING_ZONE = 0.15;

  explicit RingLens(double eta) noexcept
      : eta_(eta), eta2_(eta_ * eta_), four_eta_(eta_ * 4), four_eta2_(eta2_ * 4),
        two_eta2_(eta2_ + eta2_) {}

  // The closed form next to the ring, with the complements
  //   1 - n = (r - l)^2 / (l + r)^2,
  //   1 - m = (r - l)^2 ((l + r)^2 + 4 eta^2) / ((l + r)^2 (4 eta^2 + (r - l)^2))
  // handed to the kernels: accurate to rounding as the lens approaches the
  // ring, where n and m are within rounding of 1.
  Result<double> near_ring(double l, double r, double d) const noexcept {
    const double s = l + r;
    const double d2 = d * d;
    const double w = four_eta2_ + d2;
    const double q = d / s;
    const double nc = q * q;
    const double mc = nc * ((s * s + four_eta2_) / w);
    const auto K = legendre::ellipk_complement(mc);
    if (!K) return K.failure();
    const double n = ((l * 4) * r) / (s * s);
    const auto P = legendre::ellippi_complement(n, nc, mc);
    if (!P) return P.failure();
    return (two_eta2_ * K.value() + d2 * P.value()) * (4 / (s * std::sqrt(w))) / TWO_PI;
  }

  double eta_, eta2_, four_eta_, four_eta2_, two_eta2_;
};

} // namespace tessarin::models
