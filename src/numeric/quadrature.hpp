// Double-exponential (tanh-sinh) quadrature over a finite interval.
//
// H. Takahasi and M. Mori, "Double exponential formulas for numerical
// integration", Publ. RIMS Kyoto Univ. 9 (1974) 721-741. The interval [a, b]
// is mapped onto [-1, 1] and the trapezoidal rule in t, after the substitution
// x = tanh((pi/2) sinh t), is refined by halving its step through the seven
// levels of DE_NODES. Each level adds only the new points, so the estimate of
// level k is half the estimate of level k - 1 plus the new sum. `stop` is
// asked before each level; when it says stop, the estimate so far is
// returned, for the caller to discard.
//
// Every operation below is one rounded double operation in the order written;
// the results are reproducible to the last bit (the build forbids FMA
// contraction).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "math_constants.hpp"
#include "numeric/de_nodes.hpp"
#include "stop.hpp"

namespace tessarin::quadrature::double_exponential {

struct QuadratureOutput {
  double integral;
  // Estimate of the absolute error of `integral`, on the scale of [a, b]
  // (negative when b < a, like the integral).
  double error_estimate;
  // Number of calls of the integrand: 25 at least, 385 at most.
  std::uint32_t evaluations;
};

// The points of one call of the rule at most: the pairs of the last level.
inline constexpr std::size_t DE_MAX_BATCH =
    2 * (DE_LEVEL_END[DE_LEVELS - 1] - DE_LEVEL_END[DE_LEVELS - 2]);

// Integral over [a, b] (b < a gives the negated integral) with the requested
// absolute error `tolerance`, of the function that `batch` evaluates:
// batch(x, y, n) sets y[i] = f(x[i]) for i < n, n <= DE_MAX_BATCH, so that
// an integrand may evaluate the points of a level together (as lanes of a
// vector). The points come in a fixed order: the centre, then for each pair
// of each level the point right of the centre before the one left of it. A
// non-finite value of f counts as 0: it is the integrand's only way to
// signal a failure. Non-convergence is not an error: after the last level
// the last estimate is returned with its error estimate.
template <class Batch>
QuadratureOutput integrate_batches(Batch &&batch, double a, double b, double tolerance,
                                   StopCheck stop = {}) {
  const double c = (b - a) * 0.5; // half-width
  const double d = (a + b) * 0.5; // centre
  auto finite_or_zero = [](double v) { return std::isfinite(v) ? v : 0.0; };
  double x[DE_MAX_BATCH];
  double y[DE_MAX_BATCH];

  // The rule works on [-1, 1], so the tolerance is scaled by 1/c, and a
  // quarter of it is demanded of the error estimate there. For c < 0 the
  // bound is negative and never met: all levels run.
  const double tau = (tolerance * 0.25) / c;

  // The centre carries weight pi/2 at step 1; it enters with weight pi
  // because the first level halves the running estimate before adding.
  x[0] = 0.0 * c + d;
  batch(static_cast<const double *>(x), static_cast<double *>(y), std::size_t{1});
  double integral = finite_or_zero(y[0]) * PI;
  std::uint32_t evaluations = 1;
  double error = std::numeric_limits<double>::max();
  double difference = std::numeric_limits<double>::max();

  std::size_t begin = 0;
  for (const std::size_t end : DE_LEVEL_END) {
    if (stop()) break;
    const double previous = difference;
    std::size_t k = 0;
    for (std::size_t j = begin; j < end; ++j, k += 2) {
      const double xc = DE_NODES[j].abscissa * c;
      x[k] = xc + d;
      x[k + 1] = d - xc;
    }
    batch(static_cast<const double *>(x), static_cast<double *>(y), k);
    double sum = 0.0;
    k = 0;
    for (std::size_t j = begin; j < end; ++j, k += 2) {
      const double w = DE_NODES[j].weight;
      const double right = finite_or_zero(y[k]);
      const double left = finite_or_zero(y[k + 1]);
      sum = sum + (left + right) * w;
    }
    evaluations = evaluations + 2 * static_cast<std::uint32_t>(end - begin);
    begin = end;

    const double signed_difference = integral * 0.5 - sum;
    difference = std::fabs(signed_difference);
    integral = integral * 0.5 + sum;

    // Levels 0 and 1 (7 and 13 evaluations) are too coarse to judge.
    if (evaluations < 14) continue;
    if (signed_difference == 0.0) {
      error = 0.0;
      break;
    }
    // Once the rule converges double-exponentially, each halving of the step
    // roughly squares the difference: ln(delta_k) / ln(delta_{k-1}) near 2.
    // Then the next difference, about delta^2, is the better error estimate.
    const double ratio = std::log(difference) / std::log(previous);
    if (1.9 < ratio && ratio < 2.1) {
      error = signed_difference * signed_difference;
    } else {
      error = difference;
    }
    if (tau > error) break;
  }
  return QuadratureOutput{integral * c, error * c, evaluations};
}

// A function of one double as a batch: its values one point after another.
template <class F> auto one_by_one(F &f) {
  return [&f](const double *x, double *y, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      y[i] = f(x[i]);
  };
}

// The same rule for f, any callable from double to double, called once per
// point in the order above.
template <class F>
QuadratureOutput integrate(F &&f, double a, double b, double tolerance, StopCheck stop = {}) {
  return integrate_batches(one_by_one(f), a, b, tolerance, stop);
}

} // namespace tessarin::quadrature::double_exponential
