#include "binding/convert.hpp"

#include <new>
#include <stdexcept>

#include "binding/buffer.hpp"
#include "binding/messages.hpp"

namespace tessarin::binding {

namespace {

// A vector of doubles cannot have 2^60 elements on a 64-bit machine: their
// bytes would overflow the address space. list() refuses such a length hint
// with MemoryError too (its item pointers would overflow it as well).
constexpr Py_ssize_t max_capacity = Py_ssize_t{1} << 60;

// Items converted between two looks for pending signals. A sequence read
// item by item may be endless (range(10**19)) and holds the lock throughout;
// a look costs a few nanoseconds on the main thread (a flag) and nothing
// elsewhere, next to tens per item.
constexpr std::size_t SIGNAL_STRIDE = 4096;

// True when a signal handler raised (its exception is pending): looked at
// once every SIGNAL_STRIDE items, counted by the size of the vector being
// filled, so that shorter sequences are read as before.
inline bool interrupted(const std::vector<double> &out) {
  return out.size() != 0 && out.size() % SIGNAL_STRIDE == 0 && PyErr_CheckSignals() != 0;
}

// The float value of an item that is not exactly a float.
inline bool convert_item(PyObject *item, std::vector<double> &out,
                         std::optional<BoundaryError> &error) {
  Expected<double> value = to_double(Borrowed(item));
  if (!value.ok()) {
    error = std::move(value.error());
    return false;
  }
  out.push_back(value.value());
  return true;
}

// Exact lists and tuples are read by index, which is what their iterators
// do: a list that an item's __float__ shortens or lengthens is seen the same
// way. The item is held while it is converted, since that can remove it.
template <bool IsList>
std::optional<BoundaryError> read_items(PyObject *sequence, std::vector<double> &out) {
  std::optional<BoundaryError> error;
  for (Py_ssize_t i = 0; i < (IsList ? PyList_GET_SIZE(sequence) : PyTuple_GET_SIZE(sequence));
       ++i) {
    if (interrupted(out)) return take_or_system_error();
    PyObject *item = IsList ? PyList_GET_ITEM(sequence, i) : PyTuple_GET_ITEM(sequence, i);
    if (Py_IS_TYPE(item, &PyFloat_Type)) {
      out.push_back(PyFloat_AS_DOUBLE(item));
      continue;
    }
    Owned held = Owned::take_ref(item);
    if (!convert_item(held.get(), out, error)) return error;
  }
  return error;
}

std::optional<BoundaryError> iterate(PyObject *sequence, std::vector<double> &out) {
  Owned iterator = Owned::steal(PyObject_GetIter(sequence));
  if (!iterator) return take_or_system_error();
  std::optional<BoundaryError> error;
  while (Owned item = Owned::steal(PyIter_Next(iterator.get()))) {
    if (interrupted(out)) return take_or_system_error();
    if (Py_IS_TYPE(item.get(), &PyFloat_Type)) {
      out.push_back(PyFloat_AS_DOUBLE(item.get()));
    } else if (!convert_item(item.get(), out, error)) {
      return error;
    }
  }
  if (PyErr_Occurred() != nullptr) return take_or_system_error();
  return error;
}

} // namespace

Expected<double> to_double(Borrowed object) {
  PyObject *o = object.get();
  if (Py_IS_TYPE(o, &PyFloat_Type)) return PyFloat_AS_DOUBLE(o);
  const double value = PyFloat_AsDouble(o);
  if (value == -1.0 && PyErr_Occurred() != nullptr) return take_or_system_error();
  return value;
}

Expected<std::vector<double>> to_vector(Borrowed object) {
  PyObject *o = object.get();
  if (PyUnicode_Check(o)) {
    return BoundaryError::deferred(PyExc_TypeError, messages::STR_TO_VEC);
  }
  // NumPy arrays, array.array and memoryview of native doubles: straight
  // from the buffer, the same values without an object per item.
  if (std::optional<std::vector<double>> items = read_native_doubles(object)) {
    return std::move(*items);
  }
  if (!PySequence_Check(o)) return conversion_error(object, "Sequence");

  // The reported length is a hint for the reservation, nothing more: an
  // Exception from __len__ is discarded. Anything else (KeyboardInterrupt,
  // SystemExit) is not a failure to report a length and ends the call.
  Py_ssize_t hint = PySequence_Size(o);
  if (hint < 0) {
    std::optional<BoundaryError> failure = take();
    if (failure && !failure->matches(PyExc_Exception)) return std::move(*failure);
    hint = 0;
  }
  // A hint that no vector can hold: MemoryError, as list() raises for it,
  // before anything is read. A smaller hint that the allocator refuses is
  // not trusted either way: the vector grows as the items come, and a true
  // shortage shows when they are appended.
  if (hint >= max_capacity) {
    PyErr_NoMemory();
    return take_or_system_error();
  }
  std::vector<double> values;
  try {
    values.reserve(static_cast<std::size_t>(hint));
  } catch (const std::bad_alloc &) {
    // More than the machine has: grow as the items come.
  } catch (const std::length_error &) {
  }

  std::optional<BoundaryError> error = PyList_CheckExact(o)    ? read_items<true>(o, values)
                                       : PyTuple_CheckExact(o) ? read_items<false>(o, values)
                                                               : iterate(o, values);
  if (error) return std::move(*error);
  return values;
}

bool extract(Borrowed object, const char *name, double &out, std::optional<BoundaryError> &error) {
  Expected<double> value = to_double(object);
  if (!value.ok()) {
    error = argument_extraction_error(name, std::move(value.error()));
    return false;
  }
  out = value.value();
  return true;
}

bool extract(Borrowed object, const char *name, std::vector<double> &out,
             std::optional<BoundaryError> &error) {
  Expected<std::vector<double>> value = to_vector(object);
  if (!value.ok()) {
    error = argument_extraction_error(name, std::move(value.error()));
    return false;
  }
  out = std::move(value.value());
  return true;
}

Expected<PyObject *> to_python(const std::vector<double> &values) {
  Owned list = Owned::steal(must(PyList_New(static_cast<Py_ssize_t>(values.size()))));
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), must(PyFloat_FromDouble(values[i])));
  }
  return list.release();
}

Expected<PyObject *> to_python(double value) {
  return must(PyFloat_FromDouble(value));
}

Expected<PyObject *> to_python(const Result<std::vector<double>> &outcome) {
  if (!outcome.ok()) return BoundaryError::deferred(PyExc_RuntimeError, outcome.error());
  return to_python(*outcome);
}

Expected<PyObject *> to_python(const Result<double> &outcome) {
  if (!outcome.ok()) return BoundaryError::deferred(PyExc_RuntimeError, outcome.error());
  return to_python(*outcome);
}

} // namespace tessarin::binding
