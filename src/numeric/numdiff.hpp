// Central-difference derivative with a step that scales with the point.
//
// The truncation error of (f(x + s) - f(x - s)) / (2s) is O(s^2) and its
// rounding error O(eps / s); the two balance at s ~ eps^(1/3), the classical
// choice (W. H. Press et al., Numerical Recipes, 3rd ed., section 5.7). The
// step is made relative for |x| >> 1 by the factor |x| + 1.
#pragma once

#include <cmath>

namespace tessarin::numdiff {
namespace constants {

// The cube root of the double-precision machine epsilon 2^-52, from the
// mathematics library's cbrt (correctly rounded: 6.0554544523933395e-06).
// Reads like a double constant; the value is computed on first use, and the
// function-local static makes that initialisation thread-safe (C++11 6.7).
struct CbrtEps {
  operator double() const noexcept {
    static const double value = std::cbrt(0x1p-52);
    return value;
  }
};
inline constexpr CbrtEps CBRT_EPS{};

} // namespace constants

namespace central_difference::derivative::scalar_valued {

// Estimate of f'(x). f is called exactly twice, first at x + s, then at
// x - s, with s = (|x| + 1) * CBRT_EPS; the lower point is taken even where it
// is negative. A NaN from f gives a NaN result; nothing is reported.
template <class F> double sderivative(F &&f, double x) {
  const double s = (std::fabs(x) + 1.0) * static_cast<double>(constants::CBRT_EPS);
  const double upper = f(s + x);
  const double lower = f(x - s);
  return (upper - lower) / (s + s);
}

} // namespace central_difference::derivative::scalar_valued
} // namespace tessarin::numdiff
