// Mean point-lens magnification over a thin ring of the source:
// D. Heyrovsky, ApJ 594 (2003) 464, in complete elliptic integrals of the
// first and third kinds, with a logarithmic expansion where the lens lies on
// or next to the ring.
#include <cmath>
#include <limits>

#include "elliptic/legendre.hpp"
#include "models/models.hpp"
#include "models/uniform_disk.hpp"

namespace tessarin::models {

namespace {

// Leading terms of the ring mean for |r - l| << l: the logarithmic
// divergence on the ring plus the first-order correction in r - l.
double near_ring(double l, double eta, double eta2, double d) {
  const double l2 = l * l;
  const double c1 = (1 - d / (l + l)) * ((eta + eta) / l);
  const double L = std::log(((8 * eta) * l) / (std::sqrt(l2 + eta2) * std::fabs(d)));
  const double T = std::atan(l / eta) * 4;
  const double X = (((l2 + l2) + eta2) * eta) / ((l2 + eta2) * l2) * d;
  return ((L * c1 + T) + X) / TWO_PI;
}

} // namespace

Result<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double eta = re / rstar;
  const double eta2 = eta * eta;
  const double d = r - l;

  // The expansion holds while |r - l| is small against l, so the window is
  // relative to the separation (and empty for a lens at the centre). It
  // takes |r - l| in its logarithm and the signed r - l in its corrections,
  // which serves both sides of the ring.
  if (std::fabs(d) < 1e-5 * l) return near_ring(l, eta, eta2, d);
  // A ring of radius 0 around the lens: no finite mean.
  if (l == 0 && r == 0) return std::numeric_limits<double>::quiet_NaN();

  const double s = l + r;
  const double d2 = d * d;
  const double w = eta2 * 4 + d2;
  // m = 16 eta^2 l r / ((l + r)^2 (4 eta^2 + (r - l)^2)), formed as a root
  // that is then squared; n = 4 l r / (l + r)^2.
  const double k = std::sqrt((l * r) / w) * ((eta * 4) / s);
  const double m = k * k;
  const auto K = legendre::ellipk(m);
  if (!K) return K.failure();
  const double n = ((l * 4) * r) / (s * s);
  const auto P = legendre::ellippi(n, m);
  if (!P) return P.failure();
  return ((eta2 + eta2) * K.value() + d2 * P.value()) * (4 / (s * std::sqrt(w))) / TWO_PI;
}

} // namespace tessarin::models
