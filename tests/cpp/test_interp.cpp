// Tests of piecewise-linear interpolation and of the cached table, which must
// agree with it bit for bit on every input.
#include "numeric/interp.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tessarin::interp::interp;
using tessarin::interp::LinearTable;
using tessarin::interp::OutOfRange;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

bool same_bits(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

struct Case {
  const char *name;
  std::vector<double> x, y;
  double xp;
  double extend, hold_ends, fill; // expected under each rule (Fill(-7))
};

// Both entry points, every rule.
void check(const Case &c) {
  SCOPED_TRACE(c.name);
  const LinearTable table(c.x, c.y);
  const std::pair<OutOfRange, double> rules[] = {{OutOfRange::Extend(), c.extend},
                                                 {OutOfRange::HoldEnds(), c.hold_ends},
                                                 {OutOfRange::Fill(-7.0), c.fill}};
  for (const auto &[rule, expected] : rules) {
    SCOPED_TRACE(static_cast<int>(rule.kind));
    EXPECT_PRED2(same_bits, interp(c.x, c.y, c.xp, rule), expected);
    EXPECT_PRED2(same_bits, table(c.xp, rule), expected);
  }
}

TEST(Interp, WorkedValues) {
  const Case cases[] = {
      {"inside", {0, 1}, {1, 3}, 0.5, 2, 2, 2},
      {"above", {0, 1}, {1, 3}, 2, 5, 3, -7},
      {"below", {0, 1}, {1, 3}, -1, -1, 1, -7},
      {"first point is inside", {0, 1}, {1, 3}, 0, 1, 1, 1},
      {"last point is inside", {0, 1}, {1, 3}, 1, 3, 3, 3},
      {"peak", {0, 1, 2}, {0, 10, 0}, 1, 10, 10, 10},
      {"right segment", {0, 1, 2}, {0, 10, 0}, 1.5, 5, 5, 5},
      // A table point falls into the segment on its left: here the left line
      // gives 0.1 and the right one 0.09999999999999998.
      {"shared point, left segment", {0, 3, 4}, {0, 0.1, 0}, 3, 0.1, 0.1, 0.1},
      // At a table point the line reproduces y only up to rounding.
      {"table point, rounded",
       {0, 0.3, 4},
       {0, 0.7, 0},
       0.3,
       0.7000000000000001,
       0.7000000000000001,
       0.7000000000000001},
      {"empty", {}, {}, 0.5, 0, 0, 0},
      {"one point", {2}, {4}, -1, 4, 4, 4},
      {"one point, NaN", {2}, {4}, nan, 4, 4, 4},
      {"NaN abscissa", {0, 1}, {1, 3}, nan, nan, nan, nan},
      // Only min(len x, len y) pairs form the table.
      {"x longer", {0, 1, 2}, {0, 10}, 1.5, 15, 10, -7},
      {"y longer", {0, 1}, {0, 10, 0}, 1.5, 15, 10, -7},
      {"one pair used", {0, 1}, {4}, 9, 4, 4, 4},
      // Unsorted: the scan stops at the first x[j] not below xp (x[1] = 2 for
      // xp = 1.5), and the range tests use the first and the last point.
      {"unsorted, stops early", {0, 2, 1, 3}, {0, 2, 4, 6}, 1.5, 1.5, 1.5, 1.5},
      {"unsorted, runs on", {0, 2, 1, 3}, {0, 2, 4, 6}, 2.5, 5.5, 5.5, 5.5},
      {"unsorted, last point not largest", {0, 3, 1}, {0, 3, 5}, 2, 2, 5, -7},
      {"unsorted, below the first point only", {3, 0, 1}, {5, 3, 0}, 2, 4.333333333333333, 5, -7},
      // A repeated abscissa makes that segment's slope infinite.
      {"repeated abscissa", {0, 1, 1, 2}, {0, 1, 2, 3}, 1.5, 2.5, 2.5, 2.5},
      {"through a vertical", {0, 1, 1}, {0, 1, 2}, 1, 1, 1, 1},
      {"vertical segment", {0, 1, 1}, {0, 1, 2}, 1.5, nan, 2, -7},
  };
  for (const Case &c : cases)
    check(c);
}

// Random tables, sorted or not, with repeated values, infinities and NaN,
// probed at the table points, between them, outside and at NaN: the cached
// table and the plain function must agree bit for bit.
TEST(LinearTable, AgreesWithInterpOnArbitraryTables) {
  std::mt19937_64 rng(20240607);
  std::uniform_real_distribution<double> uniform(-2.0, 2.0);
  const double oddities[] = {nan, inf, -inf, 0.0, -0.0, 1.0};
  const OutOfRange rules[] = {OutOfRange::Extend(), OutOfRange::HoldEnds(), OutOfRange::Fill(0.0)};
  int mismatches = 0;
  std::string first_mismatch;
  for (int trial = 0; trial < 4000; ++trial) {
    // sorted, unsorted, sorted prefix, oddities; then longer tables: one
    // swapped neighbour pair, several sorted runs, several runs and oddities
    const int kind = static_cast<int>(rng() % 7);
    const std::size_t longer = kind >= 4 ? 2 + rng() % 60 : 0;
    const std::size_t nx = longer ? longer : rng() % 9;
    const std::size_t ny = longer ? nx + 1 - rng() % 3 : rng() % 9;
    std::vector<double> x(nx), y(ny);
    for (double &v : x)
      v = std::round(uniform(rng) * 4) / 4; // repeats are common
    for (double &v : y)
      v = uniform(rng);
    if (kind != 1 && kind < 5) std::sort(x.begin(), x.end());
    if (kind == 2 && nx > 2) std::swap(x[nx - 1], x[nx / 2]);
    if (kind == 3 && nx > 0) x[rng() % nx] = oddities[rng() % 6];
    if (kind == 4) {
      const std::size_t i = rng() % (nx - 1);
      std::swap(x[i], x[i + 1]);
    }
    if (kind >= 5) { // sorted chunks, each sorted on its own
      for (std::size_t begin = 0; begin < nx;) {
        const std::size_t end = std::min(nx, begin + 1 + rng() % 20);
        std::sort(x.begin() + static_cast<std::ptrdiff_t>(begin),
                  x.begin() + static_cast<std::ptrdiff_t>(end));
        begin = end;
      }
      if (kind == 6) x[rng() % nx] = oddities[rng() % 6];
    }
    const LinearTable table(x, y);
    std::vector<double> probes = {nan, inf, -inf, uniform(rng) * 2};
    for (double v : x)
      probes.insert(probes.end(), {v, std::nextafter(v, inf), v + 0.125});
    for (double xp : probes) {
      for (const OutOfRange &rule : rules) {
        const double expected = interp(x, y, xp, rule);
        const double got = table(xp, rule);
        if (!same_bits(expected, got) && mismatches++ == 0) {
          std::ostringstream out;
          out << "trial " << trial << " xp " << xp << " kind " << static_cast<int>(rule.kind)
              << ": " << got << " != " << expected;
          first_mismatch = out.str();
        }
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << first_mismatch;
}

} // namespace
