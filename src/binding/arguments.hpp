// Binding the arguments of a fast call to the parameters of a function.
//
// CPython hands a METH_FASTCALL | METH_KEYWORDS function the positional
// values followed by the keyword values, and a tuple with the keyword names.
// Binding puts a borrowed reference to each value into the slot of its
// parameter; it creates no Python object unless it fails.
#pragma once

#include <Python.h>

#include <optional>
#include <span>

#include "binding/error.hpp"
#include "binding/ref.hpp"

namespace tessarin::binding {

// A module-level function whose `parameters` are all positional-or-keyword
// and required, followed by optional `keyword_only` ones.
struct FunctionDescription {
  const char *name;
  std::span<const char *const> parameters;
  std::span<const char *const> keyword_only = {};
};

// Fills `slots` (one per parameter, then one per keyword-only parameter,
// all empty on entry; a keyword-only parameter not given stays empty). On
// failure the TypeError that Python's own functions would raise, naming
// the function.
std::optional<BoundaryError> bind(const FunctionDescription &function, PyObject *const *args,
                                  Py_ssize_t nargs, PyObject *kwnames, Borrowed *slots);

} // namespace tessarin::binding
