// Complete elliptic integrals in Legendre form, parameter convention m = k^2.
#pragma once

#include "result.hpp"

namespace tessarin::legendre {

Result<double> ellipk(double m);
Result<double> ellipe(double m);
// Pi(n, m): characteristic n first, then the parameter m.
Result<double> ellippi(double n, double m);

} // namespace tessarin::legendre
