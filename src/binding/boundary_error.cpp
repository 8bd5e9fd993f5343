#include "binding/boundary_error.hpp"

#include "binding/error_text.hpp"
#include "binding/indicator.hpp"
#include "binding/lock.hpp"
#include "binding/messages.hpp"
#include "binding/panic_exception.hpp"

namespace tessarin::binding {

namespace {

// The argument PyErr_SetObject builds a deferred error's instance from.
Owned deferred_argument(const std::string &message, bool tuple) {
  Owned text = make_str(message);
  if (!tuple) return text;
  Owned args = Owned::steal(must(PyTuple_New(1)));
  PyTuple_SET_ITEM(args.get(), 0, text.release());
  return args;
}

} // namespace

BoundaryError BoundaryError::deferred(PyObject *type, std::string message) {
  BoundaryError error;
  error.type_ = Owned::take_ref(type);
  error.message_ = std::move(message);
  return error;
}

BoundaryError BoundaryError::panic_exception(std::string message) {
  BoundaryError error = deferred(panic_exception_type(), std::move(message));
  error.tuple_argument_ = true;
  return error;
}

BoundaryError BoundaryError::taken(Owned type, Owned value, Owned traceback) {
  BoundaryError error;
  error.type_ = std::move(type);
  error.value_ = std::move(value);
  error.traceback_ = std::move(traceback);
  return error;
}

bool BoundaryError::matches(PyObject *type) const noexcept {
  return PyErr_GivenExceptionMatches(type_.get(), type) != 0;
}

Borrowed BoundaryError::instance() {
  if (!value_) {
    // Let other threads run for a moment before the instance is made.
    reacquire(PyEval_SaveThread());
    Owned argument = deferred_argument(message_, tuple_argument_);
    PyErr_SetObject(type_.get(), argument.get());
    Pending made = fetch_normalized();
    type_ = std::move(made.type);
    value_ = std::move(made.value);
    traceback_ = std::move(made.traceback);
    message_.clear();
  }
  return value_.borrow();
}

void BoundaryError::raise() && {
  if (value_) {
    restore({std::move(type_), std::move(value_), std::move(traceback_)});
    return;
  }
  Owned argument = deferred_argument(message_, tuple_argument_);
  PyErr_SetObject(type_.get(), argument.get());
#if PY_VERSION_HEX < 0x030C0000
  // Make the instance now, while the entry point still runs, as 3.12 does.
  restore(fetch_normalized());
#endif
}

BoundaryError conversion_error(Borrowed object, const char *target) {
  std::string name = type_attribute_text(Py_TYPE(object.get()), "__qualname__")
                         .value_or(messages::FAILED_TYPE_NAME);
  return BoundaryError::deferred(PyExc_TypeError,
                                 "'" + name + "' object cannot be converted to '" + target + "'");
}

BoundaryError argument_extraction_error(const char *name, BoundaryError error) {
  Borrowed original = error.instance();
  if (error.type() != PyExc_TypeError) return error;
  BoundaryError renamed = BoundaryError::deferred(
      PyExc_TypeError, std::string("argument '") + name + "': " + object_text(original));
  // SetCause steals the reference GetCause returns; a null cause still
  // suppresses the context, like `raise ... from None` would.
  PyException_SetCause(renamed.instance().get(), PyException_GetCause(original.get()));
  return renamed;
}

} // namespace tessarin::binding
