// Complete elliptic integrals in Legendre form, parameter convention m = k^2.
//
// Defined inline (legendre_impl.hpp), like the Carlson integrals they rest on.
#pragma once

#include "result.hpp"

namespace tessarin::legendre {

inline Result<double> ellipk(double m);
inline Result<double> ellipe(double m);
// Pi(n, m): characteristic n first, then the parameter m.
inline Result<double> ellippi(double n, double m);

// E(m) and K(m) of one parameter, for callers that need both: bit for bit the
// values of ellipe(m) and ellipk(m), with the logarithm of 1 - m that both
// polynomials take computed once. Fails where ellipe fails (m > 1), with its
// message.
struct CompleteEK {
  double e = 0;
  double k = 0;
};
inline Result<CompleteEK> ellipke(double m);

} // namespace tessarin::legendre

#include "elliptic/legendre_impl.hpp"
