// The uniform disks over four lanes of AVX2. Compiled with -mavx2 -mno-fma
// (cmake/vector_lanes.cmake); only templates instantiated for
// lanes::avx2::Lanes4 and the functions of namespace avx2 are defined here,
// so that nothing compiled for AVX2 can stand in for code that the baseline
// path calls.
#include "models/disks_over_lanes.hpp"
#include "models/tabulated_profile.hpp"
#include "models/vector_paths.hpp"

#if !defined(__AVX2__) || defined(__FMA__)
#error "compile this file with -mavx2 -mno-fma"
#endif

namespace tessarin::models::avx2 {

using Lanes = lanes::avx2::Lanes4;

const char *disk_at_separations(std::span<const double> l, double rho, StopCheck stop, double *out,
                                std::size_t &done) {
  return models::disk_at_separations<Lanes>(l, rho, stop, out, done);
}

std::size_t disks_over_source(std::span<const double> l, double rho, std::span<const double> whole,
                              const DefaultProfile &profile, double norm,
                              std::span<const double> jumps, double cbrt_eps, StopCheck stop,
                              double *out) {
  return models::disks_over_source<Lanes>(l, rho, whole, profile, norm, jumps, cbrt_eps, stop, out);
}

std::size_t disks_over_source(std::span<const double> l, double rho, std::span<const double> whole,
                              const TabulatedProfile &profile, double norm,
                              std::span<const double> jumps, double cbrt_eps, StopCheck stop,
                              double *out) {
  return models::disks_over_source<Lanes>(l, rho, whole, profile, norm, jumps, cbrt_eps, stop, out);
}

} // namespace tessarin::models::avx2
