// Shared by the elliptic-integral tests: reading the mpmath reference tables
// written by tools/gen_elliptic_refs.py and measuring errors against them.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "result.hpp"

namespace elliptic_test {

// One line of a table: tag, arguments, reference value (float.hex text).
struct RefCase {
  std::string tag;
  std::vector<double> args;
  double expected;
  int line;
};

inline std::vector<RefCase> load_table(const std::string &name) {
  const std::string path = std::string(TESSARIN_TEST_DATA) + "/" + name;
  std::ifstream in(path);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  std::vector<RefCase> cases;
  std::string text;
  int line = 0;
  while (std::getline(in, text)) {
    ++line;
    if (text.empty() || text[0] == '#') continue;
    std::istringstream fields(text);
    RefCase c{{}, {}, 0, line};
    fields >> c.tag;
    std::vector<double> numbers;
    std::string field;
    while (fields >> field)
      numbers.push_back(std::strtod(field.c_str(), nullptr));
    c.expected = numbers.back();
    numbers.pop_back();
    c.args = numbers;
    cases.push_back(c);
  }
  return cases;
}

// Distance in units in the last place: the number of doubles between a and b.
inline double ulp_distance(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::numeric_limits<double>::infinity();
  auto ordered = [](double v) {
    const auto bits = std::bit_cast<std::int64_t>(v);
    return bits < 0 ? -(bits & INT64_MAX) : bits;
  };
  return std::fabs(static_cast<double>(ordered(a) - ordered(b)));
}

// Absolute error for values up to 1, relative beyond: for results that
// change sign, where an error in ULPs of a value near zero means nothing.
inline double scaled_abs_error(double got, double expected) {
  if (std::isnan(got)) return std::numeric_limits<double>::infinity();
  return std::fabs(got - expected) / std::fmax(1.0, std::fabs(expected));
}

inline std::string hex(double v) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%a", v);
  return buffer;
}

using Eval = tessarin::Result<double> (*)(const std::vector<double> &);
using Metric = double (*)(double, double);

// Rows of the parametrised tables: a reference table slice, an exact value,
// an error message.
struct TableCase {
  const char *name;
  const char *file;
  const char *tag;
  Eval eval;
  Metric metric;
  double tolerance;
};
struct ExactCase {
  const char *name;
  tessarin::Result<double> (*call)();
  double expected;
};
struct ErrorCase {
  const char *name;
  tessarin::Result<double> (*call)();
  const char *message;
};
template <class Case>
requires requires(Case c) {
  c.name;
}
std::ostream &operator<<(std::ostream &os, const Case &c) {
  return os << c.name;
}

// Evaluates every case of one tag, expects the worst error within tolerance
// and reports the worst point (and prints the measured worst on success).
inline void check_table(const char *file, const char *tag, Eval eval, Metric metric,
                        double tolerance) {
  const std::vector<RefCase> cases = load_table(file);
  int count = 0;
  double worst = -1;
  std::string where;
  for (const RefCase &c : cases) {
    if (c.tag != tag) continue;
    ++count;
    const tessarin::Result<double> r = eval(c.args);
    std::ostringstream point;
    point << file << ":" << c.line << " args (";
    for (std::size_t i = 0; i < c.args.size(); ++i)
      point << (i ? ", " : "") << hex(c.args[i]);
    point << ")";
    if (!r.ok()) {
      ADD_FAILURE() << point.str() << " failed: " << r.error();
      continue;
    }
    const double error = metric(r.value(), c.expected);
    if (error > worst) {
      worst = error;
      point << " got " << hex(r.value()) << " expected " << hex(c.expected) << " error " << error;
      where = point.str();
    }
  }
  ASSERT_GT(count, 0) << "no cases tagged '" << tag << "' in " << file;
  EXPECT_LE(worst, tolerance) << "worst of " << count << " cases at " << where;
  std::printf("[ measured ] %s %s: worst %g over %d cases\n", file, tag, worst, count);
}

// Bit-for-bit comparison; a NaN expectation accepts any NaN.
inline void expect_same_double(double got, double expected) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(got)) << hex(got);
  } else {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected))
        << "got " << hex(got) << " expected " << hex(expected);
  }
}

// The three parametrised tests, one a kind of row. Each test file (one an
// executable) instantiates them with its own rows under its own prefix,
// naming every row by `case_name`.
class ReferenceTable : public ::testing::TestWithParam<TableCase> {};

TEST_P(ReferenceTable, AgreesWithMpmath) {
  const TableCase &c = GetParam();
  check_table(c.file, c.tag, c.eval, c.metric, c.tolerance);
}

class ExactValue : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactValue, BitForBit) {
  const tessarin::Result<double> r = GetParam().call();
  ASSERT_TRUE(r.ok()) << r.error();
  expect_same_double(r.value(), GetParam().expected);
}

class ErrorMessage : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorMessage, ExactMessageFromFirstFailingCheck) {
  const tessarin::Result<double> r = GetParam().call();
  ASSERT_FALSE(r.ok()) << "value " << r.value();
  EXPECT_STREQ(r.error(), GetParam().message);
}

inline constexpr auto case_name = [](const auto &info) { return std::string(info.param.name); };

} // namespace elliptic_test
