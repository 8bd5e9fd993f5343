// The surface-brightness laws of the fitting family and the I(mu) table,
// shared by the profiles and the evaluator.
#pragma once

#include <cstddef>
#include <vector>

namespace tessarin::models::fspl {

// The surface-brightness laws, mu = sqrt(1 - r^2) with r in source radii.
enum class Law {
  uniform,     // 1
  linear,      // 1 - c (1 - mu)
  quadratic,   // 1 - a (1 - mu) - b (1 - mu)^2
  square_root, // 1 - c (1 - mu) - d (1 - sqrt(mu))
  logarithmic, // 1 - c (1 - mu) - d mu ln(mu)
  power2,      // 1 - c (1 - mu^alpha)
  claret,      // 1 - sum_k a_k (1 - mu^(k/2)), k = 1..4
  tabulated,   // linear in mu between the nodes of a table
};

// How many broadcast coefficients follow u and rho for `law`.
constexpr int coefficient_count(Law law) noexcept {
  switch (law) {
    case Law::uniform:
    case Law::tabulated:
      return 0;
    case Law::linear:
      return 1;
    case Law::claret:
      return 4;
    default:
      return 2;
  }
}

// The bounds of the relative tolerance that the functions promise to meet.
inline constexpr double MIN_RTOL = 1e-12;
inline constexpr double MAX_RTOL = 1e-3;

// The most nodes a table may have (each adds a piece to the integral).
inline constexpr std::size_t MAX_TABLE_NODES = 256;

// An I(mu) table, checked by check_table before use.
struct Table {
  std::vector<double> mu;
  std::vector<double> intensity;
};

// nullptr for a usable table; otherwise a fixed message saying what is wrong
// (lengths differ, fewer than two nodes or more than MAX_TABLE_NODES, mu
// not increasing, not running
// from 0 to 1, a negative or non-finite intensity, no flux at all).
const char *check_table(const Table &table) noexcept;

} // namespace tessarin::models::fspl
