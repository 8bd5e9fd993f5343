// Fuzz target: the AVX2 lanes of the kernels against the scalar code.
//
// Four lanes of arguments are read from the input, evaluated at once by the
// code compiled for AVX2 (tests/cpp/lanes_avx2_probe.cpp) and one by one by
// the double instantiation; every lane must give the scalar bits (any NaN
// equal to any NaN: which of two NaNs an operation returns depends on the
// order of its operands, which the compiler may commute), the same failures,
// and where the kernel has a public entry point on the same road, that
// entry point's value:
//   0  RJ by duplication, any arguments and any active lanes;
//   1  RF(0, y, z) by the arithmetic-geometric mean (elliprf's road);
//   2  K and E of the complementary parameter;
//   3  the ring's closed form, its special lanes, and the ring flux whose
//      special lanes fall back to the scalar mean (the last vector partial);
//   4  the uniform disk's closed form (the expansion far out), one disk per
//      lane, and its special lanes;
//   5  a tabulated profile's interpolation (any table, sorted or not).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../cpp/lanes_avx2_probe.hpp"
#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"
#include "fuzz_input.hpp"
#include "models/profile.hpp"
#include "models/ring.hpp"
#include "models/rings_over_source.hpp"
#include "models/uniform_disk.hpp"
#include "models/vector_paths.hpp"
#include "numeric/interp.hpp"

