#include <limits>

#include "models/models.hpp"
#include "models/uniform_disk.hpp"

namespace tessarin::models {

Result<Vector> witt_mao_magnification(Vector l, double re, double rstar, StopCheck stop) {
  Vector out;
  if (l.empty()) return out;
  out.reserve(l.size());

  // rho = 0 (a point source, or an infinite Einstein radius) has no disk to
  // average over: every separation gives NaN, without an error.
  const double rho = rstar / re;
  if (rho == 0) {
    out.assign(l.size(), std::numeric_limits<double>::quiet_NaN());
    return out;
  }

  const UniformDisk disk(rho);
  for (const double x : l) {
    if (stop.every(4096)) return out;
    const auto a = disk.at(x, x * rho);
    if (!a) return a.failure();
    out.push_back(a.value());
  }
  return out;
}

} // namespace tessarin::models
