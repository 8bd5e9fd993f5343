#include <limits>
#include <span>
#include <utility>

#include "models/disks_over_lanes.hpp"
#include "models/magnification_floor.hpp"
#include "models/models.hpp"
#include "models/vector_paths.hpp"

namespace tessarin::models {

Result<Vector> uniform_disk_magnification(Vector l, double re, double rstar, StopCheck stop) {
  Vector out;
  if (l.empty()) return out;

  // rho = 0 (a point source, or an infinite Einstein radius) has no disk to
  // average over: every separation gives NaN, without an error.
  const double rho = rstar / re;
  if (rho == 0) {
    out.assign(l.size(), std::numeric_limits<double>::quiet_NaN());
    return out;
  }

  out.resize(l.size());
  std::size_t done = 0;
  const char *failure = nullptr;
  bool vector = false;
  if constexpr (avx2::BUILT) {
    vector = avx2::available();
    if (vector) failure = avx2::disk_at_separations(l, rho, stop, out.data(), done);
  }
  if (!vector) failure = disk_at_separations<double>(l, rho, stop, out.data(), done);
  if (failure != nullptr) return Failure{failure};
  out.resize(done);
  return out;
}

Result<Vector> witt_mao_magnification(Vector l, double re, double rstar, StopCheck stop) {
  auto disk = uniform_disk_magnification(std::move(l), re, rstar, stop);
  if (!disk) return disk.failure();
  Vector out = std::move(disk).value();
  // A negative disk radius gives meaningless values, left as they come.
  if (rstar / re > 0) at_least_one(out);
  return out;
}

} // namespace tessarin::models
