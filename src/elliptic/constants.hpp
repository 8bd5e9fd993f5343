// Constants shared by the elliptic-integral kernels.
#pragma once

#include "math_constants.hpp"

namespace tessarin::detail {

using tessarin::HALF_PI;
using tessarin::PI;
using tessarin::THREE_PI;

inline constexpr double LN4 = 1.3862943611198906;

// Stopping test of the arithmetic-geometric-mean loops, 2.7 eps: tight
// enough for full accuracy, loose enough that rounding cannot keep the two
// means from meeting.
inline constexpr double AGM_TOLERANCE = 5.995204332975846e-16;

} // namespace tessarin::detail
