#include "binding/buffer.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

#include "binding/error.hpp"

namespace tessarin::binding {

namespace {

// A type that an extension module defines, known by the name it gives the
// type and by the module attribute it is published under.
struct Exporter {
  const char *type_name; // tp_name
  const char *module;
  const char *attribute;
};

constexpr Exporter exporters[] = {
    {"numpy.ndarray", "numpy", "ndarray"},
    {"array.array", "array", "array"},
};

// True when `type` is the very object that the loaded module `module`
// publishes as `attribute`. A module that is not loaded publishes nothing:
// nothing is imported here, and a module imported later is found then.
// Only dictionaries are read (no attribute protocol), so no Python code
// runs.
bool published_as(PyTypeObject *type, const char *module, const char *attribute) {
  PyObject *modules = PySys_GetObject("modules"); // borrowed
  if (modules == nullptr || !PyDict_Check(modules)) return false;
  PyObject *loaded = PyDict_GetItemString(modules, module); // borrowed
  if (loaded == nullptr || !PyModule_Check(loaded)) return false;
  PyObject *names = PyModule_GetDict(loaded); // borrowed
  return names != nullptr &&
         PyDict_GetItemString(names, attribute) == reinterpret_cast<PyObject *>(type);
}

// The exact types whose items are the elements of their buffer, in order.
// Subclasses are not among them: they may index, iterate or measure
// themselves differently (a masked array, a class overriding __iter__). The
// name is compared first, so that other types cost one string comparison;
// the identity check then rules out a type that merely shares the name.
bool items_are_buffer(PyTypeObject *type) {
  if (type == &PyMemoryView_Type) return true;
  for (const Exporter &exporter : exporters) {
    if (std::strcmp(type->tp_name, exporter.type_name) == 0) {
      return published_as(type, exporter.module, exporter.attribute);
    }
  }
  return false;
}

// A struct-module format for native doubles. "d" and "@d" always; "=d"
// (standard size, which for "d" is the 8 bytes of an IEEE double) and, on
// a little-endian machine, "<d" only when `standard_size_too`: NumPy
// describes an unaligned float64 array as "=d" and iterates it like any
// other, but a memoryview iterates native formats only and refuses these,
// which it must go on doing.
bool native_double_format(const char *format, bool standard_size_too) {
  if (format == nullptr) return false; // unsigned bytes
  constexpr char native_order = std::endian::native == std::endian::little ? '<' : '>';
  if (*format == '@' || (standard_size_too && (*format == '=' || *format == native_order))) {
    ++format;
  }
  return format[0] == 'd' && format[1] == '\0';
}

// As many doubles as a vector can hold at all; longer buffers go the
// ordinary way, which reports them.
constexpr Py_ssize_t max_items = Py_ssize_t{1} << 60;

std::vector<double> copy_items(const Py_buffer &view) {
  const Py_ssize_t count = view.shape[0];
  const Py_ssize_t stride = view.strides[0];
  const char *first = static_cast<const char *>(view.buf);
  std::vector<double> values;
  if (count == 0) return values;
  if (stride == Py_ssize_t{sizeof(double)} &&
      reinterpret_cast<std::uintptr_t>(first) % alignof(double) == 0) {
    const double *items = reinterpret_cast<const double *>(first);
    values.assign(items, items + count);
    return values;
  }
  // Any other stride, negative or zero included, and items that need not be
  // aligned (a field of a packed record): copied one by one.
  values.reserve(static_cast<std::size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    double item;
    std::memcpy(&item, first + i * stride, sizeof item);
    values.push_back(item);
  }
  return values;
}

} // namespace

std::optional<std::vector<double>> read_native_doubles(Borrowed object) {
  if (!items_are_buffer(Py_TYPE(object.get()))) return std::nullopt;
  // Strides and format, no indirection; read-only buffers are fine.
  const Buffer buffer(object, PyBUF_RECORDS_RO);
  if (!buffer) {
    // A released memoryview, a NumPy dtype the protocol cannot describe:
    // the ordinary conversion meets the same object and says what it says.
    (void)take();
    return std::nullopt;
  }
  const Py_buffer &view = buffer.view();
  if (view.ndim != 1 || view.shape == nullptr || view.strides == nullptr ||
      view.suboffsets != nullptr || view.itemsize != Py_ssize_t{sizeof(double)} ||
      !native_double_format(view.format, !PyMemoryView_Check(object.get())) ||
      view.shape[0] >= max_items) {
    return std::nullopt;
  }
  return copy_items(view);
}

} // namespace tessarin::binding
