// Carlson's symmetric elliptic integrals RF, RC, RD and RJ.
//
// B. C. Carlson, "Numerical computation of real or complex elliptic
// integrals", Numer. Algorithms 10 (1995) 13-26; DLMF 19.16 and 19.36.
#pragma once

#include "result.hpp"

namespace tessarin::carlson {

Result<double> elliprc(double x, double y);
Result<double> elliprf(double x, double y, double z);
Result<double> elliprd(double x, double y, double z);
Result<double> elliprj(double x, double y, double z, double p);
// RJ by duplication alone: p > 0 (or NaN) and no special argument pattern.
// Checks nothing; elliprj calls it after its own checks.
Result<double> _elliprj(double x, double y, double z, double p);

} // namespace tessarin::carlson
