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
#include "numeric/lanes.hpp"
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
    // The closed form, shared with the vector code; only arguments at which
    // an elliptic integral takes a special road (or fails) go on below.
    lanes::Mask<double> special;
    const double a = closed_form<double>(l, r, special);
    if (!special) return a;
    // Next to the ring n and m approach 1; the zone is relative to the
    // separation, as 1 - n = ((r - l)/(r + l))^2 is (and empty for a lens at
    // the centre).
    if (std::fabs(d) < RING_ZONE * l) return near_ring(l, r, d);

    const double s = l + r;
    const double d2 = d * d;
    const double w = four_eta2_ + d2;
    // With the lens at the centre or a ring of radius 0, m = 0; for a
    // subnormal l + r the factor 4 eta / (l + r) alone overflows, and
    // 0 * inf would make the mean NaN where it is huge or infinite.
    const double scale = four_eta_ / s;
    const double k = (l == 0 || r == 0) && std::isinf(scale) && std::isfinite(four_eta_)
                         ? 0.0
                         : std::sqrt((l * r) / w) * scale;
    const double m = k * k;
    const auto K = legendre::ellipk(m);
    if (!K) return K.failure();
    const double n = (l == 0 || r == 0) && s * s == 0 ? 0.0 : ((l * 4) * r) / (s * s);
    const auto P = legendre::ellippi(n, m);
    if (!P) return P.failure();
    return combine(K.value(), P.value(), d2, s, w);
  }

  // The ring mean at the radii of the lanes of r (one separation l), by the
  // closed form alone: the formulas of operator() for every lane that takes
  // neither a shortcut (on the ring, far from the lens, far out) nor a
  // special road of the elliptic integrals. Those lanes are set in
  // `special`, their values are to be discarded, and operator() gives them.
  //   m = 16 eta^2 l r / ((l + r)^2 (4 eta^2 + (r - l)^2)), formed as a root
  //     that is then squared, and n = 4 l r / (l + r)^2;
  // next to the ring (|r - l| < RING_ZONE l) the complements
  //   1 - n = (r - l)^2 / (l + r)^2,
  //   1 - m = (r - l)^2 ((l + r)^2 + 4 eta^2) / ((l + r)^2 (4 eta^2 + (r - l)^2))
  // are formed from the geometry, accurate to rounding as the lens
  // approaches the ring, where n and m are within rounding of 1.
  template <class V> V closed_form(double l, V r, lanes::Mask<V> &special) const {
    using lanes::select;
    const V d = r - l;
    const lanes::Mask<V> zone = lanes::fabs(d) < RING_ZONE * l;
    const V s = l + r;
    const V d2 = d * d;
    const V w = four_eta2_ + d2;
    const V n = ((l * 4) * r) / (s * s);
    const V k = lanes::sqrt((l * r) / w) * (four_eta_ / s);
    const V m = k * k;
    const V q = d / s;
    const V nc = q * q;
    V mc = select(zone, nc * ((s * s + four_eta2_) / w), 1.0 - m);
    V p = select(zone, nc, 1.0 - n);
    const bool separation_ok = l >= 0 && l <= FAR;
    const lanes::Mask<V> regular = lanes::Mask<V>(separation_ok) && (d != 0.0) && (r >= 0.0) &&
                                   (r <= FAR) &&
                                   !(lanes::fabs(d) > FAR_FROM_LENS * std::fabs(eta_)) &&
                                   (zone || (n <= 1.0)) && legendre::internal::pi_regular(n, mc, p);
    // No lane on this road (a lens at the centre, say): nothing to compute.
    if (!lanes::any(regular)) {
      special = true;
      return 0.0;
    }
    // Lanes on other roads get harmless arguments, so that the loops of the
    // kernels end as soon as the others do.
    mc = select(regular, mc, 0.5);
    p = select(regular, p, 0.5);
    const V K = legendre::internal::k_of_complement(mc);
    const auto P = legendre::internal::pi_of_complements(n, mc, p, regular);
    special = (!regular) || P.failed;
    return combine(K, P.value, d2, s, w);
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
    return combine(K.value(), P.value(), d2, s, w);
  }

  // Heyrovsky's mean from K and Pi:
  // (2 eta^2 K + (r - l)^2 Pi) 4 / ((l + r) sqrt(4 eta^2 + (r - l)^2)) / (2 pi).
  template <class V> V combine(V K, V P, V d2, V s, V w) const {
    return (two_eta2_ * K + d2 * P) * (4 / (s * lanes::sqrt(w))) / TWO_PI;
  }

  double eta_, eta2_, four_eta_, four_eta2_, two_eta2_;
};

} // namespace tessarin::models
