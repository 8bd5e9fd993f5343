// The shortcuts taken for speed must not change a single result: the fused
// E and K against the two separate functions, and the inline minimum and
// maximum against the library's fmin and fmax.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "elliptic/carlson.hpp"
#include "elliptic/legendre.hpp"

namespace {

using tessarin::legendre::ellipe;
using tessarin::legendre::ellipk;
using tessarin::legendre::ellipke;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double v) {
  return std::bit_cast<std::uint64_t>(v);
}

// Parameters of every branch: the special values, m < 0 down to -inf, the
// polynomials' range with 1 - m from 1 down to below 2^-52 (where K switches
// to its logarithmic limit), and NaN.
std::vector<double> parameters() {
  std::vector<double> m = {0.0,    -0.0, 1.0, -1.0,  -1e-300, -1e300, -inf,
                           1e-300, 0.5,  0.9, 0.999, nan,     -nan};
  for (int i = 1; i <= 60; ++i) {
    m.push_back(1 - std::ldexp(1.0, -i));
    m.push_back(std::ldexp(1.0, -i));
    m.push_back(-std::ldexp(1.0, i));
  }
  m.push_back(std::nextafter(1.0, 0.0));
  for (int i = 0; i < 1000; ++i)
    m.push_back(i / 1000.0 + 1e-4);
  return m;
}

TEST(EllipKE, SameBitsAsEAndKSeparately) {
  for (const double m : parameters()) {
    const auto both = ellipke(m);
    const auto e = ellipe(m);
    const auto k = ellipk(m);
    ASSERT_TRUE(both.ok() && e.ok() && k.ok()) << "m = " << m;
    EXPECT_EQ(bits(both.value().e), bits(e.value())) << "E at m = " << m;
    EXPECT_EQ(bits(both.value().k), bits(k.value())) << "K at m = " << m;
  }
}

TEST(EllipKE, FailsAsEllipeDoes) {
  for (const double m : {1.0000000000000002, 2.0, inf}) {
    const auto both = ellipke(m);
    const auto e = ellipe(m);
    ASSERT_FALSE(both.ok());
    ASSERT_FALSE(e.ok());
    EXPECT_STREQ(both.error(), e.error());
  }
}

// The inline minimum and maximum give the library's value wherever a value
// is determined (for two zeros of opposite sign either zero is allowed).
TEST(MinMaxNumber, AgreeWithFminFmax) {
  using tessarin::carlson::internal::max_number;
  using tessarin::carlson::internal::min_number;
  const double values[] = {0.0, -0.0, 1.0, -1.0, 0.5, 1e-300, -1e300, inf, -inf, nan};
  for (const double a : values) {
    for (const double b : values) {
      const double lo = min_number(a, b), hi = max_number(a, b);
      EXPECT_EQ(std::isnan(lo), std::isnan(std::fmin(a, b))) << a << " " << b;
      EXPECT_EQ(std::isnan(hi), std::isnan(std::fmax(a, b))) << a << " " << b;
      if (!std::isnan(lo)) {
        EXPECT_EQ(lo, std::fmin(a, b)) << a << " " << b;
      }
      if (!std::isnan(hi)) {
        EXPECT_EQ(hi, std::fmax(a, b)) << a << " " << b;
      }
    }
  }
}

} // namespace
