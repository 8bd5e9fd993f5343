// The uniform disks concentric with the source, as a function of their
// radius: the magnification function of the limb-darkened integral built
// on the Witt-Mao disk.
#pragma once

#include <limits>

#include "models/uniform_disk.hpp"
#include "numeric/lanes.hpp"

namespace tessarin::models {

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

  // The same at the radii of the lanes of r, for the lanes that the closed
  // form of the disks (or the expansion) serves: the others are set in
  // `special`, their values are to be discarded, and operator() gives them.
  template <class V> V at_lanes(V r, lanes::Mask<V> &special) const {
    const V x = l_ / r;
    const BasicUniformDisk<V> disk(r * rho_);
    const V a = disk.closed_form(x, u_, special);
    special = special || (r < 0.0) || (r == 1.0) ||
              !(lanes::fabs(x) < std::numeric_limits<double>::infinity());
    return a;
  }

private:
  double l_, rho_, u_, whole_;
};

} // namespace tessarin::models
