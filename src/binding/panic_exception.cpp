#include "binding/panic_exception.hpp"

#include <cstdio>
#include <optional>

#include "binding/error_text.hpp"
#include "binding/messages.hpp"
#include "panic.hpp"

namespace tessarin::binding {

namespace {

PyObject *panic_type = nullptr; // created once, under the interpreter lock, never released

} // namespace

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

void resume_panic(Pending pending) {
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

} // namespace tessarin::binding
