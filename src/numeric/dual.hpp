// Forward-mode derivatives: a value with its partial derivatives in two
// variables (for the fitting family, u and rho), carried through the same
// operations as the value. Comparisons look at the value only, so a kernel
// written over lanes (numeric/lanes.hpp) runs on Dual as on one double and
// takes the same branches; its derivative is that of the branch taken.
//
// Include this header before any kernel template that is instantiated for
// Dual: those templates name the lanes functions with their namespace, and
// find only the overloads declared before them.
#pragma once

#include <cmath>
#include <cstddef>

#include "numeric/lanes.hpp"

namespace tessarin::numeric {

struct Dual {
  double v = 0.0;  // the value
  double du = 0.0; // its derivative in the first variable
  double dr = 0.0; // and in the second
  constexpr Dual() = default;
  constexpr Dual(double value) noexcept : v(value) {}
  constexpr Dual(double value, double d_u, double d_r) noexcept : v(value), du(d_u), dr(d_r) {}
};

inline Dual operator+(Dual a, Dual b) noexcept {
  return {a.v + b.v, a.du + b.du, a.dr + b.dr};
}
inline Dual operator-(Dual a, Dual b) noexcept {
  return {a.v - b.v, a.du - b.du, a.dr - b.dr};
}
inline Dual operator-(Dual a) noexcept {
  return {-a.v, -a.du, -a.dr};
}
inline Dual operator*(Dual a, Dual b) noexcept {
  return {a.v * b.v, a.du * b.v + a.v * b.du, a.dr * b.v + a.v * b.dr};
}
inline Dual operator/(Dual a, Dual b) noexcept {
  const double q = a.v / b.v;
  return {q, (a.du - q * b.du) / b.v, (a.dr - q * b.dr) / b.v};
}
inline Dual operator+(Dual a, double b) noexcept {
  return {a.v + b, a.du, a.dr};
}
inline Dual operator+(double a, Dual b) noexcept {
  return {a + b.v, b.du, b.dr};
}
inline Dual operator-(Dual a, double b) noexcept {
  return {a.v - b, a.du, a.dr};
}
inline Dual operator-(double a, Dual b) noexcept {
  return {a - b.v, -b.du, -b.dr};
}
inline Dual operator*(Dual a, double b) noexcept {
  return {a.v * b, a.du * b, a.dr * b};
}
inline Dual operator*(double a, Dual b) noexcept {
  return {a * b.v, a * b.du, a * b.dr};
}
inline Dual operator/(Dual a, double b) noexcept {
  return {a.v / b, a.du / b, a.dr / b};
}
inline Dual operator/(double a, Dual b) noexcept {
  const double q = a / b.v;
  return {q, -q * b.du / b.v, -q * b.dr / b.v};
}

#define TESSARIN_DUAL_COMPARISON(op)                                                               \
  inline bool operator op(Dual a, Dual b) noexcept {                                               \
    return a.v op b.v;                                                                             \
  }                                                                                                \
  inline bool operator op(Dual a, double b) noexcept {                                             \
    return a.v op b;                                                                               \
  }                                                                                                \
  inline bool operator op(double a, Dual b) noexcept {                                             \
    return a op b.v;                                                                               \
  }
TESSARIN_DUAL_COMPARISON(<)
TESSARIN_DUAL_COMPARISON(>)
TESSARIN_DUAL_COMPARISON(<=)
TESSARIN_DUAL_COMPARISON(>=)
TESSARIN_DUAL_COMPARISON(==)
TESSARIN_DUAL_COMPARISON(!=)
#undef TESSARIN_DUAL_COMPARISON

inline Dual sqrt(Dual a) noexcept {
  const double r = std::sqrt(a.v);
  const double half = 0.5 / r;
  return {r, a.du * half, a.dr * half};
}
inline Dual fabs(Dual a) noexcept {
  return a.v < 0.0 ? -a : a;
}
inline Dual asinh(Dual a) noexcept {
  const double d = 1.0 / std::sqrt(a.v * a.v + 1.0);
  return {std::asinh(a.v), a.du * d, a.dr * d};
}

} // namespace tessarin::numeric

namespace tessarin::lanes {

template <> struct Traits<numeric::Dual> {
  using Mask = bool;
  static constexpr std::size_t width = 1;
};
inline numeric::Dual select(bool m, numeric::Dual a, numeric::Dual b) noexcept {
  return m ? a : b;
}
inline numeric::Dual sqrt(numeric::Dual x) noexcept {
  return numeric::sqrt(x);
}
inline numeric::Dual fabs(numeric::Dual x) noexcept {
  return numeric::fabs(x);
}

} // namespace tessarin::lanes
