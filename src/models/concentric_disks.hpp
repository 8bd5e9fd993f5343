// The uniform disks concentric with the source, as a function of their
// radius: the magnification function of the limb-darkened integral built
// on the Witt-Mao disk.
#pragma once

#include <limits>

#include "models/uniform_disk.hpp"

namespace tessarin::models {

// Mean of the point-lens magnification A(v) = (v^2 + 2) / (v sqrt(v^2 + 4))
// over a disk of radius R whose centre lies at u from the lens, for R well
// below u. Pizzetti's mean-value expansion in two dimensions,
//   mean = sum_k (R^2/4)^k Lap^k A(u) / (k! (k+1)!),
// with the iterated Laplacians of A in closed form (derived symbolically,
// see tools/small_disk_series.py); every term is positive.
double small_disk_mean(double u, double R) noexcept;

// Beyond this many disk radii between the lens and the disk centre the
// closed form loses about (u/R)^2 ulp to cancellation, while the expansion
// truncated after R^8 is exact to rounding (the next term is below
// 1e-2 (R/u)^10).
inline constexpr double SMALL_DISK_FROM = 25.0;

class ConcentricDisks {
public:
  // l: separation in source radii; rho: source radius in Einstein radii;
  // whole: the magnification of the whole source (the disk of radius 1).
  ConcentricDisks(double l, double rho, double whole) noexcept
      : l_(l), rho_(rho), u_(l * rho), whole_(whole) {}

  // Magnification of the concentric disk of radius r (source radii); 0 for
  // r < 0, NaN where an elliptic integral fails. Inline: the limb-darkened
  // integral evaluates it three times at every node.
  double operator()(double r) const noexcept {
    if (r < 0) return 0.0;
    if (r == 1) return whole_;
    const double x = l_ / r; // separation in radii of this disk
    const double R = r * rho_;
    if (x > SMALL_DISK_FROM) return small_disk_mean(u_, R);
    const auto a = UniformDisk(R).at(x, u_);
    return a ? a.value() : std::numeric_limits<double>::quiet_NaN();
  }

private:
  double l_, rho_, u_, whole_;
};

} // namespace tessarin::models
