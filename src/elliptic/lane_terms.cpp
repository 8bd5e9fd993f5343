// The scalar pieces that the vector kernels call lane by lane, compiled for
// the baseline instruction set (see the declarations).
#include "elliptic/carlson.hpp"

namespace tessarin::carlson::internal {

Result<double> rj_sum_term_lane(double e, double b) {
  return rj_sum_term(e, b);
}

} // namespace tessarin::carlson::internal
