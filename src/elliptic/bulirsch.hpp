// Bulirsch's general complete elliptic integral
//
//   cel(kc, p, a, b) = int_0^{pi/2} (a cos^2 t + b sin^2 t)
//                      / ((cos^2 t + p sin^2 t) sqrt(cos^2 t + kc^2 sin^2 t)) dt,
//
// R. Bulirsch, "Numerical calculation of elliptic integrals and elliptic
// functions. III", Numer. Math. 13 (1969) 305-315 (algorithm cel), for
// p > 0. K, E and Pi are special cases (DLMF 19.2.11 with kc = k'):
//   K(k) = cel(kc, 1, 1, 1),  E(k) = cel(kc, 1, 1, kc^2),
//   Pi(n, k) = cel(kc, 1 - n, 1, 1),
// and the integrand is linear in (a, b), so a K + b E is one cel. The
// complements kc and p = 1 - n enter as they are: nothing cancels when the
// modulus or the characteristic nears 1.
//
// Two integrals with the same kc share the arithmetic-geometric-mean
// sequence of kc (the only square root of each step), so `cel_pair`
// computes both in one loop. Each step divides by p once (its reciprocal
// then multiplies b and e): the division is the step's dearest operation.
#pragma once

#include <cmath>

#include "math_constants.hpp"

namespace tessarin::elliptic::bulirsch {

// The steps stop once the arithmetic and geometric means agree to this
// relative distance: the last step then brings the square of it (Landen's
// transformation converges quadratically), below the rounding of doubles.
inline constexpr double CEL_AGREEMENT = 1.5e-8;

struct CelTerms {
  double p, a, b;
};

// Both integrals cel(kc, first.p, first.a, first.b) and cel(kc, second.p,
// ...), for kc > 0 and p > 0, summed. A kc of 0 (k = 1) diverges and is the
// caller's to avoid.
inline double cel_pair_sum(double kc, CelTerms first, CelTerms second) noexcept {
  double e = kc;
  double m = 1.0;
  double p1 = std::sqrt(first.p), a1 = first.a, b1 = first.b / p1;
  double p2 = std::sqrt(second.p), a2 = second.a, b2 = second.b / p2;
  for (int pass = 0; pass < 64; ++pass) {
    double f = a1;
    const double r1 = 1.0 / p1;
    a1 = a1 + b1 * r1;
    double g = e * r1;
    b1 = b1 + f * g;
    b1 = b1 + b1;
    p1 = g + p1;

    f = a2;
    const double r2 = 1.0 / p2;
    a2 = a2 + b2 * r2;
    g = e * r2;
    b2 = b2 + f * g;
    b2 = b2 + b2;
    p2 = g + p2;

    g = m;
    m = kc + m;
    if (!(std::fabs(g - kc) > g * CEL_AGREEMENT)) break;
    kc = std::sqrt(e);
    kc = kc + kc;
    e = kc * m;
  }
  // (b1 + a1 m) / (m (m + p1)) + (b2 + a2 m) / (m (m + p2)) over one divisor.
  const double m1 = m + p1, m2 = m + p2;
  return HALF_PI * (((b1 + a1 * m) * m2 + (b2 + a2 * m) * m1) / ((m * m1) * m2));
}

// One integral: the pair with a second term that adds nothing.
inline double cel(double kc, double p, double a, double b) noexcept {
  return cel_pair_sum(kc, {p, a, b}, {1.0, 0.0, 0.0});
}

} // namespace tessarin::elliptic::bulirsch
