// A radial brightness profile given as a table of radii and brightnesses:
// linear between the points, dark outside them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "models/integrated.hpp"
#include "models/models.hpp"
#include "numeric/interp.hpp"
#include "numeric/lanes.hpp"

namespace tessarin::models {

// At most this many jump radii split the integrals: with the split at the
// lens, a separation then costs at most MAX_JUMPS + 2 integrals (up to 385
// profile and magnification evaluations each; a dark piece stops after 25).
// A table with more jumps is split at the MAX_JUMPS largest ones, measured
// by the jump of 2 pi r I(r) that the normalisation sees; the rule
// integrates across the others, which costs accuracy in proportion to their
// size.
inline constexpr std::size_t MAX_JUMPS = 16;

class TabulatedProfile {
public:
  TabulatedProfile(const Vector &bl, const Vector &bf)
      : table_(bl, bf), jumps_(find_jumps(bl, bf)),
        non_negative_(std::all_of(bf.begin(), bf.end(), [](double b) { return b >= 0; })) {}

  // The brightness at r, or at the lanes of r.
  template <class V> V operator()(V r) const noexcept { return table_.filled(r, 0.0); }

  // The radii inside (0, 1) where the brightness jumps, ascending: where the
  // table begins with a brightness other than 0 (dark below it), where it
  // ends with one (dark above it), and every radius given twice with two
  // different brightnesses (a step). At most MAX_JUMPS of them.
  std::span<const double> jumps() const noexcept { return jumps_; }

  // Whether every brightness is 0 or more (none negative or NaN).
  bool non_negative() const noexcept { return non_negative_; }

  // The integral of 2 pi r P(r) over [0, 1] by the same rule, cut at the
  // same jumps, that integrates the magnified flux, so that its end slivers
  // cancel.
  double norm(StopCheck stop = {}) const {
    const auto flux = [this](double r) { return (TWO_PI * r) * (*this)(r); };
    return integrate_in_pieces(flux, jumps_, std::numeric_limits<double>::quiet_NaN(), stop);
  }

private:
  static std::vector<double> find_jumps(const Vector &bl, const Vector &bf) {
    const std::size_t n = std::min(bl.size(), bf.size());
    // (radius, size of the jump of 2 pi r I(r) up to the factor 2 pi)
    std::vector<std::pair<double, double>> found;
    const auto add = [&](double r, double step) {
      if (!(0 < r && r < 1) || step == 0) return;
      const double size = std::fabs(step) * r;
      // A NaN brightness on either side is no smaller than any jump.
      found.emplace_back(r, std::isnan(size) ? std::numeric_limits<double>::infinity() : size);
    };
    if (n >= 2) { // one point is a uniform source, with no edge
      add(bl[0], bf[0]);
      add(bl[n - 1], bf[n - 1]);
      for (std::size_t i = 0; i + 1 < n; ++i)
        if (bl[i] == bl[i + 1] && !(bf[i] == bf[i + 1])) add(bl[i], bf[i + 1] - bf[i]);
    }
    // One entry per radius, its jumps added up.
    std::sort(found.begin(), found.end());
    std::vector<std::pair<double, double>> merged;
    for (const auto &[r, size] : found) {
      if (!merged.empty() && merged.back().first == r) {
        merged.back().second += size;
      } else {
        merged.emplace_back(r, size);
      }
    }
    if (merged.size() > MAX_JUMPS) {
      // The largest jumps, the smaller radius first among equals.
      std::stable_sort(merged.begin(), merged.end(),
                       [](const auto &a, const auto &b) { return a.second > b.second; });
      merged.resize(MAX_JUMPS);
      std::sort(merged.begin(), merged.end());
    }
    std::vector<double> radii;
    radii.reserve(merged.size());
    for (const auto &entry : merged)
      radii.push_back(entry.first);
    return radii;
  }

  interp::LinearTable table_;
  std::vector<double> jumps_;
  bool non_negative_;
};

} // namespace tessarin::models
