// The exceptions of the module boundary.
//
// A failing call builds a `BoundaryError` and hands it back up to its entry
// point, which raises it in the interpreter and returns NULL. The error is
// kept in one of two forms:
//   - deferred: an exception class and the message to build it from; the
//     instance is made only when the error is raised (most errors of a call
//     are raised straight away, some are only looked at and replaced);
//   - taken: an exception that the interpreter raised, taken out of its
//     error indicator with the instance already made.
// Dropping an error that was never raised releases it without effect.
#pragma once

#include <Python.h>

#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "binding/ref.hpp"

namespace tessarin::binding {

class BoundaryError {
public:
  // Deferred error of a class that lives for the process (a built-in
  // exception class or PanicException) with a message.
  static BoundaryError deferred(PyObject *type, std::string message);
  // Deferred PanicException: its argument is a one-element tuple holding the
  // message, so that `args` is that tuple. Creates the class on first use.
  static BoundaryError panic_exception(std::string message);
  // An exception taken out of the interpreter, normalised.
  static BoundaryError taken(Owned type, Owned value, Owned traceback);

  BoundaryError(BoundaryError &&) noexcept = default;
  BoundaryError &operator=(BoundaryError &&) noexcept = default;

  // The exception class (borrowed).
  PyObject *type() const noexcept { return type_.get(); }
  // True when the class is `type` or a subclass of it.
  bool matches(PyObject *type) const noexcept;

  // The exception instance, made now if the error is still deferred. Another
  // Python thread may run while it is made.
  Borrowed instance();

  // Sets the interpreter's error indicator; the instance exists afterwards.
  void raise() &&;

private:
  BoundaryError() = default;

  Owned type_;
  std::string message_;         // deferred only
  bool tuple_argument_ = false; // deferred only
  Owned value_;                 // taken only
  Owned traceback_;             // taken only, may be empty
};

// Either a value or the error that stopped the computation of it.
template <class T> class [[nodiscard]] Expected {
public:
  Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Expected(BoundaryError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const noexcept { return state_.index() == 0; }
  T &value() noexcept { return *std::get_if<0>(&state_); }
  BoundaryError &error() noexcept { return *std::get_if<1>(&state_); }

private:
  std::variant<T, BoundaryError> state_;
};

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

// A new `str` from UTF-8 text; fatal when it cannot be made.
Owned make_str(std::string_view text, std::source_location where = std::source_location::current());

// An attribute of an object; empty, with the exception pending, on failure.
Owned attribute(Borrowed object, std::string_view name);

// The text of an object for a message: `str(object)` as UTF-8 (a lone
// surrogate becomes U+FFFD per byte), or "<unprintable T object>" when
// `str()` fails, which is reported through sys.unraisablehook.
std::string object_text(Borrowed object);

// TypeError "'<qualified type name>' object cannot be converted to
// '<target>'".
BoundaryError conversion_error(Borrowed object, const char *target);

// Puts the parameter name in front of a conversion error: an exact TypeError
// becomes "argument '<name>': <text>" (keeping its cause), every other error
// is passed on unchanged.
BoundaryError argument_extraction_error(const char *name, BoundaryError error);

// The PanicException class (borrowed); created on first use.
PyObject *panic_exception_type();

// A fatal error's message as the PanicException raised in its place.
BoundaryError from_panic_payload(std::string message);

// "<class name>: <text>" for the exception pending in the interpreter, which
// is cleared: for the messages of fatal errors.
std::string describe_pending_exception();

} // namespace tessarin::binding
