// Tests of the central difference and of its step constant.
#include "numeric/numdiff.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

using tessarin::numdiff::central_difference::derivative::scalar_valued::sderivative;
using tessarin::numdiff::constants::CBRT_EPS;

// cbrt(2^-52) correctly rounded (mpmath: 6.0554544523933395e-06).
constexpr double cbrt_eps = 0x1.965fea53d6e3dp-18;

TEST(CbrtEps, IsTheCorrectlyRoundedCubeRootOfEpsilon) {
  EXPECT_EQ(static_cast<double>(CBRT_EPS), cbrt_eps);
  EXPECT_EQ(cbrt_eps, 6.0554544523933395e-06);
}

// A callable that records its arguments and returns them unchanged.
struct Recorder {
  std::vector<double> *args;
  double operator()(double t) const {
    args->push_back(t);
    return t;
  }
};

// The step is (|x| + 1) * CBRT_EPS, seen through the two points f receives,
// upper first: x = -4 uses the step of x = 4.
TEST(Sderivative, EvaluatesUpperThenLowerPointWithScaledStep) {
  struct StepCase {
    double x;
    double step;
  };
  const StepCase cases[] = {{0.0, cbrt_eps},
                            {1.0, 2 * cbrt_eps},
                            {-4.0, 5 * cbrt_eps},
                            {4.0, 5 * cbrt_eps},
                            {-0.5, 1.5 * cbrt_eps}};
  for (const StepCase &c : cases) {
    SCOPED_TRACE(c.x);
    std::vector<double> args;
    sderivative(Recorder{&args}, c.x);
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0], c.step + c.x);
    EXPECT_EQ(args[1], c.x - c.step);
  }
}

TEST(Sderivative, WorkedValues) {
  // At 0 the two points are +-CBRT_EPS: an even function gives exactly 0.
  EXPECT_EQ(sderivative([](double t) { return t * t; }, 0.0), 0.0);
  // A line is differentiated up to the rounding of its two values.
  EXPECT_NEAR(sderivative([](double t) { return 3 * t + 1; }, 1.0), 3.0, 1e-9);
  // The result is exactly (u - v)/(s + s).
  const double s = 5 * cbrt_eps;
  const double u = std::exp(s + -4.0), v = std::exp(-4.0 - s);
  EXPECT_EQ(sderivative([](double t) { return std::exp(t); }, -4.0), (u - v) / (s + s));
}

TEST(Sderivative, PropagatesNaN) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double x = 0.25;
  EXPECT_TRUE(std::isnan(sderivative([&](double t) { return t > x ? nan : t; }, x)));
  EXPECT_TRUE(std::isnan(sderivative([&](double t) { return t < x ? nan : t; }, x)));
  EXPECT_TRUE(std::isnan(sderivative([](double t) { return t; }, nan)));
}

} // namespace
