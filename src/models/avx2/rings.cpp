// rings_over_source over four lanes of AVX2. Compiled with -mavx2 -mno-fma
// (CMakeLists.txt); only templates instantiated for lanes::avx2::Lanes4 and
// the functions of namespace avx2 are defined here, so that nothing compiled
// for AVX2 can stand in for code that the baseline path calls.
#include "models/rings_over_source.hpp"
#include "models/tabulated_profile.hpp"
#include "models/vector_paths.hpp"

#if !defined(__AVX2__) || defined(__FMA__)
#error "compile this file with -mavx2 -mno-fma"
#endif

namespace tessarin::models::avx2 {

using Lanes = lanes::avx2::Lanes4;

std::size_t rings_over_source(std::span<const double> l, const RingLens &ring,
                              const DefaultProfile &profile, double norm,
                              std::span<const double> jumps, StopCheck stop, double *out) {
  return models::rings_over_source<Lanes>(l, ring, profile, norm, jumps, stop, out);
}

std::size_t rings_over_source(std::span<const double> l, const RingLens &ring,
                              const TabulatedProfile &profile, double norm,
                              std::span<const double> jumps, StopCheck stop, double *out) {
  return models::rings_over_source<Lanes>(l, ring, profile, norm, jumps, stop, out);
}

} // namespace tessarin::models::avx2
