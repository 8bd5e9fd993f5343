#include "binding/error.hpp"

#include <cstdio>
#include <new>

#include "binding/messages.hpp"
#include "panic.hpp"

namespace tessarin::binding {

namespace {

struct Pending {
  Owned type;
  Owned value;
  Owned traceback;
};

// Moves the interpreter's pending exception out, with its instance made.
// Python 3.12 keeps the instance alone in the indicator; the triple API that
// older versions need is deprecated there.
Pending fetch_normalized() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  Owned value = Owned::steal(PyErr_GetRaisedException());
  if (!value) return {};
  Owned type = Owned::take_ref(reinterpret_cast<PyObject *>(Py_TYPE(value.get())));
  Owned traceback = Owned::steal(PyException_GetTraceback(value.get()));
  return {std::move(type), std::move(value), std::move(traceback)};
#else
  PyObject *type = nullptr;
  PyObject *value = nullptr;
  PyObject *traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return {};
  PyErr_NormalizeException(&type, &value, &traceback);
  return {Owned::steal(type), Owned::steal(value), Owned::steal(traceback)};
#endif
}

void restore(Pending pending) noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(pending.value.release());
#else
  PyErr_Restore(pending.type.release(), pending.value.release(), pending.traceback.release());
#endif
}

// The argument PyErr_SetObject builds a deferred error's instance from.
Owned deferred_argument(const std::string &message, bool tuple) {
  Owned text = make_str(message);
  if (!tuple) return text;
  Owned args = Owned::steal(must(PyTuple_New(1)));
  PyTuple_SET_ITEM(args.get(), 0, text.release());
  return args;
}

// UTF-8 of a `str`. One that holds lone surrogates has none: those are
// encoded on their own ("surrogatepass") and decoded back with each invalid
// byte sequence replaced by U+FFFD. Leaves an exception pending on failure.
std::optional<std::string> utf8_of(Borrowed str) {
  Py_ssize_t size = 0;
  if (const char *data = PyUnicode_AsUTF8AndSize(str.get(), &size)) {
    return std::string(data, static_cast<std::size_t>(size));
  }
  PyErr_Clear(); // the UnicodeEncodeError of the lone surrogate
  Owned bytes = Owned::steal(PyUnicode_AsEncodedString(str.get(), "utf-8", "surrogatepass"));
  if (!bytes) return std::nullopt;
  Owned lossy = Owned::steal(PyUnicode_DecodeUTF8(PyBytes_AS_STRING(bytes.get()),
                                                  PyBytes_GET_SIZE(bytes.get()), "replace"));
  if (!lossy) return std::nullopt;
  const char *data = PyUnicode_AsUTF8AndSize(lossy.get(), &size);
  if (data == nullptr) return std::nullopt;
  return std::string(data, static_cast<std::size_t>(size));
}

// `str(object)` as UTF-8; nothing (with the exception pending) on failure.
std::optional<std::string> str_of(Borrowed object) {
  Owned str = Owned::steal(PyObject_Str(object.get()));
  if (!str) return std::nullopt;
  return utf8_of(str.borrow());
}

// The `str` value of an attribute of a type (`__name__`, `__qualname__`);
// nothing when it cannot be read or is no `str`. Discards any failure.
std::optional<std::string> type_attribute_text(PyTypeObject *type, std::string_view name) {
  Owned value = attribute(Borrowed(reinterpret_cast<PyObject *>(type)), name);
  std::optional<std::string> text;
  if (value && PyUnicode_Check(value.get())) text = utf8_of(value.borrow());
  if (!text) (void)take();
  return text;
}

// A PanicException raised again by Python code: report it, print it with its
// traceback and start a fatal error with the same message, which the entry
// point raises as a new PanicException.
[[noreturn]] void resume_panic(Pending pending) {
  std::optional<std::string> message = str_of(pending.value.borrow());
  if (!message) {
    PyErr_Clear();
    message = messages::UNWRAPPED_PANIC;
  }
  std::fputs(messages::RESUMING_PANIC, stderr);
  std::fflush(stderr);
  restore(std::move(pending));
  PyErr_PrintEx(0);
  panic_quietly(std::move(*message));
}

PyObject *panic_type = nullptr; // created once, under the interpreter lock, never released

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

std::optional<BoundaryError> take() {
  Pending pending = fetch_normalized();
  if (!pending.type) return std::nullopt;
  if (pending.type.get() == panic_exception_type()) resume_panic(std::move(pending));
  return BoundaryError::taken(std::move(pending.type), std::move(pending.value),
                              std::move(pending.traceback));
}

BoundaryError take_or_system_error() {
  if (std::optional<BoundaryError> error = take()) return std::move(*error);
  return BoundaryError::deferred(PyExc_SystemError, messages::NO_EXCEPTION_SET);
}

PyObject *must(PyObject *result, std::source_location where) {
  if (result == nullptr) {
    // Out of memory is no internal fault: the entry point raises
    // MemoryError for it, and there is nothing to print.
    if (PyErr_ExceptionMatches(PyExc_MemoryError)) {
      PyErr_Clear();
      throw std::bad_alloc();
    }
    if (PyErr_Occurred() != nullptr) PyErr_Print();
    panic(messages::API_CALL_FAILED, where);
  }
  return result;
}

Owned make_str(std::string_view text, std::source_location where) {
  return Owned::steal(
      must(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())), where));
}

Owned attribute(Borrowed object, std::string_view name) {
  Owned key = make_str(name);
  return Owned::steal(PyObject_GetAttr(object.get(), key.get()));
}

std::string object_text(Borrowed object) {
  if (std::optional<std::string> text = str_of(object)) return std::move(*text);
  if (std::optional<BoundaryError> error = take()) {
    std::move(*error).raise();
    PyErr_WriteUnraisable(object.get());
  }
  if (std::optional<std::string> name = type_attribute_text(Py_TYPE(object.get()), "__name__")) {
    return "<unprintable " + *name + " object>";
  }
  return "<unprintable object>";
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

PyObject *panic_exception_type() {
  if (panic_type == nullptr) {
    PyObject *created =
        PyErr_NewExceptionWithDoc(messages::PANIC_EXCEPTION_NAME, messages::PANIC_EXCEPTION_DOC,
                                  PyExc_BaseException, nullptr);
    if (created == nullptr) {
      panic(messages::EXCEPTION_TYPE_FAILED + describe_pending_exception());
    }
    // Making a class can run Python code (a garbage collection, finalisers)
    // and so let another thread in, which may have made the class first:
    // the first one stored is the only one that anyone sees.
    if (panic_type == nullptr) {
      panic_type = created;
    } else {
      Py_DECREF(created);
    }
  }
  return panic_type;
}

BoundaryError from_panic_payload(std::string message) {
  return BoundaryError::panic_exception(std::move(message));
}

std::string describe_pending_exception() {
  Pending pending = fetch_normalized();
  if (!pending.type) return "no exception was set";
  std::string text = reinterpret_cast<PyTypeObject *>(pending.type.get())->tp_name;
  if (std::optional<std::string> value = str_of(pending.value.borrow())) {
    if (!value->empty()) text += ": " + *value;
  } else {
    PyErr_Clear();
  }
  return text;
}

} // namespace tessarin::binding
