// Carlson's symmetric integrals RC, RF and RD.
//
// Duplication and truncated series after B. C. Carlson, "Numerical
// computation of real or complex elliptic integrals", Numer. Algorithms 10
// (1995) 13-26 (also DLMF 19.36.1 and 19.36.2); elementary forms of RC from
// DLMF 19.2(iv); special values from DLMF 19.20; the complete cases
// with one zero argument by the arithmetic-geometric mean (DLMF 19.8, 19.22).
//
// Every expression keeps the operation order of the formulas it comes from
// (one rounding per operation, chains left to right): the results are meant
// to be reproducible to the last bit apart from libm's log, log1p, atan and
// pow.
#pragma once

#include <cmath>
#include <limits>
#include <utility>

#include "elliptic/carlson.hpp"
#include "elliptic/constants.hpp"
#include "numeric/lanes.hpp"

namespace tessarin::carlson {

namespace internal {

// std::fmin and std::fmax without the call into the mathematics library: the
// smaller (larger) of a and b, the other one where one is NaN, NaN where both
// are. Which of two zeros comes back is unspecified for the library functions
// too; every use below either compares the result with a number or takes it
// of absolute values, so the sign of a zero never shows. Over lanes (see
// numeric/lanes.hpp) as well as on one double.
template <class V> V min_number(V a, V b) noexcept {
  return lanes::select((b < a) || (a != a), b, a);
}
template <class V> V max_number(V a, V b) noexcept {
  return lanes::select((b > a) || (a != a), b, a);
}

inline constexpr const char *RF_DOMAIN =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
inline constexpr const char *RD_DOMAIN =
    "elliprd: x and y must be non-negative, and at most one can be zero.";

// Duplication bounds: Q = max deviation times r^(-1/8), the eighth root
// matching the truncation after the degree-7 terms of the series.
inline constexpr double RF_FACTOR = 78.8959690786408;   // (3 eps)^(-1/8)
inline constexpr double RD_FACTOR = 107.63474115247546; // (eps/4)^(-1/8)
// Pass caps: each pass divides the spread of the arguments by about 4, and
// the caps keep the loops finite for every input, NaN included. Measured on
// these loops: RF's 11 passes run out only when two arguments are about
// 1e-245 of the third, RD's 50 when z is about 1e307 times x and y, RJ's 100
// (below) at a spread of about 1e59 (4^100 = 1.6e60); beyond, the function
// returns its failure to converge.
inline constexpr int RF_MAX_PASSES = 11;
inline constexpr int RD_MAX_PASSES = 50;

// pi / (2 M(sqrt(a), sqrt(b))) = RF(0, a, b) (DLMF 19.22.1). The loop ends by
// its own test: quadratic convergence, and a NaN fails the test at once.
// Kept out of line: inlined into a caller that GCC judges cold (it predicts
// the x == 0 test false), the roots became calls into the mathematics
// library, which keeps errno; out of line they are single instructions.
//
// Over lanes, each lane leaves the loop at its own test and keeps the means
// it had there.
//
// A zero argument has the mean 0 and RF = +inf; the loop would never end on
// it (the larger mean halves towards 0 and the test keeps holding), so such
// a lane does not enter it. No caller passes one (elliprf takes other roads
// there, and the vector code gives lanes it does not need a harmless
// argument); the guard keeps a future caller from hanging.
template <class V> [[gnu::noinline]] V rf_agm(V a, V b) {
  V u = lanes::sqrt(a);
  V v = lanes::sqrt(b);
  const lanes::Mask<V> zero = (a == 0.0) || (b == 0.0);
  lanes::Mask<V> active = !zero && (lanes::fabs(u - v) >= lanes::fabs(u) * detail::AGM_TOLERANCE);
  while (lanes::any(active)) {
    const V mean = (u + v) * 0.5;
    v = lanes::select(active, lanes::sqrt(v * u), v);
    u = lanes::select(active, mean, u);
    active = active && (lanes::fabs(u - v) >= lanes::fabs(u) * detail::AGM_TOLERANCE);
  }
  return lanes::select(zero, std::numeric_limits<double>::infinity(), detail::PI / (v + u));
}

// Carlson's series for RD and RJ (DLMF 19.36.2), truncated after the
// degree-7 terms: 1 - 3E2/14 + E3/6 + 9E2^2/88 - 3E4/22 - 9E2E3/52 + 3E5/26
// - E2^3/16 + 3E3^2/40 + 3E2E4/20 + 45E2^2E3/272 - 9(E3E4 + E2E5)/68, each
// term added to the running sum in this order. RD and RJ differ only in how
// they form E2 to E5.
template <class V> [[gnu::always_inline]] inline V rd_rj_series(V E2, V E3, V E4, V E5) noexcept {
  V T = (E2 * 3) / (-14) + 1;
  T = T + E3 / 6;
  T = T + (E2 * (E2 * 9)) / 88;
  T = T + ((-3) * E4) / 22;
  T = T + ((E2 * 9) * E3) / (-52);
  T = T + (E5 * 3) / 26;
  T = T + ((E2 * E2) * E2) * (-0.0625);
  T = T + ((E3 * 3) * E3) / 40;
  T = T + ((E2 * 3) * E4) / 20;
  T = T + (((45 * E2) * E2) * E3) / 272;
  T = T + ((E5 * E2 + E4 * E3) * 9) / (-68);
  return T;
}

} // namespace internal

inline Result<double> elliprc(double x, double y) {
  if (x < 0) return Failure{"elliprc: x must be non-negative."};
  if (y == 0) return Failure{"elliprc: y must be non-zero."};
  // Cauchy principal value for y < 0: RC(x, -y) = sqrt(x/(x+y)) RC(x+y, y)
  // (DLMF 19.2(iv)).
  // y < -y is y < 0 for every y that gets here (zero is rejected above, a
  // NaN fails both forms); kept as written.
  double c = 1;
  if (y < -y) {
    c = std::sqrt(x / (x - y));
    x = x - y;
  }
  y = std::fabs(y);

  if (x == 0) return (c * detail::HALF_PI) / std::sqrt(y);
  if (x == y) return c / std::sqrt(x);
  if (y > x) {
    // arctan form (DLMF 19.2(iv)).
    const double d = y - x;
    return (c * std::atan(std::sqrt(d / x))) / std::sqrt(d);
  }
  if (y / x > 0.5) {
    // artanh(s)/sqrt(d) with artanh by log1p: no cancellation for y near x.
    // Above 0.5, s = sqrt(1 - y/x) < 0.71, where the logarithm of the form
    // below would take the log of a number near 1; at or below 0.5 that
    // number is at least 1 + sqrt(2) and the plain logarithm is accurate.
    const double d = x - y;
    const double s = std::sqrt(d / x);
    const double sd = std::sqrt(d);
    return (c * (std::log1p(s) - std::log1p(-s))) / (sd + sd);
  }
  // Logarithmic form (DLMF 19.2(iv)); also the NaN path.
  const double t = std::sqrt(x - y);
  return (c * std::log((std::sqrt(x) + t) / std::sqrt(y))) / t;
}

inline Result<double> elliprf(double x, double y, double z) {
  using internal::max_number, internal::min_number;
  if (min_number(min_number(x, y), z) < 0) return Failure{internal::RF_DOMAIN};
  if (min_number(min_number(x + y, y + z), x + z) == 0) return Failure{internal::RF_DOMAIN};

  // Two or three equal arguments: RF(x, x, x) and RF(0, y, y) in closed form
  // (DLMF 19.20.1), otherwise RF(x, y, y) = RC(x, y) (DLMF 19.16).
  if (x == y) {
    if (x == z) return 1 / std::sqrt(x);
    if (z == 0) {
      const double sx = std::sqrt(x);
      return detail::PI / (sx + sx);
    }
    return elliprc(z, x);
  }
  if (x == z) {
    if (y == 0) {
      const double sx = std::sqrt(x);
      return detail::PI / (sx + sx);
    }
    return elliprc(y, x);
  }
  if (y == z) {
    if (x == 0) {
      const double sy = std::sqrt(y);
      return detail::PI / (sy + sy);
    }
    return elliprc(x, y);
  }

  if (x == 0) return internal::rf_agm<double>(z, y);
  if (y == 0) return internal::rf_agm<double>(x, z);
  if (z == 0) return internal::rf_agm<double>(x, y);

  // Duplication (Carlson 1995, algorithm for RF).
  const double a0 = ((x + y) + z) / 3;
  const double q0 =
      max_number(max_number(max_number(std::fabs(a0), std::fabs(a0 - x)), std::fabs(a0 - y)),
                 std::fabs(a0 - z)) *
      internal::RF_FACTOR;
  double xk = x, yk = y, zk = z;
  double a = a0;
  double q = q0;
  double g = 1; // 4^k after k passes, exact
  bool converged = false;
  for (int pass = 0; pass < internal::RF_MAX_PASSES; ++pass) {
    const double sx = std::sqrt(xk);
    const double sy = std::sqrt(yk);
    const double sz = std::sqrt(zk);
    const double lambda = (sx * sy + sx * sz) + sy * sz;
    a = (a + lambda) * 0.25;
    q = q * 0.25;
    g = g * 4;
    if (std::fabs(a) > q) {
      converged = true;
      break;
    }
    xk = (xk + lambda) * 0.25;
    yk = (yk + lambda) * 0.25;
    zk = (zk + lambda) * 0.25;
  }
  if (!converged) return Failure{"elliprf: Failed to converge."};

  // Series 1 - E2/10 + E3/14 + E2^2/24 - 3E2E3/44 - 5E2^3/208 + 3E3^2/104
  // + E2^2E3/16 (DLMF 19.36.1), split into the E3-only part s1 and the
  // part s2 that carries a factor E2.
  const double t = g * a;
  const double X = (a0 - x) / t;
  const double Y = (a0 - y) / t;
  const double Z = (-X) - Y;
  const double E2 = Y * X - Z * Z;
  const double E3 = (Y * X) * Z;
  const double h = 3 * E3;
  // 0.07142857142857142 is 1/14, the coefficient of E3, as the nearest double.
  const double s1 = (h / 104 + 0.07142857142857142) * E3 + 1;
  const double s2 =
      ((E3 * E2) * 0.0625 + (((-5) * E2) * E2 / 208 + (h / (-44) + (E2 / 24 + (-0.1))))) * E2;
  return (s2 + s1) / std::sqrt(a);
}

inline Result<double> elliprd(double x, double y, double z) {
  using internal::max_number, internal::min_number;
  if (min_number(x, y) < 0) return Failure{internal::RD_DOMAIN};
  if (x + y == 0) return Failure{internal::RD_DOMAIN};
  if (0 >= z) return Failure{"elliprd: z must be positive"};

  // RD is symmetric in x and y only; move an x equal to z into y.
  if (x == z) std::swap(x, y);
  if (y == z) {
    if (x == y) return 1 / (std::sqrt(x) * x); // DLMF 19.20
    if (x == 0) return detail::THREE_PI / ((4 * y) * std::sqrt(y));
  }

  if (x == 0) {
    // RD(0, y, z) from the AGM of sqrt(y), sqrt(z) and the weighted sum of
    // squared half-differences that gives E in the Gauss-Legendre method
    // (DLMF 19.8), written for RD through its complete-case relation to K
    // and E (DLMF 19.25).
    const double sy = std::sqrt(y);
    const double sz = std::sqrt(z);
    double u = sy;
    double v = sz;
    double sum = 0;
    double w = 0.25;
    while (std::fabs(u - v) >= std::fabs(u) * detail::AGM_TOLERANCE) {
      const double mean = (u + v) * 0.5;
      v = std::sqrt(v * u);
      u = mean;
      w = w + w;
      sum = sum + (w * (u - v)) * (u - v);
    }
    return (((3 * sz + sy) / ((sz + sy) * (4 * z)) - sum / ((y - z) * z)) *
            (detail::PI / (v + u))) *
           3;
  }

  // Duplication (Carlson 1995, algorithm for RD). The bound uses the signed
  // deviations from the weighted mean, widened by 1.2. The widening makes
  // the stopping test stricter: the truncation error, of the eighth order in
  // the deviations, falls by 1.2^8 = 4.3, a margin for the signed maximum,
  // which can understate the largest deviation (x or y far above the mean).
  const double a0 = (3 * z + (x + y)) / 5;
  double q = max_number(max_number(a0 - x, a0 - y), a0 - z) * internal::RD_FACTOR * 1.2;
  double xk = x, yk = y, zk = z;
  double a = a0;
  double f = 1; // 4^(-k)
  double sum = 0;
  bool converged = false;
  for (int pass = 0; pass < internal::RD_MAX_PASSES; ++pass) {
    const double sx = std::sqrt(xk);
    const double sy = std::sqrt(yk);
    const double sz = std::sqrt(zk);
    const double lambda = (sx * sy + sx * sz) + sy * sz;
    sum = sum + f / (sz * (zk + lambda));
    a = (a + lambda) * 0.25;
    xk = (xk + lambda) * 0.25;
    yk = (yk + lambda) * 0.25;
    zk = (zk + lambda) * 0.25;
    f = f * 0.25;
    q = q * 0.25;
    if (a > q) {
      converged = true;
      break;
    }
  }
  if (!converged) return Failure{"elliprd: Failed to converge."};

  // Series of DLMF 19.36.2 with X + Y + 3Z = 0.
  const double X = ((a0 - x) * f) / a;
  const double Y = ((a0 - y) * f) / a;
  const double Z = (X + Y) / (-3);
  const double XY = Y * X;
  const double XYZ = XY * Z;
  const double Z2 = Z * Z;
  const double Z3 = Z * Z2;
  const double E2 = XY - Z2 * 6;
  const double E3 = Z3 * (-8) + XYZ * 3;
  const double E4 = ((XYZ - Z3) * 3) * Z;
  const double E5 = Z2 * XYZ;
  const double W = std::pow(a, -1.5) * f;
  return sum * 3 + internal::rd_rj_series(E2, E3, E4, E5) * W;
}

} // namespace tessarin::carlson
