// Conversions between Python objects and the plain values of the models.
#pragma once

#include <Python.h>

#include <vector>

#include "binding/error.hpp"
#include "binding/ref.hpp"
#include "result.hpp"

namespace tessarin::binding {

// A float, or anything Python's float() protocol accepts (int, bool,
// objects with __float__ or __index__). NaN, infinities and -1.0 pass.
Expected<double> to_double(Borrowed object);

// Every item of a sequence (not a str), in iteration order, as a double.
Expected<std::vector<double>> to_vector(Borrowed object);

// The value of argument `name` in the form a model takes; a failure carries
// the argument's name.
bool extract(Borrowed object, const char *name, double &out, std::optional<BoundaryError> &error);
bool extract(Borrowed object, const char *name, std::vector<double> &out,
             std::optional<BoundaryError> &error);

// A model's outcome as a new reference: a list of floats or a float; a
// computation error becomes RuntimeError with the model's message.
Expected<PyObject *> to_python(const std::vector<double> &values);
Expected<PyObject *> to_python(double value);
Expected<PyObject *> to_python(const Result<std::vector<double>> &outcome);
Expected<PyObject *> to_python(const Result<double> &outcome);

} // namespace tessarin::binding
