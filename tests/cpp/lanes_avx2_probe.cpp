// The lane kernels instantiated for lanes::avx2::Lanes4, behind plain
// functions on arrays (lanes_avx2_probe.hpp). Compiled with -mavx2 -mno-fma
// as the models' vector paths are (cmake/vector_lanes.cmake).
//
// Only templates instantiated for Lanes4 and the functions of namespace avx2
// are defined here: a RingLens or a TabulatedProfile is built by the caller,
// so that no inline function that the baseline code also calls gets a copy
// compiled for AVX2 that the linker could pick for both.
#include "lanes_avx2_probe.hpp"

#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"
#include "models/concentric_disks.hpp"
#include "models/disks_over_lanes.hpp"
#include "models/profile.hpp"
#include "models/ring.hpp"
#include "models/rings_over_source.hpp"
#include "models/tabulated_profile.hpp"
#include "models/uniform_disk.hpp"
#include "numeric/interp.hpp"
#include "numeric/lanes.hpp"

#if !defined(__AVX2__) || defined(__FMA__)
#error "compile this file with -mavx2 -mno-fma"
#endif

namespace lanes_probe::avx2 {

namespace {

using Lanes = tessarin::lanes::avx2::Lanes4;
using Mask = tessarin::lanes::avx2::Mask4;
namespace lanes = tessarin::lanes;
namespace carlson = tessarin::carlson::internal;
namespace legendre = tessarin::legendre::internal;

Lanes load(const double *p) {
  return lanes::load<Lanes>(p);
}

Mask load_mask(const bool *p) {
  Mask m = false;
  for (std::size_t i = 0; i < WIDTH; ++i)
    lanes::set(m, i, p[i]);
  return m;
}

void store_mask(Mask m, bool *out) {
  for (std::size_t i = 0; i < WIDTH; ++i)
    out[i] = lanes::get(m, i);
}

} // namespace

void rf_agm(const double *a, const double *b, double *out) {
  lanes::store(carlson::rf_agm<Lanes>(load(a), load(b)), out);
}

void rj_duplication(const double *x, const double *y, const double *z, const double *p,
                    const bool *active, double *out, bool *failed, const char **message) {
  const carlson::LaneResult<Lanes> r =
      carlson::rj_duplication<Lanes>(load(x), load(y), load(z), load(p), load_mask(active));
  lanes::store(r.value, out);
  store_mask(r.failed, failed);
  *message = r.message;
}

void min_number(const double *a, const double *b, double *out) {
  lanes::store(carlson::min_number<Lanes>(load(a), load(b)), out);
}

void max_number(const double *a, const double *b, double *out) {
  lanes::store(carlson::max_number<Lanes>(load(a), load(b)), out);
}

void rd_rj_series(const double *E2, const double *E3, const double *E4, const double *E5,
                  double *out) {
  lanes::store(carlson::rd_rj_series<Lanes>(load(E2), load(E3), load(E4), load(E5)), out);
}

void k_of_complement(const double *x, double *out) {
  lanes::store(legendre::k_of_complement<Lanes>(load(x)), out);
}

void ek_of_complement(const double *x, double *e, double *k) {
  const legendre::CompleteEKLanes<Lanes> ek = legendre::ek_of_complement_lanes<Lanes>(load(x));
  lanes::store(ek.e, e);
  lanes::store(ek.k, k);
}

void pi_regular(const double *n, const double *mc, const double *p, bool *out) {
  store_mask(legendre::pi_regular<Lanes>(load(n), load(mc), load(p)), out);
}

void pi_of_complements(const double *n, const double *mc, const double *p, const bool *active,
                       double *out, bool *failed, const char **message) {
  const carlson::LaneResult<Lanes> r =
      legendre::pi_of_complements<Lanes>(load(n), load(mc), load(p), load_mask(active));
  lanes::store(r.value, out);
  store_mask(r.failed, failed);
  *message = r.message;
}

void ring_closed_form(const tessarin::models::RingLens &ring, double l, const double *r,
                      double *out, bool *special) {
  Mask s;
  lanes::store(ring.closed_form<Lanes>(l, load(r), s), out);
  store_mask(s, special);
}

void ring_flux_default(const tessarin::models::RingLens &ring, double l, const double *r, double *y,
                       std::size_t n) {
  const tessarin::models::DefaultProfile profile;
  tessarin::models::RingFlux<Lanes, tessarin::models::DefaultProfile>(ring, l, profile)(r, y, n);
}

void ring_flux_tabulated(const tessarin::models::RingLens &ring,
                         const tessarin::models::TabulatedProfile &profile, double l,
                         const double *r, double *y, std::size_t n) {
  tessarin::models::RingFlux<Lanes, tessarin::models::TabulatedProfile>(ring, l, profile)(r, y, n);
}

void disk_closed_form(const double *rho, const double *x, const double *u, double *out,
                      bool *special) {
  Mask s;
  const tessarin::models::BasicUniformDisk<Lanes> disk(load(rho));
  lanes::store(disk.closed_form(load(x), load(u), s), out);
  store_mask(s, special);
}

void table_filled(const tessarin::interp::LinearTable &table, const double *xp, double fill,
                  double *out) {
  lanes::store(table.filled(load(xp), fill), out);
}

void disk_flux_default(const tessarin::models::ConcentricDisks &disks, double cbrt_eps,
                       const double *r, double *y, std::size_t n) {
  const tessarin::models::DefaultProfile profile;
  tessarin::models::DiskFlux<Lanes, tessarin::models::DefaultProfile>(disks, profile,
                                                                      cbrt_eps)(r, y, n);
}

} // namespace lanes_probe::avx2
