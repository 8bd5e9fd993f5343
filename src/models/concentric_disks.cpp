#include "models/concentric_disks.hpp"

#include <cmath>

namespace tessarin::models {

double small_disk_mean(double u, double R) noexcept {
  return small_disk_mean_lanes(u, R);
}

} // namespace tessarin::models
