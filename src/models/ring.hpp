// Mean point-lens magnification over a thin ring of the source:
// D. Heyrovsky, ApJ 594 (2003) 464, in complete elliptic integrals of the
// first and third kinds, with a logarithmic expansion where the lens lies on
// or next to the ring.
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
      : eta_(re / rstar), eta2_(eta_ * eta_), two_eta_(eta_ + eta_), eight_eta_(8 * eta_),
        four_eta_(eta_ * 4), four_eta2_(eta2_ * 4), two_eta2_(eta2_ + eta2_) {}

  // Mean magnification of the ring of radius r whose centre lies at l from
  // the lens (source radii), or the error of the elliptic integral that
  // failed.
  Result<double> operator()(double l, double r) const noexcept {
    const double d = r - l;

    // The expansion holds while |r - l| is small against l, so the window is
    // relative to the separation (and empty for a lens at the centre). It
    // takes |r - l| in its logarithm and the signed r - l in its
    // corrections, which serves both sides of the ring.
    if (std::fabs(d) < 1e-5 * l) return near_ring(l, d);
    // A ring of radius 0 around the lens: no finite mean.
    if (l == 0 && r == 0) return std::numeric_limits<double>::quiet_NaN();

    const double s = l + r;
    const double d2 = d * d;
    const double w = four_eta2_ + d2;
    // m = 16 eta^2 l r / ((l + r)^2 (4 eta^2 + (r - l)^2)), formed as a root
    // that is then squared; n = 4 l r / (l + r)^2.
    const double k = std::sqrt((l * r) / w) * (four_eta_ / s);
    const double m = k * k;
    const auto K = legendre::ellipk(m);
    if (!K) return K.failure();
    const double n = ((l * 4) * r) / (s * s);
    const auto P = legendre::ellippi(n, m);
    if (!P) return P.failure();
    return (two_eta2_ * K.value() + d2 * P.value()) * (4 / (s * std::sqrt(w))) / TWO_PI;
  }

private:
  // Leading terms of the ring mean for |r - l| << l: the logarithmic
  // divergence on the ring plus the first-order correction in r - l.
  double near_ring(double l, double d) const noexcept {
    const double l2 = l * l;
    const double c1 = (1 - d / (l + l)) * (two_eta_ / l);
    const double L = std::log((eight_eta_ * l) / (std::sqrt(l2 + eta2_) * std::fabs(d)));
    const double T = std::atan(l / eta_) * 4;
    const double X = (((l2 + l2) + eta2_) * eta_) / ((l2 + eta2_) * l2) * d;
    return ((L * c1 + T) + X) / TWO_PI;
  }

  double eta_, eta2_, two_eta_, eight_eta_, four_eta_, four_eta2_, two_eta2_;
};

} // namespace tessarin::models
