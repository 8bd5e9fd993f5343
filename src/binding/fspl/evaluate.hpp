// One call of an fspl function over broadcast NumPy operands.
#pragma once

#include "binding/fspl/numpy.hpp"

#include <span>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "models/fspl/fspl.hpp"

namespace tessarin::binding::fspl {

// Evaluates `law` over `inputs` (float64 arrays in the kernel's order: u,
// rho, the coefficients), broadcast together, into `out` (given, or
// allocated when empty), with the interpreter lock let go. Returns `out`,
// the new array, or a numpy.float64 when no `out` was given and every
// input has no dimension.
Expected<PyObject *> evaluate(models::fspl::Law law, std::span<const Owned> inputs,
                              const models::fspl::Table *table, double rtol, Owned out);

} // namespace tessarin::binding::fspl
