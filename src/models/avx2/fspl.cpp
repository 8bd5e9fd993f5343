// The fitting family's concentric disks over four lanes of AVX2. Compiled
// with -mavx2 -mno-fma (cmake/vector_lanes.cmake); only the template
// instantiated for lanes::avx2::Lanes4 is defined here.
#include "models/fspl/disk_lanes.hpp"
#include "models/vector_paths.hpp"

#if !defined(__AVX2__) || defined(__FMA__)
#error "compile this file with -mavx2 -mno-fma"
#endif

namespace tessarin::models::avx2 {

void fspl_disk_excess(double u, double rho, double g0, const double *mu, double *out,
                      std::size_t count) noexcept {
  fspl::disk_excess<lanes::avx2::Lanes4>(u, rho, g0, mu, out, count);
}

void fspl_disk_excesses(const double *u, const double *R, double *out, std::size_t count) noexcept {
  fspl::disk_excesses<lanes::avx2::Lanes4>(u, R, out, count);
}

} // namespace tessarin::models::avx2
