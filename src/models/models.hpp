// The magnification models: what each Python function computes, on plain
// C++ values. Separations are in source radii; re and rstar in one common
// unit (only their ratio enters).
#pragma once

#include <vector>

#include "result.hpp"

namespace tessarin::models {

using Vector = std::vector<double>;

// Uniformly bright disk (Witt & Mao 1994), one value per separation.
Result<Vector> witt_mao_magnification(Vector l, double re, double rstar);

// Mean magnification of one thin ring of radius r (Heyrovsky 2003).
Result<double> heyrovsky_magnification(double l, double r, double re, double rstar);

// Flux-weighted sum of ring magnifications; panics when bl and bf differ in
// length.
Result<Vector> discrete_flux_map_heyrovsky_magnification(Vector l, double re, double rstar,
                                                         Vector bl, Vector bf);

// Linear limb darkening with coefficient 0.6, integrated over the source.
Vector integrated_heyrovsky_magnification(Vector l, double re, double rstar);
Result<Vector> integrated_witt_mao_magnification(Vector l, double re, double rstar);

// Radial brightness profile tabulated at radii bl with brightness bf.
Vector integrated_flux_map_heyrovsky_magnification(Vector l, double re, double rstar, Vector bl,
                                                   Vector bf);
Result<Vector> integrated_flux_map_witt_mao_magnification(Vector l, double re, double rstar,
                                                          Vector bl, Vector bf);

} // namespace tessarin::models
