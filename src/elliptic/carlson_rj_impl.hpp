// Carlson's symmetric integral of the third kind RJ.
//
// Duplication and series after B. C. Carlson, "Numerical computation of real
// or complex elliptic integrals", Numer. Algorithms 10 (1995) 13-26 (DLMF
// 19.36.2), with the sum of RC terms written as RC(1, 1 + e); reductions to
// RC and RD for equal arguments from DLMF 19.20; the Cauchy principal value
// for p < 0 from DLMF 19.20.14.
#pragma once

#include <cmath>
#include <utility>

#include "elliptic/carlson.hpp"
#include "elliptic/carlson_impl.hpp"
#include "elliptic/constants.hpp"

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

inline Result<double> _elliprj(double x, double y, double z, double p) {
  const double a0 = ((p + p) + ((x + y) + z)) / 5;
  // delta = (p - x)(p - y)(p - z), scaled by 4^-3 each pass with the
  // arguments, gives e = delta / d^2 without differences of the moving values.
  double delta = (p - z) * ((p - y) * (p - x));
  const double Q =
      internal::max_number(
          internal::max_number(internal::max_number(std::fabs(a0 - x), std::fabs(a0 - y)),
                               std::fabs(a0 - z)),
          std::fabs(a0 - p)) *
      internal::RJ_FACTOR;
  double xk = x, yk = y, zk = z, pk = p;
  double a = a0;
  double f = 1; // 4^(-k)
  double sum = 0;
  bool converged = false;
  for (int pass = 0; pass < internal::RJ_MAX_PASSES; ++pass) {
    const double rx = std::sqrt(xk);
    const double ry = std::sqrt(yk);
    const double rz = std::sqrt(zk);
    const double rp = std::sqrt(pk);
    const double d = (rz + rp) * ((rx + rp) * (ry + rp));
    const double e = delta / (d * d);
    double r;
    if (-0.5 > e && e > -1.5) {
      // Near e = -1 the argument 1 + e cancels; d (1 + e) equals
      // 2 rp (p + rx ry + ry rz + rz rx) exactly, which has no difference.
      // Outside this window |1 + e| > 0.5, so 1 + e magnifies the rounding
      // of e by at most |e|/|1 + e| <= 3; inside, that factor grows without
      // bound, and b replaces it.
      const double b = ((pk + (ry + rz) * rx) + rz * ry) * (rp + rp) / d;
      const Result<double> rc = elliprc(1, b);
      if (!rc.ok()) return rc;
      r = rc.value();
    } else {
      const Result<double> rc = internal::rc_one_plus(e);
      if (!rc.ok()) return rc;
      r = rc.value();
    }
    sum = sum + (f / d) * r;
    const double lambda = (rx * ry + rx * rz) + ry * rz;
    a = (a + lambda) * 0.25;
    f = f * 0.25;
    if (a > Q * f) {
      converged = true;
      break;
    }
    xk = (xk + lambda) * 0.25;
    yk = (yk + lambda) * 0.25;
    zk = (zk + lambda) * 0.25;
    pk = (pk + lambda) * 0.25;
    delta = delta * 0.015625;
  }
  if (!converged) return Failure{"elliprj: Fail to converge"};

  // Series of DLMF 19.36.2 with X + Y + Z + 2P = 0.
  const double X = ((a0 - x) * f) / a;
  const double Y = ((a0 - y) * f) / a;
  const double Z = ((a0 - z) * f) / a;
  const double P = (((-X) - Y) - Z) * 0.5;
  const double XY = X * Y;
  const double XYZ = Z * XY;
  const double P2 = P * P;
  const double P3 = P * P2;
  const double E2 = ((X * Z + XY) + Z * Y) - P2 * 3;
  const double E3 = 4 * P3 + ((E2 + E2) * P + XYZ);
  const double E4 = (P3 * 3 + (P * E2 + (XYZ + XYZ))) * P;
  const double E5 = P2 * XYZ;
  // The series that RD uses, with these E-terms. Where RD's sum writes
  // (-3) E4 / 22 and (E3 3) E3, this one was written (E4 3) / (-22) and
  // (3 E3) E3: negation and a commuted product round identically.
  const double W = std::pow(a, -1.5) * f;
  return sum * 6 + internal::rd_rj_series(E2, E3, E4, E5) * W;
}

} // namespace tessarin::carlson
