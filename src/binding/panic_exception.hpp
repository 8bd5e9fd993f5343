// PanicException, the class of the fatal errors that reach Python, and the
// way back from Python code that raised one again.
#pragma once

#include <Python.h>

#include <string>

#include "binding/boundary_error.hpp"
#include "binding/indicator.hpp"

namespace tessarin::binding {

// The PanicException class (borrowed); created on first use.
PyObject *panic_exception_type();

// A fatal error's message as the PanicException raised in its place.
BoundaryError from_panic_payload(std::string message);

// A PanicException raised again by Python code: report it, print it with its
// traceback and start a fatal error with the same message, which the entry
// point raises as a new PanicException.
[[noreturn]] void resume_panic(Pending pending);

} // namespace tessarin::binding
