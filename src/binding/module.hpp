// Filling a freshly created module with its functions.
#pragma once

#include <Python.h>

#include <optional>

#include "binding/error.hpp"
#include "binding/ref.hpp"

namespace tessarin::binding {

// Creates the function object of `method` (which must live for the process),
// appends its name to the module's `__all__` (made on first use) and sets it
// as a module attribute.
std::optional<BoundaryError> add_function(Borrowed module, PyMethodDef *method);

} // namespace tessarin::binding
