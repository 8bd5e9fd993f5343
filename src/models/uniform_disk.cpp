#include "models/uniform_disk.hpp"

#include <cmath>

namespace tessarin::models {

double UniformDisk::limb() const noexcept {
  const double e = 2 / rho;
  const double f = c / rho2;
  const double g = (-1 + rho2) / c;
  return ((std::asin(g) + HALF_PI) * f + e) / PI;
}

} // namespace tessarin::models
