#include "models/models.hpp"
#include "models/ring.hpp"

namespace tessarin::models {

Result<double> heyrovsky_magnification(double l, double r, double re, double rstar) {
  return RingLens(re, rstar)(l, r);
}

} // namespace tessarin::models
