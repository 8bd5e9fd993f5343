#include <limits>

#include "models/models.hpp"
#include "models/ring.hpp"
#include "panic.hpp"

namespace tessarin::models {

// A source given as discrete rings: the sum of the ring magnifications
// weighted by the ring fluxes (not normalised by the total flux).
Result<Vector> discrete_flux_map_heyrovsky_magnification(Vector l, double re, double rstar,
                                                         Vector bl, Vector bf, StopCheck stop) {
  assert_equal(bl.size(), bf.size());
  const RingLens ring(re, rstar);
  Vector out;
  out.reserve(l.size());
  for (const double x : l) {
    double sum = 0.0;
    for (std::size_t i = 0; i < bl.size(); ++i) {
      if (stop.every(1024)) return out;
      const auto a = ring(x, bl[i]);
      if (!a) return a.failure();
      // A ring of no flux adds nothing, even through the lens (0 * inf).
      const double flux = bf[i] == 0 && a.value() == std::numeric_limits<double>::infinity()
                              ? 0.0
                              : a.value() * bf[i];
      sum = sum + flux;
    }
    out.push_back(sum);
  }
  return out;
}

} // namespace tessarin::models
