// Fuzz target: linear interpolation on any table, sorted or not, with
// repeated abscissas, NaN and infinities, x and y of different lengths.
//
// The table built once for many evaluations promises every result bit for
// bit equal to the one-off interpolation, whatever the table; the rule for
// values outside the table gives its fixed values exactly.
#include <cmath>
#include <span>
#include <vector>

#include "fuzz_input.hpp"
#include "numeric/interp.hpp"

namespace {

using tessarin::fuzz::same_double;
using tessarin::interp::interp;
using tessarin::interp::LinearTable;
using tessarin::interp::OutOfRange;

OutOfRange rule_from(tessarin::fuzz::FuzzInput &in) {
  switch (in.count(2)) {
    case 0:
      return OutOfRange::Extend();
    case 1:
      return OutOfRange::HoldEnds();
    default:
      return OutOfRange::Fill(in.real());
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  tessarin::fuzz::FuzzInput in(data, size);
  const std::vector<double> x = in.reals(in.count(12));
  // Mostly as long as x; now and then longer or shorter (the table is the
  // common prefix).
  const std::vector<double> y = in.reals(in.flag() ? x.size() : in.count(12));
  const OutOfRange rule = rule_from(in);
  const LinearTable table(x, y);
  const std::size_t n = std::min(x.size(), y.size());
  FUZZ_CHECK(table.size() == n);

  const std::size_t points = 1 + in.count(7);
  for (std::size_t k = 0; k < points; ++k) {
    // Table points themselves, and arbitrary values.
    const double xp = (n > 0 && in.flag()) ? x[in.byte() % n] : in.real();
    const double once = interp(x, y, xp, rule);
    FUZZ_CHECK(same_double(once, table(xp, rule)));
    if (n == 0) {
      FUZZ_CHECK(same_double(once, 0.0));
    } else if (n == 1) {
      FUZZ_CHECK(same_double(once, y[0]));
    } else if (x[0] > xp || xp > x[n - 1]) {
      if (rule.kind == OutOfRange::Kind::Fill) FUZZ_CHECK(same_double(once, rule.fill));
      if (rule.kind == OutOfRange::Kind::HoldEnds) {
        FUZZ_CHECK(same_double(once, x[0] > xp ? y[0] : y[n - 1]));
      }
    }
  }
  return 0;
}
