// Turns a fuzzer's bytes into the doubles, counts and choices that the
// harnesses feed the kernels.
//
// Raw bit patterns alone would almost never hit the values where the kernels
// branch (0, 1, the limb window, subnormals, infinities), nor the ordinary
// range where the integrals do real work, so every double starts with a
// selector byte:
//   0-63    a value from a table of special and boundary values;
//   64-127  an ordinary value: a 16-bit integer over 4096, within +-8;
//   128-255 the next 8 bytes as the bits of a double (any NaN payload, any
//           exponent).
// Bytes past the end read as 0, so every input decodes to something.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace tessarin::fuzz {

inline constexpr double SPECIAL[] = {
    0.0,
    -0.0,
    1.0,
    -1.0,
    0.5,
    2.0,
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    std::numeric_limits<double>::quiet_NaN(),
    -std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::denorm_min(),
    -std::numeric_limits<double>::denorm_min(),
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::max(),
    -std::numeric_limits<double>::max(),
    std::numeric_limits<double>::epsilon(),
    1.0 - std::numeric_limits<double>::epsilon() / 2, // largest double below 1
    1.0 + std::numeric_limits<double>::epsilon(),     // smallest double above 1
    0x1p-537,                                         // sqrt of the smallest subnormal
    0x1p-511,
    0x1p512,
    0x1.fffffffffffffp511, // just below 2^512: its square is still finite
    1e-300,
    1e300,
    1e-5, // the limb window
    1.0 - 1e-5,
    1.0 + 1e-5,
    0.99999,
    1.00001,
    25.0, // where the small-disk expansion takes over
    1e16,
    1e-16,
    0.1,
    0.3,
    3.0,
    1e-8,
    1e8,
    0x1p-52,
    0x1p-53,
    1.2,  // the RJ ratio threshold
    -0.5, // the RJ e thresholds
    -1.5,
    4.0,
    0.25,
    1e154,
    1e-154,
    1e-320, // subnormal
    -1e-320,
};
inline constexpr std::size_t SPECIAL_COUNT = sizeof(SPECIAL) / sizeof(SPECIAL[0]);

class FuzzInput {
public:
  FuzzInput(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // A number in [0, n].
  std::size_t count(std::size_t n) { return byte() % (n + 1); }

  bool flag() { return (byte() & 1) != 0; }

  double real() {
    const std::uint8_t selector = byte();
    if (selector < 64) return SPECIAL[selector % SPECIAL_COUNT];
    if (selector < 128) {
      const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(byte()) |
                                                 static_cast<std::uint16_t>(byte() << 8));
      return raw / 4096.0;
    }
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
      bits |= static_cast<std::uint64_t>(byte()) << (8 * i);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  std::vector<double> reals(std::size_t n) {
    std::vector<double> values(n);
    for (double &v : values)
      v = real();
    return values;
  }

private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Bit-for-bit equality, with every NaN equal to every NaN.
inline bool same_double(double a, double b) {
  if (a != a && b != b) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace tessarin::fuzz

// A failed check: print what failed and abort, which libFuzzer reports as a
// crash and saves the input for.
#define FUZZ_CHECK(condition)                                                                      \
  do {                                                                                             \
    if (!(condition)) {                                                                            \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);           \
      std::abort();                                                                                \
    }                                                                                              \
  } while (0)
