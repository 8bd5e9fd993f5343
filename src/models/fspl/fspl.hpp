// Finite-source point-lens magnification for fitting: the mean point-lens
// magnification over a limb-darkened disk of radius rho (Einstein radii)
// whose centre lies at u (Einstein radii) from the lens, for the common
// limb-darkening laws and for a tabulated I(mu) profile, to a relative
// error bound chosen by the caller.
//
// Everything here works on plain doubles; the caller owns the arrays. An
// element whose inputs are not a valid source gives NaN, never an error.
#pragma once

#include <cstddef>
#include <vector>

#include "stop.hpp"

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

// The disk part of the integrand at a batch of nodes (models/fspl/disk_lanes.hpp).
using ExcessBatch = void (*)(double u, double rho, double g0, const double *mu, double *out,
                             std::size_t count) noexcept;

// The steps of the tanh-sinh rule that an evaluator uses (models/fspl/fspl.cpp).
struct Ladder {
  int first_stride; // the first step, in steps of the node table
  int last_node;    // the last node summed
};

// Evaluates one law at one tolerance over many elements. Built once per
// call (cheap); not shared between threads.
class Evaluator {
public:
  // `table` is read only for Law::tabulated and must outlive the evaluator.
  Evaluator(Law law, double rtol, const Table *table = nullptr);

  // One element: `coefficients` holds coefficient_count(law) values.
  double operator()(double u, double rho, const double *coefficients);

  // `count` elements of strided operands, in the order u, rho, the
  // coefficients, then the output: data[i] points at operand i's first
  // element and strides[i] is its step in bytes (0 for a broadcast
  // operand). Polls `stop` now and then; returns false if it said stop
  // (the outputs are then to be discarded).
  bool run(std::size_t count, char *const *data, const std::ptrdiff_t *strides, StopCheck stop);

private:
  Law law_;
  double rtol_;
  const Table *table_;
  Ladder ladder_;
  ExcessBatch excess_;
};

} // namespace tessarin::models::fspl
