// One call of an fspl function over broadcast NumPy operands.
#pragma once

#include "binding/fspl/numpy.hpp"

#include <span>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "models/fspl/fspl.hpp"

namespace tessarin::binding::fspl {

// Evaluates `law` over `inputs` (float64 arrays in the kernel's order: u,
// rho, the coefficients), broadcast together, into `outs` (given, or all
// allocated when empty): one output, the magnification, or with `gradient`
// 3 + coefficient_count(law) of them (A, dA/du, dA/drho, dA/dcoefficient),
// with the interpreter lock let go. Returns the output (a tuple of them
// with `gradient`): the given arrays, new ones, or numpy.float64 when none
// was given and every input has no dimension.
Expected<PyObject *> evaluate(models::fspl::Law law, std::span<const Owned> inputs,
                              const models::fspl::Table *table, double rtol, std::span<Owned> outs,
                              bool gradient);

} // namespace tessarin::binding::fspl
