// Magnification of a source with a radial brightness profile I(r), r in
// source radii: the flux-weighted mean of a magnification over the face of
// the source, integrated by the double-exponential rule and divided by the
// profile's normalisation (the integral of 2 pi r I(r) over [0, 1]).
#pragma once

#include <cmath>
#include <limits>
#include <span>

#include "models/concentric_disks.hpp"
#include "models/models.hpp"
#include "models/ring.hpp"
#include "models/uniform_disk.hpp"
#include "numeric/numdiff.hpp"
#include "numeric/quadrature.hpp"

namespace tessarin::models {

inline constexpr double QUADRATURE_TOLERANCE = 1e-16;

// The integral over [0, 1] of the function that `batch` evaluates (see
// integrate_batches) as a sum of pieces, cut at `cuts` (sorted, distinct,
// inside (0, 1)) and at l when 0 < l < 1. The rule converges slowly across a
// jump or a singularity inside an interval, and quickly on one at an end,
// where its nodes cluster. The pieces are added left to right; with no cuts
// this is the rule over [0, 1], or over [0, l] plus [l, 1].
template <class Batch>
double integrate_batches_in_pieces(const Batch &batch, std::span<const double> cuts, double l,
                                   StopCheck stop = {}) {
  using quadrature::double_exponential::integrate_batches;
  double a = 0.0;
  double total = 0.0;
  bool first = true;
  const auto piece = [&](double b) {
    const double v = integrate_batches(batch, a, b, QUADRATURE_TOLERANCE, stop).integral;
    total = first ? v : total + v;
    first = false;
    a = b;
  };
  bool split_at_l = 0 < l && l < 1;
  for (const double c : cuts) {
    if (split_at_l && !(c < l)) {
      if (l < c) piece(l);
      split_at_l = false;
    }
    piece(c);
  }
  if (split_at_l) piece(l);
  piece(1.0);
  return total;
}

// The same for f, a function of one double.
template <class F>
double integrate_in_pieces(const F &f, std::span<const double> cuts, double l,
                           StopCheck stop = {}) {
  return integrate_batches_in_pieces(quadrature::double_exponential::one_by_one(f), cuts, l, stop);
}

// The integral of h over the source divided by norm: the flux-weighted mean
// magnification; `batch` evaluates h (see integrate_batches). With the lens
// inside the source (0 < l < 1) the integrands have a logarithmic
// singularity at r = l, so the integral is split there; it is also split
// where the profile jumps (`cuts`).
//
// The rule counts a non-finite integrand value as 0, so that a node where
// the magnification fails darkens the source a little instead of spoiling
// the sum. When no node at all has a finite value (a NaN or infinite
// separation, a source of radius 0) there is no magnification to speak of,
// and the mean is NaN rather than a 0 that a fit would take at its word.
// The values pass to the rule unchanged: only this flag is added, and a
// mean that is NaN already (an empty table: 0 / 0) is left as it is.
template <class Batch>
double mean_over_source(const Batch &batch, double l, double norm, std::span<const double> cuts,
                        StopCheck stop = {}) {
  bool any_finite = false;
  const auto g = [&](const double *x, double *y, std::size_t n) {
    batch(x, y, n);
    for (std::size_t i = 0; i < n; ++i)
      any_finite = any_finite || std::isfinite(y[i]);
  };
  const double mean = integrate_batches_in_pieces(g, cuts, l, stop) / norm;
  return any_finite || std::isnan(mean) ? mean : std::numeric_limits<double>::quiet_NaN();
}

// The radii inside (0, 1) where a profile jumps: none for a smooth law.
template <class Profile> std::span<const double> jumps_of(const Profile &profile) noexcept {
  if constexpr (requires { profile.jumps(); }) {
    return profile.jumps();
  } else {
    return {};
  }
}

// Whether the brightness is nowhere negative, so that the mean is one of
// magnifications and 1 at least: always for a law, per table for a
// tabulated profile.
template <class Profile> bool non_negative(const Profile &profile) noexcept {
  if constexpr (requires { profile.non_negative(); }) {
    return profile.non_negative();
  } else {
    return true;
  }
}

} // namespace tessarin::models
