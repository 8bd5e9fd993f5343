// Piecewise-linear interpolation of a table (x[j], y[j]) with a rule for
// values outside it.
//
// Of x and y only the first n = min(len x, len y) pairs form the table. The
// segment for xp is found by a scan from the start: the last index k of the
// unbroken run x[0] < xp, x[1] < xp, ... (k = 0 when xp <= x[0] or xp is NaN),
// capped at n - 2. For ascending x that is the segment x[i] < xp <= x[i+1],
// so a value equal to a table point falls into the segment on its left. The
// value is slope * xp + intercept with
//   slope = (y[i+1] - y[i]) / (x[i+1] - x[i]),  intercept = y[i] - x[i] * slope,
// so at a table point it equals y only up to rounding. Nothing is checked:
// unsorted or repeated abscissas and NaN pass through to the result; the
// range tests look at the first and the last point of x, whatever their order.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "numeric/lanes.hpp"

namespace tessarin::interp {

// What to return for xp < x[0] or xp > x[n - 1].
struct OutOfRange {
  enum class Kind { Extend, HoldEnds, Fill };
  Kind kind;
  double fill; // the value of Fill; 0 for the other kinds

  // Continue the end segment's straight line.
  static constexpr OutOfRange Extend() noexcept { return {Kind::Extend, 0.0}; }
  // y[0] below the table, y[n - 1] above it.
  static constexpr OutOfRange HoldEnds() noexcept { return {Kind::HoldEnds, 0.0}; }
  // The constant c on both sides.
  static constexpr OutOfRange Fill(double c) noexcept { return {Kind::Fill, c}; }
};

// The table's value at xp: 0 for an empty table, y[0] for a one-point table
// (whatever xp and the rule), NaN for a NaN xp otherwise. O(n); allocates
// nothing.
double interp(std::span<const double> x, std::span<const double> y, double xp, OutOfRange rule);

// The same interpolation for a table evaluated many times: the slopes and
// intercepts are computed once, by the same operations, and the segment is
// found in O(log n) by bisection over the running maximum of x, on which the
// scan above stops at the same index whatever the order of x (see
// segment()). Every result is bit for bit the one of interp(x, y, xp, rule).
// Copies the table; evaluation allocates nothing.
class LinearTable {
public:
  LinearTable(std::span<const double> x, std::span<const double> y);

  double operator()(double xp, OutOfRange rule) const noexcept;

  // The same with the rule Fill(fill), at one point or at the lanes of xp
  // (numeric/lanes.hpp), every lane reading its own segment: bit for bit
  // what operator() gives.
  template <class V> V filled(V xp, double fill) const noexcept {
    const std::size_t n = reach_.size();
    if (n == 0) return 0.0;
    if (n == 1) return y_first_;
    V v;
    if constexpr (lanes::width<V> == 1) {
      const std::size_t i = segment(xp);
      v = slopes_[i] * xp + intercepts_[i];
    } else {
      const V i = segment_lanes(xp);
      v = lanes::gather(slopes_.data(), i) * xp + lanes::gather(intercepts_.data(), i);
    }
    // The range rule, both tests strict: a NaN xp fails both and keeps v,
    // which is then NaN.
    return lanes::select((x_first_ > xp) || (xp > x_last_), V(fill), v);
  }

  // The number n of pairs in the table.
  std::size_t size() const noexcept { return reach_.size(); }

private:
  // The index the scan of interp() finds, for n >= 2. Once xp > x[0] (so
  // xp is not NaN), the scan passes x[1], ..., x[j] exactly when every one
  // of them is below xp, that is when their maximum is: a NaN stops the
  // scan, and as +infinity it stops the bisection too (not even an infinite
  // xp is above it). The running maximum is non-decreasing, so
  // "reach_[j] < xp" holds on a prefix of j = 1 ... n - 2, and the index is
  // the length of that prefix: found by bisection, in O(log n) for sorted,
  // nearly sorted and unsorted tables alike.
  std::size_t segment(double xp) const noexcept;

  // The same over lanes (the index as a double, exact): a bisection whose
  // steps depend on n alone, so that the lanes take them together, each
  // reading its own entries.
  template <class V> V segment_lanes(V xp) const noexcept {
    const double *below = reach_.data() + 1;
    std::size_t length = reach_.size() - 2;
    V base = 0.0;
    if (length > 0) {
      while (length > 1) {
        const double half = static_cast<double>(length / 2);
        base = lanes::select(lanes::gather(below, base + half) < xp, base + half, base);
        length -= length / 2;
      }
      base = lanes::select(lanes::gather(below, base) < xp, base + 1.0, base);
    }
    return lanes::select(xp > x_first_, base, V(0.0));
  }

  // reach_[j] = max(x[0], ..., x[j]), a NaN counting as +infinity: the
  // largest abscissa the scan has passed when it reaches j. Non-decreasing.
  std::vector<double> reach_;
  std::vector<double> slopes_; // of the n - 1 segments
  std::vector<double> intercepts_;
  double x_first_ = 0.0; // x[0], x[n - 1], y[0], y[n - 1] (0 for an empty table)
  double x_last_ = 0.0;
  double y_first_ = 0.0;
  double y_last_ = 0.0;
};

} // namespace tessarin::interp
