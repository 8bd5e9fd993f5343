// Complete elliptic integrals K(m), E(m) and Pi(n, m), parameter m = k^2.
//
// K and E use polynomial approximations in x = 1 - m of the classical form
// P(x) - Q(x) ln(x), made for 0 < x <= 1. The coefficients are the ones
// tabulated by S. L. Moshier, "Methods and Programs for Mathematical
// Functions" (Ellis Horwood, 1989), after W. J. Cody, "Chebyshev
// approximations for the complete elliptic integrals K and E", Math. Comp.
// 19 (1965) 105-112; each is the double nearest the printed decimal. They
// are not regenerated here; the reference tables (tools/gen_elliptic_refs.py)
// measure the approximation against mpmath.
// Pi rests on Carlson's integrals (DLMF 19.25.2).
#pragma once

#include <cmath>
#include <limits>

#include "elliptic/carlson.hpp"
#include "elliptic/constants.hpp"
#include "elliptic/legendre.hpp"
#include "numeric/lanes.hpp"

namespace tessarin::legendre {

namespace internal {

inline constexpr double PK[] = {
    0.00013798286460627325, 0.002280257240058756, 0.007974040132204152, 0.00985821379021226,
    0.006874896874499499,   0.006189010336376876, 0.008790782739527438, 0.014938044891680526,
    0.0308851465246712,     0.09657359028116902,  1.3862943611198906,
};
inline constexpr double QK[] = {
    2.940789550485985e-05,
    0.0009141847238659173,
    0.005940583037531678,
    0.01548505166497624,
    0.023908960271592488,
    0.030120471522760404,
    0.037377431417382326,
    0.04882803475709983,
    0.07031249969639575,
    0.12499999999987083,
    0.5,
};
inline constexpr double PE[] = {
    0.0001535525773010133,
    0.0025088849216360204,
    0.008687868165658896,
    0.010735094905607619,
    0.007773954925167871,
    0.007583952894135147,
    0.011568843681057412,
    0.021831799601555724,
    0.05680519456178606,
    0.44314718056099084,
    1,
};
inline constexpr double QE[] = {
    3.2795489857648585e-05, 0.0010096279267935672, 0.006506094899769275, 0.016886216399331133,
    0.026176974245449364,   0.03348339048882249,   0.04271809265189315,  0.0585936634471101,
    0.09374999971976443,    0.2499999999998883,
};

// Horner's rule, highest power first. Starting from the first coefficient
// instead of 0 * x + c gives the same double for every finite x. Over lanes
// as well as on one double (numeric/lanes.hpp).
template <std::size_t N, class V> V horner(const double (&c)[N], V x) {
  V acc = c[0];
  for (std::size_t i = 1; i < N; ++i)
    acc = acc * x + c[i];
  return acc;
}

// The natural logarithm lane by lane: the mathematics library's own.
template <class V> V log_lanes(V x) {
  return lanes::map([](double v) { return std::log(v); }, x);
}

// K as a function of the complementary parameter x = 1 - m, 0 < x <= 1.
// Below 2^-52 the polynomial terms beyond the leading ones vanish against
// ln 4 - ln(x)/2, the limit of K as m -> 1 (DLMF 19.12.1).
template <class V> V k_of_complement(V x) {
  const V ln_x = log_lanes(x);
  return lanes::select(0x1p-52 > x, ln_x * (-0.5) + detail::LN4,
                       horner(PK, x) - horner(QK, x) * ln_x);
}

} // namespace internal

inline Result<double> ellipk(double m) {
  if (m > 1) return Failure{"ellipk: m must be less than 1."};
  if (m == 1) return std::numeric_limits<double>::infinity();
  if (m == 0) return detail::HALF_PI;
  if (m < 0) {
    // The polynomials are made for 0 < x <= 1 only. Imaginary-modulus
    // transformation K(m) = K(m/(m - 1)) / sqrt(1 - m) (DLMF 19.7.2), with
    // 1 - m/(m - 1) = 1/(1 - m) formed directly: rounding m/(m - 1) first
    // would lose most of the digits of its complement for large -m.
    const double t = 1 - m;
    if (t == std::numeric_limits<double>::infinity()) return 0.0; // limit m -> -inf
    return internal::k_of_complement(1 / t) / std::sqrt(t);
  }
  return internal::k_of_complement(1 - m);
}

inline Result<double> ellipe(double m) {
  if (m > 1) return Failure{"ellipe: m must be less than 1."};
  if (m == 1) return 1.0;
  if (m == 0) return detail::HALF_PI;
  double c = 1;
  if (m < 0) {
    // E(m) = sqrt(1 - m) E(m/(m - 1)) (DLMF 19.7.2); for finite m one step
    // lands in (0, 1].
    if (m == -std::numeric_limits<double>::infinity()) return -m; // limit +inf
    c = c * std::sqrt(1 - m);
    m = m / (m - 1);
    // For -m beyond about 2^53 the quotient rounds to 1, where the formula
    // below would give 0 * ln(0); E(1) = 1.
    if (m == 1) return c;
  }
  const double x = 1 - m;
  return c * (internal::horner(internal::PE, x) -
              (internal::horner(internal::QE, x) * x) * std::log(x));
}

inline Result<double> ellippi(double n, double m) {
  if (m >= 1) return Failure{"ellippi: m must be less than 1."};
  if (n > 1) return Failure{"ellippi: n must be less than 1."};
  if (n == 0) {
    if (m == 0) return detail::HALF_PI;
    return ellipk(m);
  }
  const double mc = 1 - m;
  if (0 > n) {
    // Change of characteristic to n' = (m - n)/(1 - n) in (m, 1) (DLMF 19.7),
    // which keeps the RJ argument mc/nc positive and avoids the cancellation
    // of RF + n RJ/3 for large -n.
    const double D = m - n;
    // D == 0 (n == m < 0) would make the formula below 0/0:
    // Pi(m, m) = E(m)/(1 - m) (DLMF 19.6.1).
    if (D == 0) {
      const Result<double> E = ellipe(m);
      if (!E.ok()) return E;
      return E.value() / mc;
    }
    const double nc = 1 - n;
    const Result<double> F = carlson::elliprf(0, mc, 1);
    if (!F.ok()) return F;
    const Result<double> J = carlson::elliprj(0, mc, 1, mc / nc);
    if (!J.ok()) return J;
    const Result<double> Km = ellipk(m);
    if (!Km.ok()) return Km;
    return (m * Km.value()) / D - (mc * (((F.value() + ((D / nc) * J.value()) / 3) * n) / nc)) / D;
  }
  // Pi(n, m) = RF(0, 1 - m, 1) + (n/3) RJ(0, 1 - m, 1, 1 - n) (DLMF 19.25.2).
  const Result<double> F = carlson::elliprf(0, mc, 1);
  if (!F.ok()) return F;
  const Result<double> J = carlson::elliprj(0, mc, 1, 1 - n);
  if (!J.ok()) return J;
  return F.value() + (n * J.value()) / 3;
}

namespace internal {
// E and K together from the complement x = 1 - m, 0 < x < 1 (or NaN): the
// polynomials of ellipe and k_of_complement, sharing ln(x).
template <class V> struct CompleteEKLanes { V e, k; };
template <class V> CompleteEKLanes<V> ek_of_complement_lanes(V x) {
  const V ln_x = log_lanes(x);
  const V e = horner(PE, x) - (horner(QE, x) * x) * ln_x;
  const V k =
      lanes::select(0x1p-52 > x, ln_x * (-0.5) + detail::LN4, horner(PK, x) - horner(QK, x) * ln_x);
  return {e, k};
}
inline CompleteEK ek_of_complement(double x) {
  const CompleteEKLanes<double> ek = ek_of_complement_lanes(x);
  return CompleteEK{ek.e, ek.k};
}

// Pi(n, m) = RF(0, mc, 1) + (n/3) RJ(0, mc, 1, p), mc = 1 - m and p = 1 - n
// given as formed by the caller (DLMF 19.25.2), for lanes on the road that
// ellippi and ellippi_complement take with no special case: pi_regular
// says which lanes those are. Computed for the lanes in `active` only.
template <class V> lanes::Mask<V> pi_regular(V n, V mc, V p) noexcept {
  return (0.0 < mc) && (mc < 1.0) && (n > 0.0) && (p > 0.0) && (p != 1.0);
}
template <class V>
carlson::internal::LaneResult<V> pi_of_complements(V n, V mc, V p, lanes::Mask<V> active) {
  const V F = carlson::internal::rf_agm<V>(1.0, mc);
  const carlson::internal::LaneResult<V> J =
      carlson::internal::rj_duplication<V>(0.0, mc, 1.0, p, active);
  return {F + (n * J.value) / 3, J.failed, J.message};
}

} // namespace internal

inline Result<CompleteEK> ellipke(double m) {
  if (m > 1) return Failure{"ellipe: m must be less than 1."};
  // The special values and the transformation for m < 0 take separate paths
  // in the two functions.
  if (m == 1 || m == 0 || m < 0) return CompleteEK{ellipe(m).value(), ellipk(m).value()};
  // 0 < m < 1 (or NaN): both polynomials in x = 1 - m, as in ellipe and
  // k_of_complement, sharing ln(x).
  return internal::ek_of_complement(1 - m);
}

inline Result<double> ellipk_complement(double mc) {
  if (mc < 0) return Failure{"ellipk: m must be less than 1."};
  if (mc == 0) return std::numeric_limits<double>::infinity();
  // m <= 0: no cancellation in m = 1 - mc, and ellipk has the transformation.
  if (!(mc < 1)) return ellipk(1 - mc);
  return internal::k_of_complement(mc);
}

inline Result<CompleteEK> ellipke_complement(double mc) {
  if (mc < 0) return Failure{"ellipe: m must be less than 1."};
  if (mc == 0) return CompleteEK{1.0, std::numeric_limits<double>::infinity()};
  if (!(mc < 1)) return ellipke(1 - mc);
  // 0 < m < 1 (or NaN): the two polynomials of ellipke in x = 1 - m = mc.
  return internal::ek_of_complement(mc);
}

inline Result<double> ellippi_complement(double n, double nc, double mc) {
  if (mc <= 0) return Failure{"ellippi: m must be less than 1."};
  if (nc < 0) return Failure{"ellippi: n must be less than 1."};
  // Negative characteristics and n = 0 are far from n = 1: the plain entry
  // point serves them.
  if (!(n > 0)) return ellippi(n, 1 - mc);
  // Pi(n, m) = RF(0, 1 - m, 1) + (n/3) RJ(0, 1 - m, 1, 1 - n) (DLMF 19.25.2);
  // nc = 0 (n = 1) fails in RJ, as in ellippi.
  const Result<double> F = carlson::elliprf(0, mc, 1);
  if (!F.ok()) return F;
  const Result<double> J = carlson::elliprj(0, mc, 1, nc);
  if (!J.ok()) return J;
  return F.value() + (n * J.value()) / 3;
}

} // namespace tessarin::legendre
