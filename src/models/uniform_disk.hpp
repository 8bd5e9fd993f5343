// Magnification of a uniformly bright disk by a point-mass lens, in closed
// form: H. J. Witt and S. Mao, "Can lensed stars be regarded as pointlike
// for microlensing by MACHOs?", ApJ 430 (1994) 505, written with
// complete elliptic integrals of the first, second and third kinds.
//
// Shared by the uniform-disk model (one disk, the whole source) and by the
// limb-darkened integral built on it (concentric disks of every radius).
#pragma once

#include "result.hpp"

namespace tessarin::models {

inline constexpr double PI = 3.141592653589793;
inline constexpr double HALF_PI = 1.5707963267948966;
inline constexpr double TWO_PI = 6.283185307179586;

// Half-width of the window around the limb, in radii of the disk: a lens
// nearer the limb than this is taken to lie on it.
inline constexpr double LIMB_WINDOW = 1e-5;

// The quantities that depend only on the disk radius rho (Einstein radii).
struct UniformDisk {
  explicit UniformDisk(double rho) noexcept
      : rho(rho), rho2(rho * rho), four_rho(4 * rho), two_rho2(rho2 + rho2), c(1 + rho2),
        e(2 / rho), f(c / rho2), g((-1 + rho2) / c) {}

  double rho, rho2, four_rho, two_rho2, c, e, f, g;

  // Exact magnification with the lens on the limb, u = rho:
  // [2/rho + ((1 + rho^2)/rho^2) (pi/2 + asin((rho^2 - 1)/(rho^2 + 1)))] / pi.
  double limb() const noexcept;

  // Magnification at the separation u (Einstein radii); x is the same
  // separation in radii of the disk and decides the limb window.
  Result<double> at(double x, double u) const noexcept;
};

} // namespace tessarin::models
