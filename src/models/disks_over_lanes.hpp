// The uniform disk (Witt & Mao 1994) over lanes: the separations of a list a
// vector's width at a time, and the concentric disks of the limb-darkened
// source at the points of a quadrature level. The double instantiations are
// the scalar code; the vector instantiations (models/avx2/) give every value
// the bits that they give.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <utility>

#include "math_constants.hpp"
#include "models/concentric_disks.hpp"
#include "models/integrated.hpp"
#include "models/magnification_floor.hpp"
#include "models/models.hpp"
#include "models/uniform_disk.hpp"
#include "models/vector_paths.hpp"
#include "numeric/lanes.hpp"
#include "numeric/numdiff.hpp"
#include "stop.hpp"

namespace tessarin::models {

// witt_mao_magnification before its values are held at 1 or more
// (models/magnification_floor.hpp): the concentric-disk integrals take the
// whole source's magnification as it is computed.
Result<Vector> uniform_disk_magnification(Vector l, double re, double rstar, StopCheck stop);

// One point by the scalar code, out of line: the vector code gives it the
// lanes that leave the closed form, and keeps the inline scalar kernels out
// of the translation units built for other instruction sets.
Result<double> uniform_disk_lane(const UniformDisk &disk, double x, double u) noexcept;
double concentric_disk_lane(const ConcentricDisks &disks, double r) noexcept;

// The magnification of the disk of radius rho at each separation of l
// (source radii) into out[0 .. l.size()); the first failure ends the
// computation with its message. `done` says how many were computed: fewer
// when `stop` said stop (the results are then to be discarded).
template <class V>
const char *disk_at_separations(std::span<const double> l, double rho, StopCheck stop, double *out,
                                std::size_t &done) {
  constexpr std::size_t W = lanes::width<V>;
  const BasicUniformDisk<V> disk(rho);
  const UniformDisk one(rho);
  for (std::size_t i = 0; i < l.size(); i += W) {
    const std::size_t count = std::min(W, l.size() - i);
    for (std::size_t j = 0; j < count; ++j) {
      if (stop.every(4096)) {
        done = i;
        return nullptr;
      }
    }
    if constexpr (W == 1) {
      const auto a = one.at(l[i], l[i] * rho);
      if (!a) return a.error();
      out[i] = a.value();
    } else {
      // A last, partial vector repeats its last separation.
      double x[W];
      for (std::size_t j = 0; j < W; ++j)
        x[j] = l[i + std::min(j, count - 1)];
      const V xv = lanes::load<V>(x);
      lanes::Mask<V> special;
      V a = disk.closed_form(xv, xv * rho, special);
      for (std::size_t j = 0; j < count && lanes::any(special); ++j) {
        if (!lanes::get(special, j)) continue;
        const auto s = uniform_disk_lane(one, x[j], x[j] * rho);
        if (!s) return s.error();
        lanes::set(a, j, s.value());
      }
      double y[W];
      lanes::store(a, y);
      std::copy(y, y + count, out + i);
    }
  }
  done = l.size();
  return nullptr;
}

// Concentric uniform disks: with A(r) the magnification of the disk of
// radius r, the annulus between r and r + dr receives
// pi d/dr[r^2 A(r)] dr = 2 pi r (A + (r/2) dA/dr) dr of magnified flux, the
// derivative taken by a central difference with the step
// s = (|r| + 1) cbrt(eps) of numdiff::sderivative, upper point first.
// A batch function for integrate_batches.
template <class V, class Profile> class DiskFlux {
public:
  DiskFlux(const ConcentricDisks &disks, const Profile &profile, double cbrt_eps) noexcept
      : disks_(disks), profile_(profile), cbrt_eps_(cbrt_eps) {}

  void operator()(const double *r, double *y, std::size_t n) const {
    lanes::over_lanes<V>(r, y, n, [this](V rv, const double *) {
      const V s = (lanes::fabs(rv) + 1.0) * cbrt_eps_;
      const V a = disk(rv);
      const V upper = disk(s + rv);
      const V lower = disk(rv - s);
      const V D = (upper - lower) / (s + s);
      return profile_(rv) * ((TWO_PI * rv) * (a + (0.5 * rv) * D));
    });
  }

private:
  V disk(V r) const {
    if constexpr (lanes::width<V> == 1) {
      return disks_(r);
    } else {
      lanes::Mask<V> special;
      V a = disks_.at_lanes(r, special);
      if (lanes::any(special)) {
        for (std::size_t j = 0; j < lanes::width<V>; ++j)
          if (lanes::get(special, j))
            lanes::set(a, j, concentric_disk_lane(disks_, lanes::get(r, j)));
      }
      return a;
    }
  }

  const ConcentricDisks &disks_;
  const Profile &profile_;
  double cbrt_eps_;
};

// The flux-weighted mean of the concentric disks at each separation of l,
// `whole` holding the magnification of the whole source there, into
// out[0 .. l.size()). Returns how many were computed: fewer when `stop` said
// stop (the results are then to be discarded).
template <class V, class Profile>
std::size_t disks_over_source(std::span<const double> l, double rho, std::span<const double> whole,
                              const Profile &profile, double norm, std::span<const double> jumps,
                              double cbrt_eps, StopCheck stop, double *out) {
  for (std::size_t i = 0; i < l.size(); ++i) {
    if (stop()) return i;
    const ConcentricDisks disks(l[i], rho, whole[i]);
    out[i] =
        mean_over_source(DiskFlux<V, Profile>(disks, profile, cbrt_eps), l[i], norm, jumps, stop);
  }
  return l.size();
}

// The limb-darkened source as concentric uniform disks, on the vector path
// where the processor has one. A point source has no disks to integrate
// over: NaN, as for the whole disk.
template <class Profile>
Result<Vector> _integrated_witt_mao_magnification(Vector l, double re, double rstar,
                                                  const Profile &profile, double norm,
                                                  StopCheck stop = {}) {
  auto whole = uniform_disk_magnification(l, re, rstar, stop);
  if (!whole) return whole.failure();
  const double rho = rstar / re;
  if (rho == 0) return std::move(whole).value();
  const Vector &m = whole.value();
  const auto jumps = jumps_of(profile);
  const double cbrt_eps = numdiff::constants::CBRT_EPS;
  // witt_mao_magnification returns early only when told to stop.
  const std::span<const double> ls(l.data(), m.size());
  Vector out(m.size());
  std::size_t done = 0;
  bool vector = false;
  if constexpr (avx2::BUILT) {
    vector = avx2::available();
    if (vector)
      done = avx2::disks_over_source(ls, rho, m, profile, norm, jumps, cbrt_eps, stop, out.data());
  }
  if (!vector)
    done = disks_over_source<double>(ls, rho, m, profile, norm, jumps, cbrt_eps, stop, out.data());
  out.resize(done);
  if (rho > 0 && non_negative(profile)) at_least_one(out);
  return out;
}

} // namespace tessarin::models
