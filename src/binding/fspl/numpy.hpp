// The NumPy C API of the `tessarin.fspl` functions.
//
// Every file of the binding that calls NumPy includes this header and no
// NumPy header of its own: it shares one table of API pointers
// (PY_ARRAY_UNIQUE_SYMBOL), defined in numpy.cpp and filled at the first
// call of an fspl function, not when `tessarin` is imported, so that the
// seven other functions need no NumPy at all.
//
// The target version fixes the oldest NumPy the built module runs with:
// NumPy 2 headers build code that runs on every NumPy from the target on
// (https://numpy.org/doc/stable/dev/depending_on_numpy.html). 1.23 is the
// headers' own default from NumPy 2.3 on, written out here so that newer
// headers cannot raise it silently; it is the `numpy>=1.23` of
// pyproject.toml.
#pragma once

#define NPY_TARGET_VERSION NPY_1_23_API_VERSION
#define NPY_NO_DEPRECATED_API NPY_1_23_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL tessarin_fspl_numpy_api
#ifndef TESSARIN_DEFINE_NUMPY_API
#define NO_IMPORT_ARRAY
#endif

#include <Python.h>

#include <numpy/arrayobject.h>

#include <optional>

#include "binding/error.hpp"

namespace tessarin::binding::fspl {

// The version string of the oldest NumPy the module runs with.
inline constexpr const char *NUMPY_FLOOR = "1.23";

// Imports NumPy and fills the API table the first time it is called, with
// the interpreter lock held. An ImportError names what to install.
std::optional<BoundaryError> import_numpy();

} // namespace tessarin::binding::fspl
