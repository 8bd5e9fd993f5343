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

// The same integrals from the complements mc = 1 - m and nc = 1 - n, for
// callers that can form them without cancellation. Next to m = 1 or n = 1 a
// rounded m or n keeps only the leading digits of its complement (1 - m
// formed from a rounded m is off by about 1e-16 absolute), while K, E and Pi
// are functions of the complements there; the polynomials of K and E and
// Carlson's RF and RJ take the complements as they are. Where 1 - m and
// 1 - n are exact these agree with the entry points above bit for bit
// (K and E for 0 < m < 1, Pi for 0 < n < 1). The error messages are theirs.
inline Result<double> ellipk_complement(double mc);
inline Result<CompleteEK> ellipke_complement(double mc);
// Pi(n, m) from n, its complement nc = 1 - n and mc = 1 - m.
inline Result<double> ellippi_complement(double n, double nc, double mc);

} // namespace tessarin::legendre

#include "elliptic/legendre_impl.hpp"
