#include "binding/fspl/arrays.hpp"

#include <cstring>
#include <limits>
#include <string>

#include "binding/convert.hpp"
#include "binding/messages.hpp"
#include "models/fspl/fspl.hpp"

namespace tessarin::binding::fspl {

namespace {

namespace model = tessarin::models::fspl;

inline constexpr double DEFAULT_RTOL = 1e-8;

PyArrayObject *as_array(const Owned &array) noexcept {
  return reinterpret_cast<PyArrayObject *>(array.get());
}

// The text of a double as Python shows it ("1e-12", "nan").
std::string float_text(double value) {
  Owned number = Owned::steal(must(PyFloat_FromDouble(value)));
  return object_text(number.borrow());
}

// True for an instance of numpy.ma.MaskedArray. A masked array is an
// ndarray subclass, and none exists before numpy.ma is imported: the
// lookup in sys.modules spares every other argument the import.
Expected<bool> is_masked(Borrowed object) {
  if (!PyArray_Check(object.get()) || PyArray_CheckExact(object.get())) return false;
  Owned ma = Owned::take_ref(PyDict_GetItemString(PyImport_GetModuleDict(), "numpy.ma"));
  if (!ma) return false;
  Owned masked_array = attribute(ma.borrow(), "MaskedArray");
  if (!masked_array) return take_or_system_error();
  const int found = PyObject_IsInstance(object.get(), masked_array.get());
  if (found < 0) return take_or_system_error();
  return found == 1;
}

// np.ma.filled(masked.astype(np.float64), nan): a float64 ndarray with NaN
// where the mask is set. (Filling first would cast NaN to the array's own
// type, which an integer array refuses.)
Expected<Owned> filled_with_nan(Borrowed masked) {
  Owned float64 =
      Owned::steal(must(reinterpret_cast<PyObject *>(PyArray_DescrFromType(NPY_DOUBLE))));
  Owned astype = make_str("astype");
  Owned cast =
      Owned::steal(PyObject_CallMethodObjArgs(masked.get(), astype.get(), float64.get(), nullptr));
  if (!cast) return take_or_system_error();
  Owned nan = Owned::steal(must(PyFloat_FromDouble(std::numeric_limits<double>::quiet_NaN())));
  Owned filled_name = make_str("filled");
  Owned filled =
      Owned::steal(PyObject_CallMethodObjArgs(cast.get(), filled_name.get(), nan.get(), nullptr));
  if (!filled) return take_or_system_error();
  return filled;
}

} // namespace

Expected<Owned> float64_array(Borrowed object, const char *name, int requirements) {
  Owned filled;
  Expected<bool> masked = is_masked(object);
  if (!masked.ok()) return argument_extraction_error(name, std::move(masked.error()));
  if (masked.value()) {
    Expected<Owned> made = filled_with_nan(object);
    if (!made.ok()) return argument_extraction_error(name, std::move(made.error()));
    filled = std::move(made.value());
    object = filled.borrow();
  }
  // What np.asarray(x, np.float64) does: any dtype cast (FORCECAST), a
  // subclass taken as its base ndarray (ENSUREARRAY), no copy of an
  // ndarray that is float64 already. PyArray_FromAny takes over the
  // reference to the descriptor, even when it fails.
  Owned array = Owned::steal(
      PyArray_FromAny(object.get(), PyArray_DescrFromType(NPY_DOUBLE), 0, 0,
                      NPY_ARRAY_FORCECAST | NPY_ARRAY_ENSUREARRAY | requirements, nullptr));
  if (!array) return argument_extraction_error(name, take_or_system_error());
  return array;
}

Expected<std::vector<double>> table_column(Borrowed object, const char *name) {
  Expected<Owned> converted =
      float64_array(object, name, NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED);
  if (!converted.ok()) return std::move(converted.error());
  PyArrayObject *array = as_array(converted.value());
  if (PyArray_NDIM(array) != 1) {
    return BoundaryError::deferred(PyExc_ValueError,
                                   std::string(name) + " must be one-dimensional, not " +
                                       std::to_string(PyArray_NDIM(array)) + "-dimensional");
  }
  std::vector<double> values(static_cast<std::size_t>(PyArray_SIZE(array)));
  if (!values.empty())
    std::memcpy(values.data(), PyArray_DATA(array), values.size() * sizeof(double));
  return values;
}

Expected<double> tolerance(Borrowed object) {
  if (!object) return DEFAULT_RTOL;
  double rtol = 0.0;
  std::optional<BoundaryError> error;
  if (!extract(object, "rtol", rtol, error)) return std::move(*error);
  if (!(rtol >= model::MIN_RTOL && rtol <= model::MAX_RTOL)) {
    return BoundaryError::deferred(PyExc_ValueError,
                                   "rtol must be from " + float_text(model::MIN_RTOL) + " to " +
                                       float_text(model::MAX_RTOL) + ", not " + float_text(rtol));
  }
  return rtol;
}

Expected<Owned> output_array(Borrowed object) {
  if (!object || object.get() == Py_None) return Owned();
  if (!PyArray_Check(object.get())) {
    std::string type = type_attribute_text(Py_TYPE(object.get()), "__qualname__")
                           .value_or(messages::FAILED_TYPE_NAME);
    return BoundaryError::deferred(PyExc_TypeError,
                                   "out must be a float64 numpy.ndarray, not " + type);
  }
  auto *array = reinterpret_cast<PyArrayObject *>(object.get());
  // Either byte order: the iterator writes a swapped array through a buffer.
  if (PyArray_TYPE(array) != NPY_DOUBLE) {
    return BoundaryError::deferred(
        PyExc_TypeError,
        "out must have dtype float64, not " +
            object_text(Borrowed(reinterpret_cast<PyObject *>(PyArray_DESCR(array)))));
  }
  // The text of NumPy's ufuncs: "output array is read-only".
  if (PyArray_FailUnlessWriteable(array, "output array") < 0) return take_or_system_error();
  return Owned::take_ref(object);
}

std::optional<BoundaryError> output_arrays(Borrowed object, std::span<Owned> outs) {
  if (outs.size() == 1) {
    Expected<Owned> out = output_array(object);
    if (!out.ok()) return std::move(out.error());
    outs[0] = std::move(out.value());
    return std::nullopt;
  }
  if (!object || object.get() == Py_None) return std::nullopt;
  const auto n = static_cast<Py_ssize_t>(outs.size());
  if (!PyTuple_Check(object.get()) || PyTuple_GET_SIZE(object.get()) != n) {
    return BoundaryError::deferred(
        PyExc_TypeError, "with gradient=True, out must be a tuple of " + std::to_string(n) +
                             " float64 arrays (the magnification and its derivatives)");
  }
  for (Py_ssize_t k = 0; k < n; ++k) {
    Expected<Owned> out = output_array(Borrowed(PyTuple_GET_ITEM(object.get(), k)));
    if (!out.ok()) return std::move(out.error());
    if (!out.value()) {
      return BoundaryError::deferred(PyExc_TypeError,
                                     "with gradient=True, out must hold arrays, not None");
    }
    outs[static_cast<std::size_t>(k)] = std::move(out.value());
  }
  return std::nullopt;
}

Expected<bool> flag(Borrowed object, const char *name) {
  if (!object) return false;
  if (PyBool_Check(object.get())) return object.get() == Py_True;
  if (PyLong_Check(object.get())) {
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(object.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) return take_or_system_error();
    if (overflow == 0 && (value == 0 || value == 1)) return value == 1;
  }
  std::string type = type_attribute_text(Py_TYPE(object.get()), "__qualname__")
                         .value_or(messages::FAILED_TYPE_NAME);
  return BoundaryError::deferred(PyExc_TypeError,
                                 std::string(name) + " must be True or False, not " + type);
}

} // namespace tessarin::binding::fspl
