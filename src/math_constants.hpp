// Mathematical constants shared by the kernels and the models: each is the
// double nearest the real number it names.
#pragma once

namespace tessarin {

inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966; // pi/2
inline constexpr double TWO_PI = 6.283185307179586;   // 2 pi, exactly 2 * PI
inline constexpr double THREE_PI = 9.42477796076938;  // 3 pi

} // namespace tessarin
