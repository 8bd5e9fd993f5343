// The models' vector paths and the choice between them and the scalar code.
//
// The vector paths are compiled for AVX2 (without FMA: every operation stays
// rounded on its own) in translation units of their own, src/models/avx2/;
// the rest of the module is compiled for the baseline x86-64. Which runs is
// decided once per process, by what the processor has: both give every
// result bit for bit. A build configured with -DTESSARIN_VECTOR_LANES=OFF
// has the scalar code alone.
#pragma once

#include <cstddef>
#include <span>

#include "models/profile.hpp"
#include "stop.hpp"

#ifndef TESSARIN_VECTOR_LANES
#define TESSARIN_VECTOR_LANES 0
#endif

namespace tessarin::models {

class RingLens;
class TabulatedProfile;
class ConcentricDisks;

namespace avx2 {

// Whether this build has the AVX2 paths.
inline constexpr bool BUILT = TESSARIN_VECTOR_LANES != 0;

// Whether they run here: built, and the processor and the operating system
// support AVX2. Decided on the first call (a thread-safe initialisation).
bool available() noexcept;

// rings_over_source (models/rings_over_source.hpp) over four lanes.
std::size_t rings_over_source(std::span<const double> l, const RingLens &ring,
                              const DefaultProfile &profile, double norm,
                              std::span<const double> jumps, StopCheck stop, double *out);
std::size_t rings_over_source(std::span<const double> l, const RingLens &ring,
                              const TabulatedProfile &profile, double norm,
                              std::span<const double> jumps, StopCheck stop, double *out);

// disk_at_separations (models/disks_over_lanes.hpp) over four lanes.
const char *disk_at_separations(std::span<const double> l, double rho, StopCheck stop, double *out,
                                std::size_t &done);

// disks_over_source (models/disks_over_lanes.hpp) over four lanes.
std::size_t disks_over_source(std::span<const double> l, double rho, std::span<const double> whole,
                              const DefaultProfile &profile, double norm,
                              std::span<const double> jumps, double cbrt_eps, StopCheck stop,
                              double *out);
std::size_t disks_over_source(std::span<const double> l, double rho, std::span<const double> whole,
                              const TabulatedProfile &profile, double norm,
                              std::span<const double> jumps, double cbrt_eps, StopCheck stop,
                              double *out);

// fspl::disk_excess (models/fspl/disk_lanes.hpp) over four lanes.
void fspl_disk_excess(double u, double rho, double g0, const double *mu, double *out,
                      std::size_t count) noexcept;
// fspl::disk_excesses (models/fspl/disk_lanes.hpp) over four lanes.
void fspl_disk_excesses(const double *u, const double *R, double *out, std::size_t count) noexcept;

} // namespace avx2
} // namespace tessarin::models
