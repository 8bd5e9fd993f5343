// The interpreter's error indicator: taking the pending exception out of it,
// putting one back, and interpreter calls that must not fail.
#pragma once

#include <Python.h>

#include <optional>
#include <source_location>
#include <string>

#include "binding/boundary_error.hpp"
#include "binding/ref.hpp"

namespace tessarin::binding {

// A pending exception moved out of the indicator.
struct Pending {
  Owned type;
  Owned value;
  Owned traceback;
};

// Moves the interpreter's pending exception out, with its instance made;
// empty when none is pending.
Pending fetch_normalized() noexcept;

// Puts a pending exception back into the indicator.
void restore(Pending pending) noexcept;

// Takes the pending exception out of the interpreter; nothing when none is
// pending. A PanicException that comes back from Python code (raised again
// by an object's `__float__`, `__len__`, ...) is not an error of that code:
// it is resumed as a fatal error with the same message.
std::optional<BoundaryError> take();

// `take`, for an interpreter call that reported failure: SystemError when
// the interpreter set no exception.
BoundaryError take_or_system_error();

// For an interpreter call that must not fail: a null `result` prints the
// pending exception and is a fatal error "Python API call failed", unless
// the interpreter ran out of memory: then it throws std::bad_alloc, which
// the entry point raises as MemoryError, printing nothing.
PyObject *must(PyObject *result, std::source_location where = std::source_location::current());

// "<class name>: <text>" for the exception pending in the interpreter, which
// is cleared: for the messages of fatal errors.
std::string describe_pending_exception();

} // namespace tessarin::binding
