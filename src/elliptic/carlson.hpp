// Carlson's symmetric elliptic integrals RF, RC, RD and RJ.
//
// B. C. Carlson, "Numerical computation of real or complex elliptic
// integrals", Numer. Algorithms 10 (1995) 13-26; DLMF 19.16 and 19.36.
//
// Defined inline (carlson_impl.hpp, carlson_rj_impl.hpp): the models call
// them hundreds of times per separation with constant arguments (RF(0, y, 1),
// RJ(0, y, 1, p)), which the compiler folds into the checks once it sees the
// bodies.
#pragma once

#include "result.hpp"

namespace tessarin::carlson {

inline Result<double> elliprc(double x, double y);
inline Result<double> elliprf(double x, double y, double z);
inline Result<double> elliprd(double x, double y, double z);
inline Result<double> elliprj(double x, double y, double z, double p);
// RJ by duplication alone: p > 0 (or NaN) and no special argument pattern.
// Checks nothing; elliprj calls it after its own checks.
inline Result<double> _elliprj(double x, double y, double z, double p);

} // namespace tessarin::carlson

#include "elliptic/carlson_impl.hpp"
#include "elliptic/carlson_rj_impl.hpp"
