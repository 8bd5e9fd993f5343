#include "binding/error_text.hpp"

#include "binding/boundary_error.hpp"
#include "binding/indicator.hpp"

namespace tessarin::binding {

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

std::optional<std::string> str_of(Borrowed object) {
  Owned str = Owned::steal(PyObject_Str(object.get()));
  if (!str) return std::nullopt;
  return utf8_of(str.borrow());
}

std::optional<std::string> type_attribute_text(PyTypeObject *type, std::string_view name) {
  Owned value = attribute(Borrowed(reinterpret_cast<PyObject *>(type)), name);
  std::optional<std::string> text;
  if (value && PyUnicode_Check(value.get())) text = utf8_of(value.borrow());
  if (!text) (void)take();
  return text;
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

} // namespace tessarin::binding
