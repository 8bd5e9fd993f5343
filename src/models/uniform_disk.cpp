#include "models/uniform_disk.hpp"

#include <cmath>

namespace tessarin::models {

template <> double BasicUniformDisk<double>::limb() const noexcept {
  const double e = 2 / rho;
  const double f = c / rho2;
  return ((std::atan(rho) * 2) * f + e) / PI;
}

} // namespace tessarin::models
