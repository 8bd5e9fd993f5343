// The error type of the module boundary.
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

#include <string>
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

// TypeError "'<qualified type name>' object cannot be converted to
// '<target>'".
BoundaryError conversion_error(Borrowed object, const char *target);

// Puts the parameter name in front of a conversion error: an exact TypeError
// becomes "argument '<name>': <text>" (keeping its cause), every other error
// is passed on unchanged.
BoundaryError argument_extraction_error(const char *name, BoundaryError error);

} // namespace tessarin::binding
