// The arithmetic-geometric-mean loops of RF(0, y, z) and RD(0, y, z) have
// no pass cap: they end by their own test. This runs them on every pairing
// of binary magnitudes, from the smallest subnormal to the largest double
// and the infinities and NaN, and fails (by the alarm) if any call does not
// come back.
//
// Why they end: for finite positive y and z the two means start at
// sqrt(y), sqrt(z) in [2^-537, 2^512), stay there (the mean of two doubles
// lies between them, and sqrt(u v) cannot overflow or vanish there), and
// meet within 2.7 eps, which rounding cannot prevent; an infinite argument
// makes both means infinite after one pass and their difference NaN,
// which ends the loop; a NaN fails the test at once.
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>
#include <unistd.h>
#include <vector>

#include "elliptic/carlson.hpp"
#include "fuzz_input.hpp"

int main() {
  // A pass takes a microsecond; a loop that does not end takes for ever.
  alarm(600);
  std::vector<double> values;
  for (int e = -1074; e <= 1023; ++e) {
    values.push_back(std::ldexp(1.0, e));
    values.push_back(std::ldexp(1.7320508075688772, e)); // every mantissa bit in use
  }
  values.push_back(std::numeric_limits<double>::max());
  values.push_back(std::numeric_limits<double>::infinity());
  values.push_back(std::numeric_limits<double>::quiet_NaN());
  for (const double v : tessarin::fuzz::SPECIAL)
    if (v > 0 || v != v) values.push_back(v);

  const auto start = std::chrono::steady_clock::now();
  std::size_t calls = 0;
  for (const double y : values) {
    for (const double z : values) {
      const auto rf = tessarin::carlson::elliprf(0.0, y, z);
      const auto rd = tessarin::carlson::elliprd(0.0, y, z);
      calls += 2;
      if (y > 0 && z > 0) {
        // Valid arguments: no error, and RF finite and positive where both
        // are finite.
        FUZZ_CHECK(rf.ok() && rd.ok());
        if (std::isfinite(y) && std::isfinite(z)) {
          FUZZ_CHECK(std::isfinite(rf.value()) && rf.value() > 0);
        }
      }
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("sweep_agm: %zu calls of RF(0, y, z) and RD(0, y, z) ended in %.1f s\n", calls,
              seconds);
  return 0;
}
