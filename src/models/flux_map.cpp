// Sources whose radial brightness profile is given as a table of radii bl
// and brightnesses bf: linear between the points, dark outside them.
#include "models/integrated.hpp"
#include "numeric/interp.hpp"
#include "panic.hpp"

namespace tessarin::models {

namespace {

class TabulatedProfile {
public:
  TabulatedProfile(const Vector &bl, const Vector &bf) : table_(bl, bf) {}

  double operator()(double r) const noexcept { return table_(r, interp::OutOfRange::Fill(0.0)); }

  // The integral of 2 pi r P(r) over [0, 1] by the same rule that
  // integrates the magnified flux, so that its end slivers cancel.
  double norm() const {
    const auto flux = [this](double r) { return (TWO_PI * r) * (*this)(r); };
    return quadrature::double_exponential::integrate(flux, 0.0, 1.0, QUADRATURE_TOLERANCE).integral;
  }

private:
  interp::LinearTable table_;
};

} // namespace

Vector integrated_flux_map_heyrovsky_magnification(Vector l, Vector bl, Vector bf, double re,
                                                   double rstar) {
  assert_equal(bl.size(), bf.size());
  const TabulatedProfile profile(bl, bf);
  return _integrated_heyrovsky_magnification(std::move(l), re, rstar, profile, profile.norm());
}

Result<Vector> integrated_flux_map_witt_mao_magnification(Vector l, Vector bl, Vector bf, double re,
                                                          double rstar) {
  assert_equal(bl.size(), bf.size());
  const TabulatedProfile profile(bl, bf);
  return _integrated_witt_mao_magnification(std::move(l), re, rstar, profile, profile.norm());
}

} // namespace tessarin::models
