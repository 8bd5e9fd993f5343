#include "binding/indicator.hpp"

#include <new>

#include "binding/error_text.hpp"
#include "binding/messages.hpp"
#include "binding/panic_exception.hpp"
#include "panic.hpp"

namespace tessarin::binding {

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
