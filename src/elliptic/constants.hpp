// Constants shared by the elliptic-integral kernels.
#pragma once

namespace tessarin::detail {

inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966;
inline constexpr double THREE_PI = 9.42477796076938;
inline constexpr double LN4 = 1.3862943611198906;

// Stopping test of the arithmetic-geometric-mean loops, 2.7 eps: tight
// enough for full accuracy, loose enough that rounding cannot keep the two
// means from meeting.
inline constexpr double AGM_TOLERANCE = 5.995204332975846e-16;

} // namespace tessarin::detail
