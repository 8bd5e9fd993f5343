// Magnification of a source with a radial brightness profile I(r), r in
// source radii: the flux-weighted mean of a magnification over the face of
// the source, integrated by the double-exponential rule and divided by the
// profile's normalisation (the integral of 2 pi r I(r) over [0, 1]).
#pragma once

#include <cmath>
#include <limits>

#include "models/concentric_disks.hpp"
#include "models/models.hpp"
#include "models/ring.hpp"
#include "models/uniform_disk.hpp"
#include "numeric/numdiff.hpp"
#include "numeric/quadrature.hpp"

namespace tessarin::models {

inline constexpr double QUADRATURE_TOLERANCE = 1e-16;

// Integral of h over the source, [0, 1]. With the lens inside the source
// (0 < l < 1) the integrands have a logarithmic singularity at r = l, which
// the rule converges on slowly in the interior; split there, the
// singularity sits at an end of both pieces, where the rule's node
// clustering absorbs it.
template <class H> double integrate_over_source(const H &h, double l, StopCheck stop = {}) {
  using quadrature::double_exponential::integrate;
  if (0 < l && l < 1) {
    const double inner = integrate(h, 0.0, l, QUADRATURE_TOLERANCE, stop).integral;
    const double outer = integrate(h, l, 1.0, QUADRATURE_TOLERANCE, stop).integral;
    return inner + outer;
  }
  return integrate(h, 0.0, 1.0, QUADRATURE_TOLERANCE, stop).integral;
}

// Rings of the source: the flux of the ring at radius r is magnified by the
// ring mean A(r), so the source is magnified by
// int I(r) 2 pi r A(r) dr / int I(r) 2 pi r dr. A failed ring magnification
// counts as 0 (non-finite integrand values are dropped by the rule).
template <class Profile>
Vector _integrated_heyrovsky_magnification(Vector l, double re, double rstar,
                                           const Profile &profile, double norm,
                                           StopCheck stop = {}) {
  const RingLens ring(re, rstar);
  Vector out;
  out.reserve(l.size());
  for (const double li : l) {
    if (stop()) return out;
    const auto h = [&](double r) {
      const auto a = ring(li, r);
      const double A = a ? a.value() : std::numeric_limits<double>::quiet_NaN();
      return profile(r) * ((TWO_PI * r) * A);
    };
    out.push_back(integrate_over_source(h, li, stop) / norm);
  }
  return out;
}

// Concentric uniform disks: with A(r) the magnification of the disk of
// radius r, the annulus between r and r + dr receives
// pi d/dr[r^2 A(r)] dr = 2 pi r (A + (r/2) dA/dr) dr of magnified flux, the
// derivative taken by a central difference.
template <class Profile>
Result<Vector> _integrated_witt_mao_magnification(Vector l, double re, double rstar,
                                                  const Profile &profile, double norm,
                                                  StopCheck stop = {}) {
  using numdiff::central_difference::derivative::scalar_valued::sderivative;
  auto whole = witt_mao_magnification(l, re, rstar, stop);
  if (!whole) return whole.failure();
  const double rho = rstar / re;
  // A point source has no disks to integrate over: NaN, as for the whole
  // disk.
  if (rho == 0) return std::move(whole).value();
  const Vector &m = whole.value();

  Vector out;
  out.reserve(l.size());
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (stop()) return out;
    const ConcentricDisks A(l[i], rho, m[i]);
    const auto h = [&](double r) {
      const double a = A(r);
      const double D = sderivative(A, r);
      return profile(r) * ((TWO_PI * r) * (a + (0.5 * r) * D));
    };
    out.push_back(integrate_over_source(h, l[i], stop) / norm);
  }
  return out;
}

} // namespace tessarin::models
