// The settings that the fitting family's values and derivatives share:
// when a quadrature sum is accepted, how much of the tolerance each method
// may take, and the scale of the error bound.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessarin::models::fspl {

inline constexpr double EPS = std::numeric_limits<double>::epsilon();

// A sum may be accepted from the third level on (step h0/4, compared with
// h0/2): the sums of steps h0 and h0/2 of a smooth integrand can agree by
// chance while both miss it by far more (seen: 3e-8 apart, 9e-6 off).
inline constexpr int FIRST_ACCEPTED_LEVEL = 2;
// The squared estimate only from the fifth (see integrate): at coarser
// steps the differences of these integrands do not yet shrink regularly
// (seen: 5e-9, 7e-13, then 2e-13).
inline constexpr int FIRST_SQUARED_LEVEL = 4;

// The steps of the rule, h0 2^-l, and the last node summed. Halving the
// step about squares the error, so the digits come in coarse steps, and
// which ladder reaches a tolerance with fewer nodes depends on it: h0 = 3/4
// (a sum of step 3/16, proven by that of 3/8) serves tolerances down to
// 1e-7 and those below 1e-11 (step 3/64); h0 = 1 (steps 1/8 and 1/16) those
// between. Measured by the instruction counts of light curves.
// (Ladder, models/fspl/fspl.hpp.)

// The error sought from the integral, as a fraction of the tolerance: the
// difference of two successive sums overstates the error of the finer one
// (which is about its square), so this margin covers the rest.
inline constexpr double QUADRATURE_SHARE = 0.25;
// The further margin of the squared estimate.
inline constexpr double SQUARED_SHARE = 0.1;
// A difference below this fraction of the square of the one before marks a
// sum that came close by chance (see integrate).
inline constexpr double LUCKY = 1e-3;

// The share of the tolerance that the tables' error bound may take.
inline constexpr double TABLE_SHARE = 0.5;
// The tables through 4 nodes are tried from this tolerance on, those through
// 8 from the next (their bounds are about 1e-6 and 1e-9 of a basis ratio).
inline constexpr double TABLE_ORDER_4_FROM = 1e-5;
inline constexpr double TABLES_FROM = 1e-10;

// Beyond this distance (Einstein radii) A - 1 < 2e-160: A is 1 in doubles.
inline constexpr double UNMAGNIFIED_BEYOND = 1e40;

struct Scale {
  // The error bound of the result: a fraction of A, or of A - 1 for
  // sources of one Einstein radius or more (with a floor of a few ulp of 1).
  double rtol;
  bool relative_to_excess;
  double of(double excess) const noexcept {
    return relative_to_excess ? std::max(rtol * std::fabs(excess), EPS) : rtol * (1.0 + excess);
  }
};

} // namespace tessarin::models::fspl
