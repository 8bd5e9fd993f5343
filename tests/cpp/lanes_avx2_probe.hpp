// Four lanes of the kernels, evaluated by code compiled for AVX2
// (lanes_avx2_probe.cpp), for the tests that compare them with the scalar
// code bit for bit. Plain functions on arrays of four: their callers are
// compiled for the baseline instruction set and never see a vector type.
// Call them only where tessarin::models::avx2::available().
//
// Every function lives in namespace avx2, so that every symbol compiled for
// AVX2 carries the name (tools/vector_isa.py checks the binaries for that).
#pragma once

#include <cstddef>

namespace tessarin::models {
class RingLens;
class TabulatedProfile;
class ConcentricDisks;
} // namespace tessarin::models
namespace tessarin::interp {
class LinearTable;
} // namespace tessarin::interp

namespace lanes_probe::avx2 {

inline constexpr std::size_t WIDTH = 4;

// carlson::internal::rf_agm over the lanes of (a, b).
void rf_agm(const double *a, const double *b, double *out);

// carlson::internal::rj_duplication for the lanes in `active`; `failed` and
// the message as the kernel reports them.
void rj_duplication(const double *x, const double *y, const double *z, const double *p,
                    const bool *active, double *out, bool *failed, const char **message);

// carlson::internal::min_number and max_number.
void min_number(const double *a, const double *b, double *out);
void max_number(const double *a, const double *b, double *out);

// carlson::internal::rd_rj_series.
void rd_rj_series(const double *E2, const double *E3, const double *E4, const double *E5,
                  double *out);

// legendre::internal::k_of_complement and ek_of_complement_lanes.
void k_of_complement(const double *x, double *out);
void ek_of_complement(const double *x, double *e, double *k);

// legendre::internal::pi_regular and pi_of_complements.
void pi_regular(const double *n, const double *mc, const double *p, bool *out);
void pi_of_complements(const double *n, const double *mc, const double *p, const bool *active,
                       double *out, bool *failed, const char **message);

// RingLens::closed_form over the lanes of r, one separation l.
void ring_closed_form(const tessarin::models::RingLens &ring, double l, const double *r,
                      double *out, bool *special);

// RingFlux<Lanes4, Profile> over n radii (any n: the last vector may be
// partial), with the default profile and with a table.
void ring_flux_default(const tessarin::models::RingLens &ring, double l, const double *r, double *y,
                       std::size_t n);
void ring_flux_tabulated(const tessarin::models::RingLens &ring,
                         const tessarin::models::TabulatedProfile &profile, double l,
                         const double *r, double *y, std::size_t n);

// BasicUniformDisk<Lanes4>::closed_form: one disk of radius rho[i] per lane,
// at the separation x[i] (disk radii), u[i] (Einstein radii).
void disk_closed_form(const double *rho, const double *x, const double *u, double *out,
                      bool *special);

// LinearTable::filled over the lanes of xp.
void table_filled(const tessarin::interp::LinearTable &table, const double *xp, double fill,
                  double *out);

// DiskFlux<Lanes4, DefaultProfile> over n radii (the last vector may be
// partial).
void disk_flux_default(const tessarin::models::ConcentricDisks &disks, double cbrt_eps,
                       const double *r, double *y, std::size_t n);

} // namespace lanes_probe::avx2
