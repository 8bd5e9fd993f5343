// The concentric disks of the fitting family's integral, several at once:
// the integrand's disk part at a batch of nodes, for the scalar code (one
// node at a time) and for the vector lanes (src/models/avx2/fspl.cpp). Every
// lane takes exactly the operations of the scalar code, in the same order,
// so both give the same bits; a lane whose Landen steps have converged keeps
// the values of its own last step while the others go on.
#pragma once

#include <cmath>
#include <cstddef>

#include "elliptic/bulirsch.hpp"
#include "math_constants.hpp"
#include "models/fspl/disk.hpp"
#include "models/uniform_disk.hpp"
#include "numeric/lanes.hpp"

namespace tessarin::models::fspl {

// cel_pair_sum over lanes (elliptic/bulirsch.hpp), the same steps per lane.
template <class V> V cel_pair_sum_lanes(V kc, V p1, V a1, V b1, V p2, V a2, V b2) noexcept {
  using lanes::select;
  using M = lanes::Mask<V>;
  V e = kc;
  V m = 1.0;
  p1 = lanes::sqrt(p1);
  b1 = b1 / p1;
  p2 = lanes::sqrt(p2);
  b2 = b2 / p2;
  M active = m == m; // every lane
  for (int pass = 0; pass < 64 && lanes::any(active); ++pass) {
    V f = a1;
    const V r1 = 1.0 / p1;
    const V na1 = a1 + b1 * r1;
    V g = e * r1;
    V nb1 = b1 + f * g;
    nb1 = nb1 + nb1;
    const V np1 = g + p1;

    f = a2;
    const V r2 = 1.0 / p2;
    const V na2 = a2 + b2 * r2;
    g = e * r2;
    V nb2 = b2 + f * g;
    nb2 = nb2 + nb2;
    const V np2 = g + p2;

    g = m;
    const V nm = kc + m;
    a1 = select(active, na1, a1);
    b1 = select(active, nb1, b1);
    p1 = select(active, np1, p1);
    a2 = select(active, na2, a2);
    b2 = select(active, nb2, b2);
    p2 = select(active, np2, p2);
    m = select(active, nm, m);
    active = active && (lanes::fabs(g - kc) > g * elliptic::bulirsch::CEL_AGREEMENT);
    V nkc = lanes::sqrt(e);
    nkc = nkc + nkc;
    kc = select(active, nkc, kc);
    e = select(active, kc * m, e);
  }
  // (b1 + a1 m) / (m (m + p1)) + (b2 + a2 m) / (m (m + p2)) over one divisor.
  const V m1 = m + p1, m2 = m + p2;
  return HALF_PI * (((b1 + a1 * m) * m2 + (b2 + a2 * m) * m1) / ((m * m1) * m2));
}

// disk_magnification over lanes, each lane with its own u and R, by the
// same operations in the same order. Lanes with the lens on the disk's limb
// are flagged in `limb`: the caller finishes them by the scalar code.
template <class V> V disk_magnification_lanes(V u, V R, lanes::Mask<V> &limb) noexcept {
  using lanes::select;
  using M = lanes::Mask<V>;
  const M centre = u == 0.0;
  const M far = u > DISK_SERIES_FROM_RADII * R;
  limb = (u == R) && !centre;
  V series = 0.0;
  if (lanes::any(far)) series = small_disk_mean_lanes<V>(u, R);
  V a = series;
  if (!lanes::all(far || centre)) {
    const V d = u - R;
    const V s = u + R;
    const V d2 = d * d;
    const V t = lanes::sqrt(d2 + 4.0);
    const V rs = 1.0 / s;
    const V rt = 1.0 / t;
    const V q = d * rs;
    const V nc = select(limb, V(1.0), q * q);
    const V kc = select(limb, V(1.0), lanes::fabs(q) * (lanes::sqrt(s * s + 4.0) * rt));
    const V R2 = R * R;
    const V w = rt / R2;
    const V p_term = ((1.0 + R2) * (d2 + d2)) * (w * rs);
    const V a_ek = (2.0 * (3.0 * R - u)) * w;
    const V b_ek = ((2.0 * d) * (d - 2.0 * s)) * (w * rs);
    const V S = cel_pair_sum_lanes<V>(kc, nc, p_term, p_term, V(1.0), a_ek, b_ek);
    a = select(far, series, S / PI);
  }
  if (lanes::any(centre)) a = select(centre, lanes::sqrt(R * R + 4.0) / R, a);
  return a;
}

// disk_magnification(u[i], R[i]) - 1 for `count` disks, a vector of lanes
// at a time (the same bits as the scalar code).
template <class V>
void disk_excesses(const double *u, const double *R, double *out, std::size_t count) noexcept {
  constexpr std::size_t W = lanes::width<V>;
  for (std::size_t i = 0; i < count; i += W) {
    const std::size_t n = count - i < W ? count - i : W;
    double uu[W], rr[W];
    for (std::size_t j = 0; j < W; ++j) {
      uu[j] = u[i + (j < n ? j : n - 1)];
      rr[j] = R[i + (j < n ? j : n - 1)];
    }
    lanes::Mask<V> limb;
    const V a = disk_magnification_lanes<V>(lanes::load<V>(uu), lanes::load<V>(rr), limb);
    double values[W];
    lanes::store(a - 1.0, values);
    for (std::size_t j = 0; j < n; ++j)
      out[i + j] = lanes::get(limb, j) ? disk_magnification(uu[j], rr[j]) - 1.0 : values[j];
  }
}

// The disk part of the integrand at the nodes mu (0 < mu < 1) of a batch:
//   out = (1 - mu^2) (A_disk(u, rho sqrt(1 - mu^2)) - 1) - g0,
// as disk_magnification computes A_disk, for `count` nodes. Lanes with the
// lens on a disk's limb are finished one by one by the scalar code.
template <class V>
void disk_excess(double u, double rho, double g0, const double *mu, double *out,
                 std::size_t count) noexcept {
  using lanes::select;
  constexpr std::size_t W = lanes::width<V>;
  for (std::size_t i = 0; i < count; i += W) {
    const std::size_t n = count - i < W ? count - i : W;
    double in[W];
    for (std::size_t j = 0; j < W; ++j)
      in[j] = mu[i + (j < n ? j : n - 1)];
    const V x = lanes::load<V>(in);
    const V r2 = (1.0 - x) * (1.0 + x);
    const V R = rho * lanes::sqrt(r2);
    lanes::Mask<V> limb;
    const V a = disk_magnification_lanes<V>(V(u), R, limb);
    double values[W];
    // A node that rounds onto the centre (r = 0) holds a disk of no area:
    // r^2 (A - 1) -> 0 there, where the formula would give 0 inf.
    lanes::store(select(r2 > 0.0, r2 * (a - 1.0), V(0.0)) - g0, values);
    for (std::size_t j = 0; j < n; ++j) {
      if (lanes::get(limb, j)) {
        const double r = (1.0 - in[j]) * (1.0 + in[j]);
        values[j] = r * (disk_magnification(u, rho * std::sqrt(r)) - 1.0) - g0;
      }
      out[i + j] = values[j];
    }
  }
}

} // namespace tessarin::models::fspl
