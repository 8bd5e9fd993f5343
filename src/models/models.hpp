// The magnification models: what each Python function computes, on plain
// C++ values. Separations are in source radii; re and rstar in one common
// unit (only their ratio enters). The list computations poll `stop` as
// they go and return early when it says stop (with a value to discard).
#pragma once

#include <vector>

#include "result.hpp"
#include "stop.hpp"

namespace tessarin::models {

using Vector = std::vector<double>;

// Uniformly bright disk (Witt & Mao 1994), one value per separation.
Result<Vector> witt_mao_magnification(Vector l, double re, double rstar, StopCheck stop = {});

// Mean magnification of one thin ring of radius r (Heyrovsky 2003).
Result<double> heyrovsky_magnification(double l, double r, double re, double rstar);

// Flux-weighted sum of ring magnifications; panics when bl and bf differ in
// length.
Result<Vector> discrete_flux_map_heyrovsky_magnification(Vector l, double re, double rstar,
                                                         Vector bl, Vector bf, StopCheck stop = {});

// Linear limb darkening with coefficient 0.6, integrated over the source.
Vector integrated_heyrovsky_magnification(Vector l, double re, double rstar, StopCheck stop = {});
Result<Vector> integrated_witt_mao_magnification(Vector l, double re, double rstar,
                                                 StopCheck stop = {});

// Radial brightness profile tabulated at radii bl with brightness bf.
Vector integrated_flux_map_heyrovsky_magnification(Vector l, double re, double rstar, Vector bl,
                                                   Vector bf, StopCheck stop = {});
Result<Vector> integrated_flux_map_witt_mao_magnification(Vector l, double re, double rstar,
                                                          Vector bl, Vector bf,
                                                          StopCheck stop = {});

} // namespace tessarin::models
