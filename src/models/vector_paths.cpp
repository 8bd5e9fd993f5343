#include "models/vector_paths.hpp"

#include "models/disks_over_lanes.hpp"
#include "models/rings_over_source.hpp"

namespace tessarin::models {

Result<double> ring_mean_lane(const RingLens &ring, double l, double r) noexcept {
  return ring(l, r);
}

Result<double> uniform_disk_lane(const UniformDisk &disk, double x, double u) noexcept {
  return disk.at(x, u);
}

double concentric_disk_lane(const ConcentricDisks &disks, double r) noexcept {
  return disks(r);
}

namespace avx2 {

bool available() noexcept {
#if TESSARIN_VECTOR_LANES && (defined(__GNUC__) || defined(__clang__))
  // __builtin_cpu_supports("avx2") also asks whether the operating system
  // saves the AVX registers (XGETBV).
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return supported;
#else
  return false;
#endif
}

} // namespace avx2
} // namespace tessarin::models
