// Fuzz target: the double-exponential rule with integrands built from
// fuzzed tables (linear interpolation of any table, with NaN or infinite
// values dropped in at fuzzed calls), over any interval and tolerance.
//
// Whatever the integrand, the rule calls it exactly as often as it reports,
// and that count is one of the level ends 25, 49, 97, 193, 385: it always
// ends. Two runs on the same integrand agree bit for bit.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz_input.hpp"
#include "numeric/interp.hpp"
#include "numeric/quadrature.hpp"

namespace {

using tessarin::interp::LinearTable;
using tessarin::interp::OutOfRange;
using tessarin::quadrature::double_exponential::integrate;
using tessarin::quadrature::double_exponential::QuadratureOutput;

bool level_end(std::uint32_t evaluations) {
  for (const std::uint32_t end : {25u, 49u, 97u, 193u, 385u}) {
    if (evaluations == end) return true;
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  tessarin::fuzz::FuzzInput in(data, size);
  const std::vector<double> x = in.reals(in.count(10));
  const std::vector<double> y = in.reals(x.size());
  const double fill = in.real();
  const bool extend = in.flag();
  // Every `every`-th call returns `bad` instead (0: never).
  const std::size_t every = in.count(40);
  const double bad = in.flag() ? std::numeric_limits<double>::quiet_NaN()
                               : std::numeric_limits<double>::infinity();
  const double scale = in.real();
  const double a = in.real();
  const double b = in.real();
  const double tolerance = in.real();

  const LinearTable table(x, y);
  const OutOfRange rule = extend ? OutOfRange::Extend() : OutOfRange::Fill(fill);
  std::uint32_t calls = 0;
  const auto f = [&](double r) {
    ++calls;
    if (every != 0 && calls % every == 0) return bad;
    return table(r, rule) * scale + r;
  };

  const QuadratureOutput first = integrate(f, a, b, tolerance);
  FUZZ_CHECK(first.evaluations == calls);
  FUZZ_CHECK(level_end(first.evaluations));

  calls = 0;
  const QuadratureOutput second = integrate(f, a, b, tolerance);
  FUZZ_CHECK(second.evaluations == first.evaluations);
  FUZZ_CHECK(tessarin::fuzz::same_double(second.integral, first.integral));
  FUZZ_CHECK(tessarin::fuzz::same_double(second.error_estimate, first.error_estimate));
  return 0;
}
