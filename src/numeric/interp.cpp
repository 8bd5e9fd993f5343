#include "numeric/interp.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessarin::interp {
namespace {

struct Segment {
  double slope;
  double intercept;
};

// The straight line through (x0, y0) and (x1, y1), in the one order of
// operations that both entry points share.
Segment line_through(double x0, double x1, double y0, double y1) noexcept {
  const double slope = (y1 - y0) / (x1 - x0);
  return Segment{slope, y0 - x0 * slope};
}

// The range rule, tested in this order, both tests strict: a NaN xp fails
// both and keeps v, which is then NaN.
double apply_rule(double v, double xp, double x_first, double x_last, double y_first, double y_last,
                  OutOfRange rule) noexcept {
  if (x_first > xp || xp > x_last) {
    switch (rule.kind) {
      case OutOfRange::Kind::Extend:
        return v;
      case OutOfRange::Kind::HoldEnds:
        return x_first > xp ? y_first : y_last;
      case OutOfRange::Kind::Fill:
        return rule.fill;
    }
  }
  return v;
}

} // namespace

double interp(std::span<const double> x, std::span<const double> y, double xp, OutOfRange rule) {
  const std::size_t n = std::min(x.size(), y.size());
  if (n == 0) return 0.0;
  if (n == 1) return y[0];

  // Linear scan: j stops at the first x[j] (1 <= j <= n - 2) that is not
  // below xp; scanning further could only give a segment past n - 2.
  std::size_t i = 0;
  if (xp > x[0]) {
    std::size_t j = 1;
    while (j < n - 1 && x[j] < xp)
      ++j;
    i = j - 1;
  }
  const Segment s = line_through(x[i], x[i + 1], y[i], y[i + 1]);
  const double v = s.slope * xp + s.intercept;
  return apply_rule(v, xp, x[0], x[n - 1], y[0], y[n - 1], rule);
}

LinearTable::LinearTable(std::span<const double> x, std::span<const double> y) {
  const std::size_t n = std::min(x.size(), y.size());
  if (n == 0) return;
  x_first_ = x[0];
  x_last_ = x[n - 1];
  y_first_ = y[0];
  y_last_ = y[n - 1];
  slopes_.reserve(n - 1);
  intercepts_.reserve(n - 1);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const Segment s = line_through(x[i], x[i + 1], y[i], y[i + 1]);
    slopes_.push_back(s.slope);
    intercepts_.push_back(s.intercept);
  }
  reach_.reserve(n);
  double reach = -std::numeric_limits<double>::infinity();
  for (std::size_t j = 0; j < n; ++j) {
    if (std::isnan(x[j])) {
      reach = std::numeric_limits<double>::infinity();
    } else if (x[j] > reach) {
      reach = x[j];
    }
    reach_.push_back(reach);
  }
}

std::size_t LinearTable::segment(double xp) const noexcept {
  if (!(xp > x_first_)) return 0;
  const auto below = [xp](double v) { return v < xp; };
  const auto j = std::partition_point(reach_.begin() + 1, reach_.end() - 1, below);
  return static_cast<std::size_t>(j - reach_.begin()) - 1;
}

double LinearTable::operator()(double xp, OutOfRange rule) const noexcept {
  const std::size_t n = reach_.size();
  if (n == 0) return 0.0;
  if (n == 1) return y_first_;
  const std::size_t i = segment(xp);
  const double v = slopes_[i] * xp + intercepts_[i];
  return apply_rule(v, xp, x_first_, x_last_, y_first_, y_last_, rule);
}

} // namespace tessarin::interp
