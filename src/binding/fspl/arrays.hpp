// The arguments of the fspl functions as NumPy arrays and plain values.
#pragma once

#include "binding/fspl/numpy.hpp"

#include <optional>
#include <span>
#include <vector>

#include "binding/error.hpp"
#include "binding/ref.hpp"

namespace tessarin::binding::fspl {

// np.asarray(object, np.float64) as a base-class ndarray (a masked array
// as np.ma.filled(object.astype(np.float64), nan)); `requirements` adds
// NPY_ARRAY_* flags. An exact TypeError is renamed after argument `name`.
Expected<Owned> float64_array(Borrowed object, const char *name, int requirements = 0);

// A column of an I(mu) table: a one-dimensional array, its values copied.
Expected<std::vector<double>> table_column(Borrowed object, const char *name);

// The `rtol` of a call: the default when not given, else a real number
// from MIN_RTOL to MAX_RTOL.
Expected<double> tolerance(Borrowed object);

// The `out` of a call: empty when not given or None, else a writeable
// float64 ndarray (a new reference to it).
Expected<Owned> output_array(Borrowed object);

// The `out` of a call with `outs.size()` results: one array as above, or
// for several a tuple of that many such arrays; every slot left empty
// when `out` is not given or None.
std::optional<BoundaryError> output_arrays(Borrowed object, std::span<Owned> outs);

// A keyword that is True or False (a bool, or an integer 0 or 1, as
// Python's own flags take); absent is False.
Expected<bool> flag(Borrowed object, const char *name);

} // namespace tessarin::binding::fspl
