// Lanes: the vocabulary in which the kernels are written once for one value
// and for several values side by side.
//
// A kernel over lanes is a template on its value type V. Plain `double` is
// one instantiation, with `bool` for its masks; the vector types (for
// example lanes::avx2::Lanes4, four doubles) are the others. The arithmetic
// operators, the comparisons and the functions below are the same IEEE
// operations, each rounded once, whatever V is: lane i of a vector result
// is, bit for bit, what the double instantiation computes from the values of
// lane i. Branches of the scalar code become masks and `select`; a loop that
// the scalar code leaves at its own test runs while `any` lane is active, and
// every lane keeps the values of the pass at which it stopped. The
// functions of the mathematics library are called lane by lane, so that
// their results stay the library's.
#pragma once

#include <cmath>
#include <cstddef>

namespace tessarin::lanes {

// The mask type and the width of a lane type.
template <class V> struct Traits;

template <> struct Traits<double> {
  using Mask = bool;
  static constexpr std::size_t width = 1;
};

template <class V> using Mask = typename Traits<V>::Mask;
template <class V> inline constexpr std::size_t width = Traits<V>::width;

inline double select(bool m, double a, double b) noexcept {
  return m ? a : b;
}
inline bool select(bool m, bool a, bool b) noexcept {
  return m ? a : b;
}
inline bool any(bool m) noexcept {
  return m;
}
inline bool all(bool m) noexcept {
  return m;
}
inline double sqrt(double x) noexcept {
  return std::sqrt(x);
}
inline double fabs(double x) noexcept {
  return std::fabs(x);
}

// f applied to each lane; f takes and returns a double.
template <class F> double map(F &&f, double x) {
  return f(x);
}
template <class F> double map(F &&f, double x, double y) {
  return f(x, y);
}

// Lane i of v, and v with lane i replaced.
inline double get(double v, std::size_t) noexcept {
  return v;
}
inline void set(double &v, std::size_t, double x) noexcept {
  v = x;
}
inline bool get(bool m, std::size_t) noexcept {
  return m;
}
inline void set(bool &m, std::size_t, bool x) noexcept {
  m = x;
}

// table[index] for each lane; the lanes of index hold integers, exactly.
inline double gather(const double *table, double index) noexcept {
  return table[static_cast<std::size_t>(index)];
}

// A vector of lanes from memory, and back.
template <class V> V load(const double *p) noexcept;
template <> inline double load<double>(const double *p) noexcept {
  return *p;
}
inline void store(double v, double *p) noexcept {
  *p = v;
}

} // namespace tessarin::lanes

// The vector types are defined only where the compiler may use their
// instructions: in the translation units built for them.
#if defined(__AVX2__)
#include "numeric/lanes_avx2.hpp"
#endif

namespace tessarin::lanes {

// y[i] = f(x[i]) for i < n, a vector's width of points at a time: f takes
// the lanes V and the array of their values, and returns the lanes of
// results. A last, partial vector repeats its last point (its extra results
// are dropped).
template <class V, class F> void over_lanes(const double *x, double *y, std::size_t n, F &&f) {
  constexpr std::size_t W = width<V>;
  for (std::size_t i = 0; i < n; i += W) {
    const std::size_t count = n - i < W ? n - i : W;
    double in[W], out[W];
    for (std::size_t j = 0; j < W; ++j)
      in[j] = x[i + (j < count ? j : count - 1)];
    store(f(load<V>(in), static_cast<const double *>(in)), out);
    for (std::size_t j = 0; j < count; ++j)
      y[i + j] = out[j];
  }
}

} // namespace tessarin::lanes
