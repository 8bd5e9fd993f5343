// Fuzz target: the fitting family's kernels on arbitrary doubles.
//
// Every law, any coefficients, any separation and source size, any
// tolerance the functions accept: the evaluator gives NaN exactly when the
// element is not a source (a NaN or negative separation, a source size that
// is not positive and finite, coefficients that make no profile), 1 at an
// infinite separation, and otherwise a magnification of at least 1 (finite
// wherever it promises a value). The disk part of its integrand, and the
// closed forms of a batch of disks, give the same bits over the AVX2 lanes
// as one by one.
#include <cmath>
#include <vector>

#include "fuzz_input.hpp"
#include "models/fspl/disk_lanes.hpp"
#include "models/fspl/fspl.hpp"
#include "models/fspl/profile.hpp"
#include "models/vector_paths.hpp"

namespace {

namespace fspl = tessarin::models::fspl;
using tessarin::fuzz::same_double;

constexpr double TOLERANCES[] = {fspl::MAX_RTOL, 1e-4, 1e-6, 1e-8, 1e-10, fspl::MIN_RTOL};

void check_element(tessarin::fuzz::FuzzInput &in) {
  const auto law = static_cast<fspl::Law>(in.count(7));
  const double rtol = TOLERANCES[in.count(5)];
  const double u = in.real(), rho = in.real();
  double coefficients[4];
  for (double &c : coefficients)
    c = in.real();
  fspl::Table table;
  if (law == fspl::Law::tabulated) {
    const std::size_t nodes = 2 + in.count(6);
    table.mu.push_back(0.0);
    for (std::size_t i = 1; i + 1 < nodes; ++i)
      table.mu.push_back(std::fabs(in.real()));
    table.mu.push_back(1.0);
    for (std::size_t i = 0; i < nodes; ++i)
      table.intensity.push_back(in.real());
    if (fspl::check_table(table) != nullptr) return; // the binding raises
  }
  fspl::Evaluator evaluate(law, rtol, &table);
  const double a = evaluate(u, rho, coefficients);
  // With its derivatives: the same A, and NaN derivatives where A is NaN.
  double with_slopes[7];
  fspl::Evaluator differentiate(law, rtol, &table);
  differentiate.gradient(u, rho, coefficients, with_slopes);
  const int slopes = 3 + fspl::coefficient_count(law);
  FUZZ_CHECK(same_double(with_slopes[0], a));
  for (int i = 1; i < slopes; ++i)
    if (std::isnan(a)) FUZZ_CHECK(std::isnan(with_slopes[i]));
  fspl::Profile profile;
  bool source = fspl::make_profile(law, coefficients, &table, profile);
  if (source) {
    // A flux that rounds to zero or below (coefficients far beyond unity
    // that cancel) is no source either.
    double flux;
    profile.moments(&flux, 1);
    source = flux > 0.0;
  }
  const bool valid = source && u >= 0.0 && rho > 0.0 && rho < INFINITY;
  if (!valid) {
    FUZZ_CHECK(std::isnan(a));
    return;
  }
  if (u == INFINITY) FUZZ_CHECK(a == 1.0);
  // Finite wherever a value is promised: not for a power-2 exponent beyond
  // 1e3 (a spike at the centre narrower than any quadrature sees), nor for
  // coefficients far beyond unity that cancel to a profile of order one
  // (|c| up to 1e308 against the constant 1), whose sign and flux are left
  // to rounding.
  bool moderate = true;
  for (int i = 0; i < fspl::coefficient_count(law); ++i)
    moderate = moderate && std::fabs(coefficients[i]) <= 1e6;
  const bool promised =
      rho >= 1e-6 && rho <= 1e3 && moderate && !(law == fspl::Law::power2 && coefficients[1] > 1e3);
  if (promised) {
    FUZZ_CHECK(std::isfinite(a));
    // Derivatives too, where a value is promised (infinite on a bright limb).
    for (int i = 1; i < slopes; ++i)
      FUZZ_CHECK(!std::isnan(with_slopes[i]));
  }
  if (!std::isnan(a)) FUZZ_CHECK(a >= 1.0);
}

void check_lanes(tessarin::fuzz::FuzzInput &in) {
  if (!tessarin::models::avx2::available()) return;
  const double u = std::fabs(in.real()), rho = std::fabs(in.real()), g0 = in.real();
  std::vector<double> mu(1 + in.count(10));
  for (double &m : mu) {
    m = std::fabs(in.real());
    if (!(m > 0.0 && m < 1.0)) m = 0.5;
  }
  std::vector<double> scalar(mu.size()), vector(mu.size());
  fspl::disk_excess<double>(u, rho, g0, mu.data(), scalar.data(), mu.size());
  tessarin::models::avx2::fspl_disk_excess(u, rho, g0, mu.data(), vector.data(), mu.size());
  for (std::size_t i = 0; i < mu.size(); ++i)
    FUZZ_CHECK(same_double(scalar[i], vector[i]));

  // The closed forms of many disks at once (a pass of elements): each lane
  // with its own u and R, the bits of disk_magnification.
  std::vector<double> us(1 + in.count(10)), radii(us.size());
  for (std::size_t i = 0; i < us.size(); ++i) {
    us[i] = std::fabs(in.real());
    radii[i] = std::fabs(in.real());
    if (!(radii[i] > 0.0 && radii[i] < INFINITY)) radii[i] = 1.0;
    if (!(us[i] < INFINITY)) us[i] = radii[i];
  }
  std::vector<double> one(us.size()), four(us.size());
  fspl::disk_excesses<double>(us.data(), radii.data(), one.data(), us.size());
  tessarin::models::avx2::fspl_disk_excesses(us.data(), radii.data(), four.data(), us.size());
  for (std::size_t i = 0; i < us.size(); ++i) {
    FUZZ_CHECK(same_double(one[i], four[i]));
    FUZZ_CHECK(same_double(one[i], fspl::disk_magnification(us[i], radii[i]) - 1.0));
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  tessarin::fuzz::FuzzInput in(data, size);
  if (in.flag()) {
    check_element(in);
  } else if constexpr (tessarin::models::avx2::BUILT) {
    check_lanes(in);
  }
  return 0;
}
