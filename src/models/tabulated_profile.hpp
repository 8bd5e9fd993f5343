// A radial brightness profile given as a table of radii and brightnesses:
// linear between the points, dark outside them.
#pragma once

#include "models/integrated.hpp"
#include "models/models.hpp"
#include "numeric/interp.hpp"

namespace tessarin::models {

class TabulatedProfile {
public:
  TabulatedProfile(const Vector &bl, const Vector &bf) : table_(bl, bf) {}

  double operator()(double r) const noexcept { return table_(r, interp::OutOfRange::Fill(0.0)); }

  // The integral of 2 pi r P(r) over [0, 1] by the same rule that
  // integrates the magnified flux, so that its end slivers cancel.
  double norm(StopCheck stop = {}) const {
    const auto flux = [this](double r) { return (TWO_PI * r) * (*this)(r); };
    return quadrature::double_exponential::integrate(flux, 0.0, 1.0, QUADRATURE_TOLERANCE, stop)
        .integral;
  }

private:
  interp::LinearTable table_;
};

} // namespace tessarin::models
