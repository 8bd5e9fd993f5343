// Radial brightness profiles of the source.
#pragma once

#include <cmath>

#include "numeric/lanes.hpp"

namespace tessarin::models {

// Linear limb darkening with coefficient 0.6:
// I(r) = 1 - 0.6 (1 - sqrt(1 - r^2)), 1 at the centre and 0.4 at the limb.
// At one radius or at the lanes of several (numeric/lanes.hpp).
struct DefaultProfile {
  template <class V> V operator()(V r) const noexcept {
    const V q = r * r;
    const V w = lanes::sqrt(1.0 - q);
    return (1.0 - w) * (-0.6) + 1.0;
  }
};

// The integral of 2 pi r I(r) over [0, 1] for the default profile as the
// double-exponential rule computes it at tolerance 1e-16, bit for bit (the
// closed form 0.8 pi is 2.5132741228718345). Dividing by the rule's own
// value cancels its end slivers between numerator and normalisation.
inline constexpr double DEFAULT_PROFILE_NORM = 2.5132741228717936;

} // namespace tessarin::models
