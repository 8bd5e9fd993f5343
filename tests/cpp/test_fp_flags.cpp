// The floating-point flags of cmake/flags.cmake reach the code: a*b + c is
// rounded twice, never fused into one FMA. This file is compiled with FMA
// instructions available (-mfma on x86-64), so a build that lost
// -ffp-contract=off would fuse the expressions below and fail here.
#include <gtest/gtest.h>

#include <cmath>

namespace {

// Opaque to the optimiser, so that the products are computed at run time.
volatile double opaque_one_plus = 1.0 + 0x1p-30;
volatile double opaque_one_minus = 1.0 - 0x1p-30;
volatile double opaque_minus_one = -1.0;

bool cpu_has_fma() {
#if defined(__x86_64__) || defined(__i386__)
  return __builtin_cpu_supports("fma");
#else
  return true;
#endif
}

TEST(FloatingPointFlags, ProductAndSumAreRoundedSeparately) {
  if (!cpu_has_fma()) GTEST_SKIP() << "the processor has no FMA instruction";
  const double a = opaque_one_plus, b = opaque_one_minus, c = opaque_minus_one;
  // a*b = 1 - 2^-60 exactly, which rounds to 1: rounded alone, the sum is 0;
  // fused, it would be -2^-60.
  const double sum = a * b + c;
  EXPECT_EQ(sum, 0.0);
  const double difference = c + a * b;
  EXPECT_EQ(difference, 0.0);
  // The fused result, to show that the processor would have told them apart.
  EXPECT_EQ(std::fma(a, b, c), -0x1p-60);
}

} // namespace
