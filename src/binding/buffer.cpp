#include "binding/buffer.hpp"

#include <bit>
#include <cstdint>
#include <cstring>

#include "binding/error.hpp"
#include "binding/ref.hpp"

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

// The type that the loaded module `module` publishes as `attribute`, or
// null. A module that is not loaded publishes nothing: nothing is imported
// here, and a module imported later is found then. Only dictionaries are
// read (no attribute protocol), so no Python code runs.
PyTypeObject *published_type(const char *module, const char *attribute) {
  PyObject *modules = PySys_GetObject("modules"); // borrowed
  if (modules == nullptr || !PyDict_Check(modules)) return nullptr;
  PyObject *loaded = PyDict_GetItemString(modules, module); // borrowed
  if (loaded == nullptr || !PyModule_Check(loaded)) return nullptr;
  PyObject *names = PyModule_GetDict(loaded); // borrowed
  if (names == nullptr) return nullptr;
  PyObject *value = PyDict_GetItemString(names, attribute); // borrowed
  return value != nullptr && PyType_Check(value) ? reinterpret_cast<PyTypeObject *>(value)
                                                 : nullptr;
}

// The exact types whose items are the elements of their buffer, in order.
// The name is compared first, so that other types cost one string
// comparison; the identity check then rules out a type that merely shares
// the name.
bool items_are_buffer_exactly(PyTypeObject *type) {
  if (type == &PyMemoryView_Type) return true;
  for (const Exporter &exporter : exporters) {
    if (std::strcmp(type->tp_name, exporter.type_name) == 0) {
      return published_type(exporter.module, exporter.attribute) == type;
    }
  }
  return false;
}

// NumPy types whose items are the elements of their buffer, and so those of
// any subclass that keeps their item access: numpy.ndarray, whose item of
// a one-dimensional array is the scalar of that element, and numpy.memmap,
// whose __getitem__ returns ndarray's item unchanged unless it is a memmap
// itself, which an element of a one-dimensional array never is.
constexpr const char *numpy_item_types[] = {"memmap", "ndarray"};

// What a class attribute resolves to along the method resolution order of
// `type` (borrowed; null when no class defines it). Only the dictionaries of
// the classes are read, so no Python code runs. Sets `failed` when a
// lookup itself fails.
PyObject *class_attribute(PyTypeObject *type, PyObject *name, bool &failed) {
  PyObject *mro = type->tp_mro;
  if (mro == nullptr || !PyTuple_Check(mro)) {
    failed = true;
    return nullptr;
  }
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
    PyObject *dict = reinterpret_cast<PyTypeObject *>(PyTuple_GET_ITEM(mro, i))->tp_dict;
    if (dict == nullptr) continue; // a core static type: none of these names
    if (PyObject *found = PyDict_GetItemWithError(dict, name)) return found;
    if (PyErr_Occurred() != nullptr) {
      PyErr_Clear();
      failed = true;
      return nullptr;
    }
  }
  return nullptr;
}

template <class Table, class Slot> Slot slot(const Table *table, Slot Table::*member) {
  return table == nullptr ? nullptr : table->*member;
}

// True when the subclass `type` of `base` iterates, indexes, measures and
// exports its buffer exactly as `base` does. A class that defines one of
// the methods behind these, in Python or in C (whose slots get wrappers in
// its dictionary), resolves that name to another object than `base` does.
// The slot pointers of item access and length are not compared: a Python
// subclass reaches ndarray's __getitem__ through a generic slot function
// (ndarray publishes one wrapper for its two item slots), the same method.
// The buffer slots are, since a class written in C may replace them
// without a name before Python 3.12 (__buffer__).
bool same_item_access(PyTypeObject *type, PyTypeObject *base) {
  if (type->tp_iter != base->tp_iter ||
      slot(type->tp_as_buffer, &PyBufferProcs::bf_getbuffer) !=
          slot(base->tp_as_buffer, &PyBufferProcs::bf_getbuffer) ||
      slot(type->tp_as_buffer, &PyBufferProcs::bf_releasebuffer) !=
          slot(base->tp_as_buffer, &PyBufferProcs::bf_releasebuffer)) {
    return false;
  }
  for (const char *text : {"__iter__", "__getitem__", "__len__", "__buffer__"}) {
    Owned name = Owned::steal(PyUnicode_InternFromString(text));
    if (!name) {
      PyErr_Clear();
      return false;
    }
    bool failed = false;
    const PyObject *mine = class_attribute(type, name.get(), failed);
    const PyObject *theirs = class_attribute(base, name.get(), failed);
    if (failed || mine != theirs) return false;
  }
  return true;
}

// A subclass of one of the NumPy types above that keeps its item access:
// iterating it gives the elements of its buffer, as for the type itself.
// Other subclasses (a masked array, a class with its own __getitem__) are
// iterated.
bool numpy_items_are_buffer(PyTypeObject *type) {
  bool derived = false;
  for (PyTypeObject *base = type->tp_base; base != nullptr; base = base->tp_base) {
    if (std::strcmp(base->tp_name, "numpy.ndarray") == 0) {
      derived = true;
      break;
    }
  }
  if (!derived) return false;
  for (const char *name : numpy_item_types) {
    PyTypeObject *base = published_type("numpy", name);
    if (base == nullptr || !PyType_IsSubtype(type, base)) continue;
    return type == base || same_item_access(type, base);
  }
  return false;
}

bool items_are_buffer(PyTypeObject *type) {
  return items_are_buffer_exactly(type) || numpy_items_are_buffer(type);
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
