#include "models/disks_over_lanes.hpp"
#include "models/integrated.hpp"
#include "models/rings_over_source.hpp"
#include "models/tabulated_profile.hpp"
#include "panic.hpp"

namespace tessarin::models {

Vector integrated_flux_map_heyrovsky_magnification(Vector l, double re, double rstar, Vector bl,
                                                   Vector bf, StopCheck stop) {
  assert_equal(bl.size(), bf.size());
  const TabulatedProfile profile(bl, bf);
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, profile.norm(stop),
                                             stop);
}

Result<Vector> integrated_flux_map_witt_mao_magnification(Vector l, double re, double rstar,
                                                          Vector bl, Vector bf, StopCheck stop) {
  assert_equal(bl.size(), bf.size());
  const TabulatedProfile profile(bl, bf);
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile, profile.norm(stop),
                                            stop);
}

} // namespace tessarin::models
