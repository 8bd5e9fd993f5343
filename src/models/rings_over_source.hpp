// The limb-darkened source as rings (Heyrovsky 2003), evaluated over lanes:
// the integrand of one separation at the points of a quadrature level, a
// vector's width of radii at a time. The double instantiation is the scalar
// code; the vector instantiations (models/avx2/) give every point the bits
// that it gives.
#pragma once

#include <cstddef>
#include <limits>
#include <span>

#include "math_constants.hpp"
#include "models/integrated.hpp"
#include "models/magnification_floor.hpp"
#include "models/ring.hpp"
#include "models/vector_paths.hpp"
#include "numeric/lanes.hpp"
#include "stop.hpp"

namespace tessarin::models {

// The ring mean for one point, out of line: the vector code gives it the
// lanes that leave the closed form, and keeps the inline scalar kernels out
// of the translation units built for other instruction sets.
Result<double> ring_mean_lane(const RingLens &ring, double l, double r) noexcept;

// I(r) 2 pi r A(r) for one separation l: a batch function for
// integrate_batches. A ring whose magnification fails gives NaN (the rule
// then counts the point as 0).
template <class V, class Profile> class RingFlux {
public:
  RingFlux(const RingLens &ring, double l, const Profile &profile) noexcept
      : ring_(ring), l_(l), profile_(profile) {}

  void operator()(const double *r, double *y, std::size_t n) const {
    lanes::over_lanes<V>(r, y, n, [this](V rv, const double *x) {
      const V A = magnification(rv, x);
      return profile_(rv) * ((TWO_PI * rv) * A);
    });
  }

private:
  V magnification(V r, const double *x) const {
    constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
    if constexpr (lanes::width<V> == 1) {
      const auto a = ring_(l_, r);
      return a ? a.value() : NaN;
    } else {
      lanes::Mask<V> special;
      V A = ring_.closed_form<V>(l_, r, special);
      if (lanes::any(special)) {
        for (std::size_t j = 0; j < lanes::width<V>; ++j) {
          if (!lanes::get(special, j)) continue;
          const auto a = ring_mean_lane(ring_, l_, x[j]);
          lanes::set(A, j, a ? a.value() : NaN);
        }
      }
      return A;
    }
  }

  const RingLens &ring_;
  double l_;
  const Profile &profile_;
};

// The flux-weighted mean ring magnification at each separation of l, into
// out[0 .. l.size()). Returns how many were computed: fewer when `stop`
// said stop (the results are then to be discarded).
template <class V, class Profile>
std::size_t rings_over_source(std::span<const double> l, const RingLens &ring,
                              const Profile &profile, double norm, std::span<const double> jumps,
                              StopCheck stop, double *out) {
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (stop()) return i;
    out[i] = mean_over_source(RingFlux<V, Profile>(ring, l[i], profile), l[i], norm, jumps, stop);
  }
  return l.size();
}

// Rings of the source: the flux of the ring at radius r is magnified by the
// ring mean A(r), so the source is magnified by
// int I(r) 2 pi r A(r) dr / int I(r) 2 pi r dr. A failed ring magnification
// counts as 0 (non-finite integrand values are dropped by the rule), unless
// every one fails: then the result is NaN. On the vector path where the
// processor has one.
template <class Profile>
Vector _integrated_heyrovsky_magnification(Vector l, double re, double rstar,
                                           const Profile &profile, double norm,
                                           StopCheck stop = {}) {
  const RingLens ring(re, rstar);
  const auto jumps = jumps_of(profile);
  Vector out(l.size());
  std::size_t done = 0;
  bool vector = false;
  if constexpr (avx2::BUILT) {
    vector = avx2::available();
    if (vector) done = avx2::rings_over_source(l, ring, profile, norm, jumps, stop, out.data());
  }
  if (!vector) done = rings_over_source<double>(l, ring, profile, norm, jumps, stop, out.data());
  out.resize(done);
  // Only eta^2 enters the ring means, whatever the signs of re and rstar.
  if (non_negative(profile)) at_least_one(out);
  return out;
}

} // namespace tessarin::models
