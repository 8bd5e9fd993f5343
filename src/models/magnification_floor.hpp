// The lower bound of every magnification: 1.
//
// The point lens magnifies every point it does not sit on,
// A(v) = (v^2 + 2) / (v sqrt(v^2 + 4)) > 1 for v > 0, so its mean over a
// disk, a ring or a source of non-negative brightness exceeds 1. Where
// A - 1 falls to the rounding of a closed form (the lens some 1e3 Einstein
// radii or more from the source, or inside a source of 1e4 Einstein radii
// or more) a computed mean can round below 1; 1 is nearer the truth than
// any such value. NaN stays NaN.
#pragma once

#include <span>

namespace tessarin::models {

inline double at_least_one(double a) noexcept {
  return a < 1.0 ? 1.0 : a;
}

inline void at_least_one(std::span<double> values) noexcept {
  for (double &a : values)
    a = at_least_one(a);
}

} // namespace tessarin::models
