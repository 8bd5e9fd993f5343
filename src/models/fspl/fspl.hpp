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

#include "models/fspl/basis.hpp"
#include "models/fspl/law.hpp"
#include "models/fspl/profile.hpp"
#include "stop.hpp"

namespace tessarin::models::fspl {

// The disk part of the integrand at a batch of nodes (models/fspl/disk_lanes.hpp).
using ExcessBatch = void (*)(double u, double rho, double g0, const double *mu, double *out,
                             std::size_t count) noexcept;

// disk_magnification - 1 of a batch of disks (models/fspl/disk_lanes.hpp).
using DiskBatch = void (*)(const double *u, const double *R, double *out,
                           std::size_t count) noexcept;

// The steps of the tanh-sinh rule that an evaluator uses (models/fspl/fspl.cpp).
struct Ladder {
  int first_stride; // the first step, in steps of the node table
  int last_node;    // the last node summed
};

// The cuts of the quadrature over mu, in increasing order from 0 to 1: the
// kink where a disk's limb passes through the lens (z = u / rho < 1) and a
// table's nodes; returns how many (at most MAX_TABLE_NODES + 3).
int quadrature_cuts(double z, const Profile &profile, double *cuts) noexcept;

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

  // One element with its derivatives (models/fspl/gradient.cpp): out[0] = A
  // (the bits operator() gives), out[1] = dA/du, out[2] = dA/drho and
  // out[3 + j] = dA/d(coefficient j), 3 + coefficient_count(law) values.
  void gradient(double u, double rho, const double *coefficients, double *out);
  // As run, with those 3 + coefficient_count(law) outputs after the inputs.
  bool run_gradient(std::size_t count, char *const *data, const std::ptrdiff_t *strides,
                    StopCheck stop);

private:
  // Whether the far-field expansion serves (u, z = u / rho).
  bool in_far_field(double u, double z) const noexcept;
  // Whether an element needs the uniform disk's closed form at its own
  // (u, rho): a valid element short of the far-field expansion.
  bool needs_disk(double u, double rho) const noexcept;
  // One element; `disk` points at its disk_magnification(u, rho) - 1 when
  // the caller computed it (for the elements that need it), else nullptr.
  double evaluate(double u, double rho, const double *coefficients, const double *disk);

  // The profile of the last coefficients seen, with its moments N_0 and
  // N_k / (N_0 (k!)^2) (k >= 1): a light curve or a grid keeps its coefficients
  // from one element to the next.
  bool profile_for(const double *coefficients) noexcept;

  Law law_;
  double rtol_;
  const Table *table_;
  Ladder ladder_;
  ExcessBatch excess_;
  DiskBatch disks_;
  double series_from_;
  bool cached_ = false, cached_valid_ = false;
  double cached_coefficients_[4] = {};
  Profile profile_;
  double moments_[10] = {};
  // The profile as a mix of the tables' basis profiles, and the lowest
  // interpolation order worth trying at this tolerance (0: no tables).
  BasisMix mix_;
  int first_order_;
  BasisTables tables_;
  // For derivatives: the profiles dI/dtheta of the last coefficients, their
  // moments N_k (k = 0 .. 9), and the profile and those over the basis
  // (`over_basis` false when one of them is outside it).
  bool with_derivatives_ = false;
  Profile derivatives_[4];
  double derivative_moments_[4][10] = {};
  bool over_basis_ = false;
  double basis_of_profile_[1 + basis::BASES] = {};
  double basis_of_derivative_[4][1 + basis::BASES] = {};
};

} // namespace tessarin::models::fspl
