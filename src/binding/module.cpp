#include "binding/module.hpp"

#include "binding/messages.hpp"
#include "panic.hpp"

namespace tessarin::binding {

namespace {

// The module's `__all__`, made empty when the module has none yet.
Expected<Owned> all_list(Borrowed module) {
  Owned all = attribute(module, "__all__");
  if (!all) {
    BoundaryError error = take_or_system_error();
    if (!error.matches(PyExc_AttributeError)) return error;
    all = Owned::steal(must(PyList_New(0)));
    Owned key = make_str("__all__");
    if (PyObject_SetAttr(module.get(), key.get(), all.get()) < 0) return take_or_system_error();
  }
  if (!PyList_Check(all.get())) return conversion_error(all.borrow(), "PyList");
  return all;
}

} // namespace

std::optional<BoundaryError> add_function(Borrowed module, PyMethodDef *method) {
  Owned module_name = Owned::steal(PyModule_GetNameObject(module.get()));
  if (!module_name) return take_or_system_error();
  Owned function = Owned::steal(PyCFunction_NewEx(method, module.get(), module_name.get()));
  if (!function) return take_or_system_error();

  Owned name = attribute(function.borrow(), "__name__");
  if (!name) return take_or_system_error();
  if (!PyUnicode_Check(name.get())) return conversion_error(name.borrow(), "PyString");

  Expected<Owned> all = all_list(module);
  if (!all.ok()) return std::move(all.error());
  if (PyList_Append(all.value().get(), name.get()) < 0) {
    panic(messages::APPEND_TO_ALL_FAILED + describe_pending_exception());
  }
  if (PyObject_SetAttr(module.get(), name.get(), function.get()) < 0) {
    return take_or_system_error();
  }
  return std::nullopt;
}

} // namespace tessarin::binding
