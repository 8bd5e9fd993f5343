#define TESSARIN_DEFINE_NUMPY_API
#include "binding/fspl/numpy.hpp"

#include <string>

#include "binding/indicator.hpp"

namespace tessarin::binding::fspl {

std::optional<BoundaryError> import_numpy() {
  // The table is written with the lock held. Importing NumPy can let go of
  // the lock (the import lock, the package's own code): a second thread
  // that arrives meanwhile imports too and writes the same table.
  if (PyArray_API != nullptr) return std::nullopt;
  // Not import_array(), which prints the error and replaces it with one
  // that says less.
  if (_import_array() == 0) return std::nullopt;
  // The table is set before the version checks: a NumPy too old for the
  // module must not leave it set for the next call to use.
  PyArray_API = nullptr;
  BoundaryError error = take_or_system_error();
  // NumPy missing (ModuleNotFoundError), broken (ImportError) or older than
  // the module's target (RuntimeError from the version check): say what
  // the functions need, with the interpreter's words after it.
  if (!error.matches(PyExc_ImportError) && !error.matches(PyExc_RuntimeError)) return error;
  Borrowed cause = error.instance();
  BoundaryError named = BoundaryError::deferred(
      PyExc_ImportError, std::string("tessarin.fspl needs NumPy ") + NUMPY_FLOOR +
                             " or newer (pip install 'numpy>=" + NUMPY_FLOOR +
                             "'): " + object_text(cause));
  // SetCause steals the reference it is given.
  PyException_SetCause(named.instance().get(), Owned::take_ref(cause).release());
  return named;
}

} // namespace tessarin::binding::fspl