namespace {

namespace carlson = tessarin::carlson;
namespace legendre = tessarin::legendre;
namespace models = tessarin::models;
namespace probe = lanes_probe::avx2;
using tessarin::Result;
using tessarin::fuzz::same_double;
constexpr std::size_t W = probe::WIDTH;

void lanes_of(tessarin::fuzz::FuzzInput &in, double (&v)[W]) {
  for (double &x : v)
    x = in.real();
}

void check_rj(tessarin::fuzz::FuzzInput &in) {
  double x[W], y[W], z[W], p[W];
  bool active[W];
  lanes_of(in, x);
  lanes_of(in, y);
  lanes_of(in, z);
  lanes_of(in, p);
  const std::uint8_t mask = in.byte();
  for (std::size_t k = 0; k < W; ++k)
    active[k] = (mask >> k & 1) == 0; // mostly active
  double out[W];
  bool failed[W];
  const char *message = nullptr;
  probe::rj_duplication(x, y, z, p, active, out, failed, &message);
  bool any_failed = false, message_is_a_lanes = false;
  for (std::size_t k = 0; k < W; ++k) {
    const auto s = carlson::internal::rj_duplication<double>(x[k], y[k], z[k], p[k], active[k]);
    FUZZ_CHECK(failed[k] == s.failed);
    if (s.failed) {
      any_failed = true;
      message_is_a_lanes = message_is_a_lanes || (message != nullptr && s.message != nullptr &&
                                                  std::strcmp(message, s.message) == 0);
      continue;
    }
    FUZZ_CHECK(same_double(out[k], s.value));
    const Result<double> r = carlson::_elliprj(x[k], y[k], z[k], p[k]);
    FUZZ_CHECK(r.ok() && same_double(r.value(), out[k]));
  }
  FUZZ_CHECK(any_failed ? message_is_a_lanes : message == nullptr);
}

void check_rf(tessarin::fuzz::FuzzInput &in) {
  double y[W], z[W];
  lanes_of(in, y);
  lanes_of(in, z);
  // elliprf(0, y, z) reaches the mean only past its checks, which turn away
  // the zeros where the loop would not end: lanes it rejects get harmless
  // arguments, as the kernels' callers give them.
  bool ok[W];
  double expected[W];
  for (std::size_t k = 0; k < W; ++k) {
    const Result<double> r = carlson::elliprf(0, y[k], z[k]);
    ok[k] = r.ok();
    expected[k] = r.ok() ? r.value() : 0.0;
    if (!ok[k]) {
      y[k] = 0.5;
      z[k] = 1.0;
    }
  }
  double out[W];
  probe::rf_agm(z, y, out);
  for (std::size_t k = 0; k < W; ++k) {
    FUZZ_CHECK(same_double(out[k], carlson::internal::rf_agm<double>(z[k], y[k])));
    if (ok[k]) FUZZ_CHECK(same_double(out[k], expected[k]));
  }
}

void check_complement(tessarin::fuzz::FuzzInput &in) {
  double x[W];
  lanes_of(in, x);
  double k_out[W], e_out[W], k2_out[W];
  probe::k_of_complement(x, k_out);
  probe::ek_of_complement(x, e_out, k2_out);
  for (std::size_t i = 0; i < W; ++i) {
    FUZZ_CHECK(same_double(k_out[i], legendre::internal::k_of_complement<double>(x[i])));
    const auto ek = legendre::internal::ek_of_complement_lanes<double>(x[i]);
    FUZZ_CHECK(same_double(e_out[i], ek.e));
    FUZZ_CHECK(same_double(k2_out[i], ek.k));
    if ((0 < x[i] && x[i] < 1) || std::isnan(x[i])) {
      const Result<double> K = legendre::ellipk_complement(x[i]);
      FUZZ_CHECK(K.ok() && same_double(K.value(), k_out[i]));
      const auto EK = legendre::ellipke_complement(x[i]);
      FUZZ_CHECK(EK.ok() && same_double(EK.value().e, e_out[i]) &&
                 same_double(EK.value().k, k2_out[i]));
    }
  }
}

void check_ring(tessarin::fuzz::FuzzInput &in) {
  const double re = in.real();
  const double rstar = in.real();
  const double l = in.real();
  const std::size_t n = 1 + in.count(2 * W - 1);
  double r[2 * W];
  for (double &v : r)
    v = in.real();
  const models::RingLens ring(re, rstar);

  double closed[W];
  bool special[W];
  probe::ring_closed_form(ring, l, r, closed, special);
  for (std::size_t k = 0; k < W; ++k) {
    bool scalar_special = false;
    const double scalar = ring.closed_form<double>(l, r[k], scalar_special);
    FUZZ_CHECK(special[k] == scalar_special);
    if (scalar_special) continue;
    FUZZ_CHECK(same_double(closed[k], scalar));
    const Result<double> mean = ring(l, r[k]);
    FUZZ_CHECK(mean.ok() && same_double(mean.value(), closed[k]));
  }

  double lane[2 * W], scalar[2 * W];
  probe::ring_flux_default(ring, l, r, lane, n);
  const models::DefaultProfile profile;
  models::RingFlux<double, models::DefaultProfile>(ring, l, profile)(r, scalar, n);
  for (std::size_t k = 0; k < n; ++k)
    FUZZ_CHECK(same_double(lane[k], scalar[k]));
}

void check_disk(tessarin::fuzz::FuzzInput &in) {
  double rho[W], x[W], u[W];
  lanes_of(in, rho);
  lanes_of(in, x);
  // The models pass u = x rho; an independent u reaches the other roads.
  const bool own_u = (in.byte() & 1) != 0;
  for (std::size_t k = 0; k < W; ++k)
    u[k] = own_u ? in.real() : x[k] * rho[k];
  double closed[W];
  bool special[W];
  probe::disk_closed_form(rho, x, u, closed, special);
  for (std::size_t k = 0; k < W; ++k) {
    const models::UniformDisk disk(rho[k]);
    bool scalar_special = false;
    const double scalar = disk.closed_form(x[k], u[k], scalar_special);
    FUZZ_CHECK(special[k] == scalar_special);
    if (scalar_special) continue;
    FUZZ_CHECK(same_double(closed[k], scalar));
    const Result<double> at = disk.at(x[k], u[k]);
    FUZZ_CHECK(at.ok() && same_double(at.value(), closed[k]));
  }
}

void check_table(tessarin::fuzz::FuzzInput &in) {
  const std::size_t n = in.count(12);
  std::vector<double> x(n), y(n);
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = in.real();
    y[i] = in.real();
  }
  const tessarin::interp::LinearTable table(x, y);
  const double fill = in.real();
  double xp[W], out[W];
  lanes_of(in, xp);
  probe::table_filled(table, xp, fill, out);
  for (std::size_t k = 0; k < W; ++k)
    FUZZ_CHECK(same_double(out[k], table(xp[k], tessarin::interp::OutOfRange::Fill(fill))));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Without AVX2 there is nothing to compare: say so rather than pass.
  if (!models::avx2::available()) {
    std::fprintf(stderr, "fuzz_lanes: this processor has no AVX2 (or the build no vector "
                         "paths)\n");
    std::exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  tessarin::fuzz::FuzzInput in(data, size);
  switch (in.count(5)) {
    case 0:
      check_rj(in);
      break;
    case 1:
      check_rf(in);
      break;
    case 2:
      check_complement(in);
      break;
    case 3:
      check_ring(in);
      break;
    case 4:
      check_disk(in);
      break;
    default:
      check_table(in);
      break;
  }
  return 0;
}
