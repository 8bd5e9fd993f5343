// Four doubles in an AVX register.
//
// Each operation is the packed form of the scalar one: additions,
// multiplications, divisions and square roots of AVX are rounded as their
// SSE2 counterparts are (IEEE 754, round to nearest), so every lane gets the
// bits that the double code gets. Nothing here fuses a multiplication into
// an addition: the translation units that use this header are compiled
// without FMA, and no FMA intrinsic is used.
//
// Included by numeric/lanes.hpp where __AVX2__ is defined. Everything is in
// namespace lanes::avx2, so that every function compiled for AVX2 carries
// the name in its symbol (tests/python/test_dispatch.py reads the module's
// disassembly for instructions of this kind elsewhere).
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "numeric/lanes.hpp"

namespace tessarin::lanes {
namespace avx2 {

// Comparison results: a lane is all ones or all zeros.
struct Mask4 {
  __m256d m;
  Mask4() = default;
  explicit Mask4(__m256d m) noexcept : m(m) {}
  Mask4(bool b) noexcept : m(_mm256_castsi256_pd(_mm256_set1_epi64x(b ? -1 : 0))) {}
};

inline Mask4 operator&(Mask4 a, Mask4 b) noexcept {
  return Mask4(_mm256_and_pd(a.m, b.m));
}
inline Mask4 operator|(Mask4 a, Mask4 b) noexcept {
  return Mask4(_mm256_or_pd(a.m, b.m));
}
inline Mask4 operator!(Mask4 a) noexcept {
  return Mask4(_mm256_xor_pd(a.m, _mm256_castsi256_pd(_mm256_set1_epi64x(-1))));
}
// The kernels combine masks with && and ||, which on the double
// instantiation's bools are the logical operators; here both operands are
// always evaluated (they have no side effects).
inline Mask4 operator&&(Mask4 a, Mask4 b) noexcept {
  return a & b;
}
inline Mask4 operator||(Mask4 a, Mask4 b) noexcept {
  return a | b;
}

struct Lanes4 {
  __m256d v;
  Lanes4() = default;
  explicit Lanes4(__m256d v) noexcept : v(v) {}
  Lanes4(double x) noexcept : v(_mm256_set1_pd(x)) {}
};

inline Lanes4 operator+(Lanes4 a, Lanes4 b) noexcept {
  return Lanes4(_mm256_add_pd(a.v, b.v));
}
inline Lanes4 operator-(Lanes4 a, Lanes4 b) noexcept {
  return Lanes4(_mm256_sub_pd(a.v, b.v));
}
inline Lanes4 operator*(Lanes4 a, Lanes4 b) noexcept {
  return Lanes4(_mm256_mul_pd(a.v, b.v));
}
inline Lanes4 operator/(Lanes4 a, Lanes4 b) noexcept {
  return Lanes4(_mm256_div_pd(a.v, b.v));
}
// Negation flips the sign bit, as the scalar code's does (-0.0 ^ x).
inline Lanes4 operator-(Lanes4 a) noexcept {
  return Lanes4(_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0)));
}
inline Lanes4 operator+(Lanes4 a, double b) noexcept {
  return a + Lanes4(b);
}
inline Lanes4 operator+(double a, Lanes4 b) noexcept {
  return Lanes4(a) + b;
}
inline Lanes4 operator-(Lanes4 a, double b) noexcept {
  return a - Lanes4(b);
}
inline Lanes4 operator-(double a, Lanes4 b) noexcept {
  return Lanes4(a) - b;
}
inline Lanes4 operator*(Lanes4 a, double b) noexcept {
  return a * Lanes4(b);
}
inline Lanes4 operator*(double a, Lanes4 b) noexcept {
  return Lanes4(a) * b;
}
inline Lanes4 operator/(Lanes4 a, double b) noexcept {
  return a / Lanes4(b);
}
inline Lanes4 operator/(double a, Lanes4 b) noexcept {
  return Lanes4(a) / b;
}

