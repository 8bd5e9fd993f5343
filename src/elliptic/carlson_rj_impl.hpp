// Carlson's symmetric integral of the third kind RJ.
//
// Duplication and series after B. C. Carlson, "Numerical computation of real
// or complex elliptic integrals", Numer. Algorithms 10 (1995) 13-26 (DLMF
// 19.36.2), with the sum of RC terms written as RC(1, 1 + e); reductions to
// RC and RD for equal arguments from DLMF 19.20; the Cauchy principal value
// for p < 0 from DLMF 19.20.14.
#pragma once

#include <cmath>
#include <cstddef>
#include <utility>

#include "elliptic/carlson.hpp"
#include "elliptic/carlson_impl.hpp"
#include "elliptic/constants.hpp"
#include "numeric/lanes.hpp"

namespace tessarin::carlson {

namespace internal {

inline constexpr const char *RJ_DOMAIN =
    "elliprj: x, y, and z must be non-negative, and at most one can be zero.";

inline constexpr double RJ_FACTOR = 110.67925377307274; // (eps/5)^(-1/8)
inline constexpr int RJ_MAX_PASSES = 100;

// RC(1, 1 + e) for the terms of the duplication sum, in closed form
// (DLMF 19.2(iv)).
inline Result<double> rc_one_plus(double e) {
  if (e < -1) {
    // 1 + e < 0: principal value, RC(1, 1 + e) = sqrt(-1/e) RC(-e, -1 - e).
    const Result<double> r = elliprc(-e, -1 - e);
    if (!r.ok()) return r;
    return std::sqrt((-1) / e) * r.value();
  }
  if (e == 0) return 1.0;
  if (e > 0) {
    const double s = std::sqrt(e);
    return std::atan(s) / s;
  }
  const double s = std::sqrt(-e);
  // artanh(s)/s by log1p while s = sqrt(-e) < 0.71, as in elliprc; beyond,
  // the plain logarithm of a number of at least 1 + sqrt(2).
  if (e > -0.5) return (std::log1p(s) - std::log1p(-s)) / (s + s);
  return std::log((s + 1) / std::sqrt(e + 1)) / s;
}

} // namespace internal

inline Result<double> elliprj(double x, double y, double z, double p) {
  using internal::max_number, internal::min_number;
  if (min_number(min_number(x, y), z) < 0) return Failure{internal::RJ_DOMAIN};
  if (min_number(min_number(x + y, y + z), x + z) == 0) return Failure{internal::RJ_DOMAIN};
  if (p == 0) return Failure{"elliprj: p must be non-zero"};

  if (x == y && x == z) {
    if (x == p) return 1 / (std::sqrt(x) * x);
    // RJ(x, x, x, p) = 3 (RC(x, p) - 1/sqrt(x)) / (x - p).
    const Result<double> r = elliprc(x, p);
    if (!r.ok()) return r;
    return ((-1) / std::sqrt(x) + r.value()) * (3 / (x - p));
  }
  // Keep an equal pair in (y, z).
  if (x == y) std::swap(x, z);
  if (y == z) {
    if (y == p) return elliprd(x, y, y);
    // RJ(x, y, y, p) = 3 (RC(x, y) - RC(x, p)) / (p - y), used only where the
    // difference does not cancel badly: the two values differ by a fraction
    // of order |p - y|/y, so the difference magnifies their rounding by about
    // y/|p - y| (10 at a ratio of 1.2, more for x much above y). At a ratio
    // of 1.2 or less the duplication takes over, whose error does not grow.
    if (max_number(y, p) / min_number(y, p) > 1.2) {
      const Result<double> r1 = elliprc(x, y);
      if (!r1.ok()) return r1;
      const Result<double> r2 = elliprc(x, p);
      if (!r2.ok()) return r2;
      return (r1.value() - r2.value()) * (3 / (p - y));
    }
  }
  if (z == p) return elliprd(x, y, z);

  if (0 > p) {
    // Cauchy principal value (DLMF 19.20.14) with the largest argument zs in
    // the distinguished place: (zs - p) RJ(p) = (q - zs) RJ(q) - 3 RF
    //   + 3 sqrt(xs ys zs / (xs ys - p q)) RC(xs ys - p q, -p q), q > 0.
    // A NaN leaves a pair in place.
    if (y < x) std::swap(x, y);
    if (z < y) std::swap(y, z);
    if (y < x) std::swap(x, y);
    const double P = x * y;
    const double q = (((x + y) - p) * z - P) / (z - p);
    const Result<double> rj = elliprj(x, y, z, q);
    if (!rj.ok()) return rj;
    const Result<double> rf = elliprf(x, y, z);
    if (!rf.ok()) return rf;
    const double pq = (-p) * q;
    const Result<double> rc = elliprc(P + pq, pq);
    if (!rc.ok()) return rc;
    return ((3 * std::sqrt((P * z) / (P + pq))) * rc.value() +
            ((q - z) * rj.value() - 3 * rf.value())) /
           (z - p);
  }
  return _elliprj(x, y, z, p);
}

namespace internal {

// The term RC(1, 1 + e) of the duplication sum, for one lane. Near e = -1
// the argument 1 + e cancels; there d (1 + e) equals
// 2 rp (p + rx ry + ry rz + rz rx) exactly, which has no difference, and the
// caller passes b = 1 + e formed that way. Outside this window
// |1 + e| > 0.5, so 1 + e magnifies the rounding of e by at most
// |e|/|1 + e| <= 3; inside, that factor grows without bound, and b
// replaces it.
inline Result<double> rj_sum_term(double e, double b) {
  if (-0.5 > e && e > -1.5) return elliprc(1, b);
  return rc_one_plus(e);
}
// The same, out of line, for the vector code: its lanes call the scalar
// term one by one (the mathematics library's atan and logarithms are
// scalar), and a call compiled once, for the baseline instruction set,
// keeps the inline scalar kernels out of the vector translation units.
Result<double> rj_sum_term_lane(double e, double b);
template <class V> Result<double> rj_sum_term_of_lane(double e, double b) {
  if constexpr (lanes::width<V> == 1) {
    return rj_sum_term(e, b);
  } else {
    return rj_sum_term_lane(e, b);
  }
}

// A lane computation that may fail: the value, the lanes that failed, and
// the message of a failure (the first one met, for the double
// instantiation, which stops there).
template <class V> struct LaneResult {
  V value;
  lanes::Mask<V> failed;
  const char *message;
};

// RJ(x, y, z, p) by duplication and series for the lanes in `active` (the
// others are left alone and reported failed): the algorithm of _elliprj,
// every lane taking as many passes as it would alone.
template <class V> LaneResult<V> rj_duplication(V x, V y, V z, V p, lanes::Mask<V> active) {
  using lanes::select;
  using M = lanes::Mask<V>;
  const V a0 = ((p + p) + ((x + y) + z)) / 5;
  // delta = (p - x)(p - y)(p - z), scaled by 4^-3 each pass with the
  // arguments, gives e = delta / d^2 without differences of the moving values.
  V delta = (p - z) * ((p - y) * (p - x));
  const V Q = max_number(max_number(max_number(lanes::fabs(a0 - x), lanes::fabs(a0 - y)),
                                    lanes::fabs(a0 - z)),
                         lanes::fabs(a0 - p)) *
              RJ_FACTOR;
  V xk = x, yk = y, zk = z, pk = p;
  V a = a0;
  V f = 1.0; // 4^(-k)
  V sum = 0.0;
  M converged = false;
  const char *message = nullptr;
  for (int pass = 0; pass < RJ_MAX_PASSES && lanes::any(active); ++pass) {
    const V rx = lanes::sqrt(xk);
    const V ry = lanes::sqrt(yk);
    const V rz = lanes::sqrt(zk);
    const V rp = lanes::sqrt(pk);
    const V d = (rz + rp) * ((rx + rp) * (ry + rp));
    const V e = delta / (d * d);
    V b = 0.0;
    if (lanes::any(active && (-0.5 > e) && (e > -1.5)))
      b = ((pk + (ry + rz) * rx) + rz * ry) * (rp + rp) / d;
    V r = 0.0;
    for (std::size_t i = 0; i < lanes::width<V>; ++i) {
      if (!lanes::get(active, i)) continue;
      const Result<double> rc = rj_sum_term_of_lane<V>(lanes::get(e, i), lanes::get(b, i));
      if (rc.ok()) {
        lanes::set(r, i, rc.value());
      } else {
        lanes::set(active, i, false);
        if (message == nullptr) message = rc.error();
      }
    }
    // One lane alone leaves the loop at once, as the scalar algorithm does
    // (and the selects below fold away).
    if constexpr (lanes::width<V> == 1) {
      if (!active) break;
    }
    sum = select(active, sum + (f / d) * r, sum);
    const V lambda = (rx * ry + rx * rz) + ry * rz;
    a = select(active, (a + lambda) * 0.25, a);
    f = select(active, f * 0.25, f);
    const M done = active && (a > Q * f);
    converged = converged || done;
    active = active && !done;
    if constexpr (lanes::width<V> == 1) {
      if (!active) break;
    }
    xk = select(active, (xk + lambda) * 0.25, xk);
    yk = select(active, (yk + lambda) * 0.25, yk);
    zk = select(active, (zk + lambda) * 0.25, zk);
    pk = select(active, (pk + lambda) * 0.25, pk);
    delta = select(active, delta * 0.015625, delta);
  }
  const M failed = !converged;
  if (message == nullptr && lanes::any(failed)) message = "elliprj: Fail to converge";

  // Series of DLMF 19.36.2 with X + Y + Z + 2P = 0.
  const V X = ((a0 - x) * f) / a;
  const V Y = ((a0 - y) * f) / a;
  const V Z = ((a0 - z) * f) / a;
  const V P = (((-X) - Y) - Z) * 0.5;
  const V XY = X * Y;
  const V XYZ = Z * XY;
  const V P2 = P * P;
  const V P3 = P * P2;
  const V E2 = ((X * Z + XY) + Z * Y) - P2 * 3;
  const V E3 = 4 * P3 + ((E2 + E2) * P + XYZ);
  const V E4 = (P3 * 3 + (P * E2 + (XYZ + XYZ))) * P;
  const V E5 = P2 * XYZ;
  // The series that RD uses, with these E-terms. Where RD's sum writes
  // (-3) E4 / 22 and (E3 3) E3, this one was written (E4 3) / (-22) and
  // (3 E3) E3: negation and a commuted product round identically.
  const V W = lanes::map([](double v) { return std::pow(v, -1.5); }, a) * f;
  return LaneResult<V>{sum * 6 + rd_rj_series(E2, E3, E4, E5) * W, failed, message};
}

} // namespace internal

inline Result<double> _elliprj(double x, double y, double z, double p) {
  const internal::LaneResult<double> r = internal::rj_duplication<double>(x, y, z, p, true);
  if (r.failed) return Failure{r.message};
  return r.value;
}

} // namespace tessarin::carlson
