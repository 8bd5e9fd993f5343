// The entry points of the `tessarin.fspl` functions and the submodule that
// holds them.
//
// A call binds its arguments (u, rho and the coefficients by position or
// keyword, rtol, out and gradient by keyword), imports NumPy the first time, reads
// every broadcast argument as a float64 array, checks the table, rtol and
// out, and hands the arrays to the kernel through NumPy's iterator
// (evaluate.cpp).
#include "binding/fspl/submodule.hpp"

#include <array>
#include <cstddef>
#include <span>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/entry.hpp"
#include "binding/fspl/arrays.hpp"
#include "binding/fspl/docs.hpp"
#include "binding/fspl/evaluate.hpp"
#include "binding/module.hpp"
#include "models/fspl/fspl.hpp"

namespace tessarin::binding::fspl {

namespace {

namespace model = tessarin::models::fspl;
using model::Law;

// The parameters of each law, in the kernel's order of operands; the table
// of `tabulated` follows u and rho in place of coefficients.
constexpr const char *uniform_parameters[] = {"u", "rho"};
constexpr const char *linear_parameters[] = {"u", "rho", "c"};
constexpr const char *quadratic_parameters[] = {"u", "rho", "a", "b"};
constexpr const char *square_root_parameters[] = {"u", "rho", "c", "d"};
constexpr const char *logarithmic_parameters[] = {"u", "rho", "c", "d"};
constexpr const char *power2_parameters[] = {"u", "rho", "c", "alpha"};
constexpr const char *claret_parameters[] = {"u", "rho", "a1", "a2", "a3", "a4"};
constexpr const char *tabulated_parameters[] = {"u", "rho", "mu", "intensity"};
constexpr const char *keyword_only[] = {"rtol", "out", "gradient"};

struct Function {
  FunctionDescription description;
  Law law;
  const char *doc;
};

constexpr Function uniform{
    {"uniform", uniform_parameters, keyword_only}, Law::uniform, docs::UNIFORM.data()};
constexpr Function linear{
    {"linear", linear_parameters, keyword_only}, Law::linear, docs::LINEAR.data()};
constexpr Function quadratic{
    {"quadratic", quadratic_parameters, keyword_only}, Law::quadratic, docs::QUADRATIC.data()};
constexpr Function square_root{{"square_root", square_root_parameters, keyword_only},
                               Law::square_root,
                               docs::SQUARE_ROOT.data()};
constexpr Function logarithmic{{"logarithmic", logarithmic_parameters, keyword_only},
                               Law::logarithmic,
                               docs::LOGARITHMIC.data()};
constexpr Function power2{
    {"power2", power2_parameters, keyword_only}, Law::power2, docs::POWER2.data()};
constexpr Function claret{
    {"claret", claret_parameters, keyword_only}, Law::claret, docs::CLARET.data()};
constexpr Function tabulated{
    {"tabulated", tabulated_parameters, keyword_only}, Law::tabulated, docs::TABULATED.data()};

template <const Function &function>
Expected<PyObject *> call(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
  constexpr std::size_t positional = std::size(function.description.parameters);
  constexpr std::size_t broadcast = 2 + model::coefficient_count(function.law);
  static_assert(function.law == Law::tabulated ? positional == 4 : positional == broadcast,
                "the parameters are u, rho and the law's coefficients (or its table)");
  std::array<Borrowed, positional + std::size(keyword_only)> slots{};
  if (std::optional<BoundaryError> error =
          bind(function.description, args, nargs, kwnames, slots.data())) {
    return std::move(*error);
  }
  if (std::optional<BoundaryError> error = import_numpy()) return std::move(*error);

  // Left to right, stopping at the first argument that fails.
  std::array<Owned, broadcast> inputs;
  for (std::size_t i = 0; i < broadcast; ++i) {
    Expected<Owned> array = float64_array(slots[i], function.description.parameters[i]);
    if (!array.ok()) return std::move(array.error());
    inputs[i] = std::move(array.value());
  }
  model::Table table;
  if constexpr (function.law == Law::tabulated) {
    Expected<std::vector<double>> mu = table_column(slots[2], "mu");
    if (!mu.ok()) return std::move(mu.error());
    Expected<std::vector<double>> intensity = table_column(slots[3], "intensity");
    if (!intensity.ok()) return std::move(intensity.error());
    table.mu = std::move(mu.value());
    table.intensity = std::move(intensity.value());
    if (const char *problem = model::check_table(table)) {
      return BoundaryError::deferred(PyExc_ValueError, problem);
    }
  }
  Expected<double> rtol = tolerance(slots[positional]);
  if (!rtol.ok()) return std::move(rtol.error());
  Expected<bool> gradient = flag(slots[positional + 2], "gradient");
  if (!gradient.ok()) return std::move(gradient.error());
  constexpr std::size_t derivatives = 3 + model::coefficient_count(function.law);
  std::array<Owned, derivatives> outs;
  const std::size_t results = gradient.value() ? derivatives : 1;
  if (std::optional<BoundaryError> error =
          output_arrays(slots[positional + 1], std::span(outs.data(), results))) {
    return std::move(*error);
  }
  return evaluate(function.law, inputs, function.law == Law::tabulated ? &table : nullptr,
                  rtol.value(), std::span(outs.data(), results), gradient.value());
}

template <const Function &function>
PyObject *entry(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
  return entry_point([&] { return call<function>(args, nargs, kwnames); });
}

// CPython stores a METH_FASTCALL | METH_KEYWORDS function under the type of
// a plain one.
template <class Entry> PyCFunction as_cfunction(Entry *entry) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

template <const Function &function> PyMethodDef method() {
  return {function.description.name, as_cfunction(&entry<function>), METH_FASTCALL | METH_KEYWORDS,
          function.doc};
}

// In the order of `__all__`. Static: the function objects point at these
// for the life of the process.
PyMethodDef methods[] = {
    method<uniform>(),     method<linear>(), method<quadratic>(), method<square_root>(),
    method<logarithmic>(), method<power2>(), method<claret>(),    method<tabulated>(),
};

PyModuleDef definition = {
    PyModuleDef_HEAD_INIT,
    "tessarin.fspl",
    docs::MODULE,
    0,       // m_size: no per-module state
    nullptr, // functions are added once the module exists
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

} // namespace

std::optional<BoundaryError> add_submodule(Borrowed parent) {
  Owned module = Owned::steal(PyModule_Create2(&definition, PYTHON_API_VERSION));
  if (!module) return take_or_system_error();
  for (PyMethodDef &method : methods) {
    if (std::optional<BoundaryError> error = add_function(module.borrow(), &method)) return error;
  }
  if (PyObject_SetAttrString(parent.get(), "fspl", module.get()) < 0) {
    return take_or_system_error();
  }
  // sys.modules holds its own reference.
  if (PyDict_SetItemString(PyImport_GetModuleDict(), definition.m_name, module.get()) < 0) {
    return take_or_system_error();
  }
  return std::nullopt;
}

} // namespace tessarin::binding::fspl