// Ordered comparisons are false where a lane holds a NaN, != is true there:
// the semantics of the scalar operators.
inline Mask4 operator<(Lanes4 a, Lanes4 b) noexcept {
  return Mask4(_mm256_cmp_pd(a.v, b.v, _CMP_LT_OQ));
}
inline Mask4 operator>(Lanes4 a, Lanes4 b) noexcept {
  return Mask4(_mm256_cmp_pd(a.v, b.v, _CMP_GT_OQ));
}
inline Mask4 operator<=(Lanes4 a, Lanes4 b) noexcept {
  return Mask4(_mm256_cmp_pd(a.v, b.v, _CMP_LE_OQ));
}
inline Mask4 operator>=(Lanes4 a, Lanes4 b) noexcept {
  return Mask4(_mm256_cmp_pd(a.v, b.v, _CMP_GE_OQ));
}
inline Mask4 operator==(Lanes4 a, Lanes4 b) noexcept {
  return Mask4(_mm256_cmp_pd(a.v, b.v, _CMP_EQ_OQ));
}
inline Mask4 operator!=(Lanes4 a, Lanes4 b) noexcept {
  return Mask4(_mm256_cmp_pd(a.v, b.v, _CMP_NEQ_UQ));
}
inline Mask4 operator<(Lanes4 a, double b) noexcept {
  return a < Lanes4(b);
}
inline Mask4 operator<(double a, Lanes4 b) noexcept {
  return Lanes4(a) < b;
}
inline Mask4 operator>(Lanes4 a, double b) noexcept {
  return a > Lanes4(b);
}
inline Mask4 operator>(double a, Lanes4 b) noexcept {
  return Lanes4(a) > b;
}
inline Mask4 operator<=(Lanes4 a, double b) noexcept {
  return a <= Lanes4(b);
}
inline Mask4 operator>=(Lanes4 a, double b) noexcept {
  return a >= Lanes4(b);
}
inline Mask4 operator==(Lanes4 a, double b) noexcept {
  return a == Lanes4(b);
}
inline Mask4 operator!=(Lanes4 a, double b) noexcept {
  return a != Lanes4(b);
}

} // namespace avx2

template <> struct Traits<avx2::Lanes4> {
  using Mask = avx2::Mask4;
  static constexpr std::size_t width = 4;
};

inline avx2::Lanes4 select(avx2::Mask4 m, avx2::Lanes4 a, avx2::Lanes4 b) noexcept {
  return avx2::Lanes4(_mm256_blendv_pd(b.v, a.v, m.m));
}
inline avx2::Mask4 select(avx2::Mask4 m, avx2::Mask4 a, avx2::Mask4 b) noexcept {
  return avx2::Mask4(_mm256_blendv_pd(b.m, a.m, m.m));
}
inline bool any(avx2::Mask4 m) noexcept {
  return _mm256_movemask_pd(m.m) != 0;
}
inline bool all(avx2::Mask4 m) noexcept {
  return _mm256_movemask_pd(m.m) == 0xF;
}
inline avx2::Lanes4 sqrt(avx2::Lanes4 x) noexcept {
  return avx2::Lanes4(_mm256_sqrt_pd(x.v));
}
inline avx2::Lanes4 fabs(avx2::Lanes4 x) noexcept {
  return avx2::Lanes4(_mm256_andnot_pd(_mm256_set1_pd(-0.0), x.v));
}

inline double get(avx2::Lanes4 v, std::size_t i) noexcept {
  alignas(32) double a[4];
  _mm256_store_pd(a, v.v);
  return a[i];
}
inline void set(avx2::Lanes4 &v, std::size_t i, double x) noexcept {
  alignas(32) double a[4];
  _mm256_store_pd(a, v.v);
  a[i] = x;
  v.v = _mm256_load_pd(a);
}
inline bool get(avx2::Mask4 m, std::size_t i) noexcept {
  return ((_mm256_movemask_pd(m.m) >> i) & 1) != 0;
}
inline void set(avx2::Mask4 &m, std::size_t i, bool x) noexcept {
  alignas(32) long long a[4];
  _mm256_store_si256(reinterpret_cast<__m256i *>(a), _mm256_castpd_si256(m.m));
  a[i] = x ? -1 : 0;
  m.m = _mm256_castsi256_pd(_mm256_load_si256(reinterpret_cast<const __m256i *>(a)));
}
template <> inline avx2::Lanes4 load<avx2::Lanes4>(const double *p) noexcept {
  return avx2::Lanes4(_mm256_loadu_pd(p));
}
inline void store(avx2::Lanes4 v, double *p) noexcept {
  _mm256_storeu_pd(p, v.v);
}

inline avx2::Lanes4 gather(const double *table, avx2::Lanes4 index) noexcept {
  // The masked form, with every lane enabled: the plain intrinsic starts
  // from an undefined register, which GCC 12 reports as maybe uninitialised.
  const __m256d all = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
  return avx2::Lanes4(
      _mm256_mask_i32gather_pd(_mm256_setzero_pd(), table, _mm256_cvttpd_epi32(index.v), all, 8));
}

template <class F> avx2::Lanes4 map(F &&f, avx2::Lanes4 x) {
  alignas(32) double a[4];
  _mm256_store_pd(a, x.v);
  for (double &e : a)
    e = f(e);
  return avx2::Lanes4(_mm256_load_pd(a));
}
template <class F> avx2::Lanes4 map(F &&f, avx2::Lanes4 x, avx2::Lanes4 y) {
  alignas(32) double a[4], b[4];
  _mm256_store_pd(a, x.v);
  _mm256_store_pd(b, y.v);
  for (std::size_t i = 0; i < 4; ++i)
    a[i] = f(a[i], b[i]);
  return avx2::Lanes4(_mm256_load_pd(a));
}

} // namespace tessarin::lanes
