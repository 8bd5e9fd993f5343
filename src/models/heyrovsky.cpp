#include "models/magnification_floor.hpp"
#include "models/models.hpp"
#include "models/ring.hpp"

namespace tessarin::models {

Result<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  const auto a = RingLens(re, rstar)(l, r);
  // Only eta^2 enters the ring mean, so the signs of re and rstar do not
  // matter; negative lengths give meaningless values, left as they come.
  if (a && l >= 0 && r >= 0) return at_least_one(a.value());
  return a;
}

} // namespace tessarin::models
