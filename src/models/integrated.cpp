#include "models/integrated.hpp"
#include "models/disks_over_lanes.hpp"
#include "models/rings_over_source.hpp"

#include "models/profile.hpp"

namespace tessarin::models {

Vector integrated_heyrovsky_magnification(Vector l, double re, double rstar, StopCheck stop) {
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, DefaultProfile{},
                                             DEFAULT_PROFILE_NORM, stop);
}

Result<Vector> integrated_witt_mao_magnification(Vector l, double re, double rstar,
                                                 StopCheck stop) {
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, DefaultProfile{},
                                            DEFAULT_PROFILE_NORM, stop);
}

} // namespace tessarin::models
