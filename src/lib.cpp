// The Python module `tessarin`: its definition, its initialisation and the
// entry points of its seven functions.
//
// Each entry point binds its arguments, converts them to doubles and vectors,
// calls the model on those plain values and converts the outcome back; the
// frame around that (src/binding/entry.hpp) turns every failure into a
// Python exception.
#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/entry.hpp"
#include "binding/fspl/submodule.hpp"
#include "binding/module.hpp"
#include "models/models.hpp"

namespace {

using tessarin::StopCheck;
using tessarin::binding::BoundaryError;
using tessarin::binding::call;
using tessarin::binding::entry_point;
using tessarin::binding::Expected;
using tessarin::binding::FunctionDescription;
using tessarin::binding::Lock;
namespace models = tessarin::models;

// The entry point of one function: the models take their arguments in the
// Python order, so each argument converts to the type of the model's
// parameter in the same place. A model of a list polls a stop check, its
// last parameter; the ring function, one evaluation, takes none and runs
// with the interpreter lock held (letting go of it and taking it back costs
// more than the evaluation).
template <class Model> struct Signature;
template <class Outcome, class... Params> struct Signature<Outcome (*)(Params...)> {
  using Args = std::tuple<Params...>;
  static constexpr bool stoppable =
      std::is_same_v<std::tuple_element_t<sizeof...(Params) - 1, Args>, StopCheck>;
};

template <const FunctionDescription &function, auto model> struct Entry {
  static PyObject *run(PyObject *, PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames) {
    using Args = typename Signature<decltype(model)>::Args;
    if constexpr (Signature<decltype(model)>::stoppable) {
      return entry_point([&] {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
          return call<function, std::tuple_element_t<I, Args>...>(args, nargs, kwnames, model);
        }
        (std::make_index_sequence<std::tuple_size_v<Args> - 1>{});
      });
    } else {
      return entry_point([&] {
        return [&]<std::size_t... I>(std::index_sequence<I...>) {
          return call<function, std::tuple_element_t<I, Args>...>(
              args, nargs, kwnames,
              [](std::tuple_element_t<I, Args>... v, StopCheck) { return model(v...); },
              Lock::Hold);
        }
        (std::make_index_sequence<std::tuple_size_v<Args>>{});
      });
    }
  }
};

// The doc text: the text signature alone, "name(l, re, rstar)\n--\n\n", so
// `__doc__` is None.
constexpr std::size_t doc_size(const FunctionDescription &function) {
  std::size_t size = std::char_traits<char>::length(function.name) + sizeof "()\n--\n\n";
  for (std::size_t i = 0; i < function.parameters.size(); ++i)
    size += std::char_traits<char>::length(function.parameters[i]) + (i ? 2 : 0);
  return size;
}
template <const FunctionDescription &function> constexpr auto make_doc() {
  std::array<char, doc_size(function)> text{};
  std::size_t at = 0;
  const auto put = [&](const char *piece) {
    while (*piece)
      text[at++] = *piece++;
  };
  put(function.name);
  put("(");
  for (std::size_t i = 0; i < function.parameters.size(); ++i) {
    if (i) put(", ");
    put(function.parameters[i]);
  }
  put(")\n--\n\n");
  return text;
}
template <const FunctionDescription &function> constexpr auto doc = make_doc<function>();

// CPython stores a METH_FASTCALL | METH_KEYWORDS function under the type of
// a plain one.
template <class Function> PyCFunction as_cfunction(Function *function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

template <const FunctionDescription &function, auto model> PyMethodDef method() {
  return {function.name, as_cfunction(&Entry<function, model>::run), METH_FASTCALL | METH_KEYWORDS,
          doc<function>.data()};
}

// The seven functions (names and parameters as in tools/function_table.py,
// which the tests hold the module to).
constexpr const char *separation_list[] = {"l", "re", "rstar"};
constexpr const char *flux_map[] = {"l", "re", "rstar", "bl", "bf"};
constexpr const char *ring[] = {"l", "r", "re", "rstar"};

constexpr FunctionDescription witt_mao{"witt_mao_magnification", separation_list};
constexpr FunctionDescription integrated_witt_mao{"integrated_witt_mao_magnification",
                                                  separation_list};
constexpr FunctionDescription integrated_flux_map_witt_mao_fn{
    "integrated_flux_map_witt_mao_magnification", flux_map};
constexpr FunctionDescription heyrovsky{"heyrovsky_magnification", ring};
constexpr FunctionDescription integrated_heyrovsky{"integrated_heyrovsky_magnification",
                                                   separation_list};
constexpr FunctionDescription integrated_flux_map_heyrovsky_fn{
    "integrated_flux_map_heyrovsky_magnification", flux_map};
constexpr FunctionDescription discrete_flux_map_heyrovsky_fn{
    "discrete_flux_map_heyrovsky_magnification", flux_map};

// In registration order, which is the order of `__all__`. Static: the
// function objects point at these for the life of the process.
PyMethodDef methods[] = {
    method<witt_mao, models::witt_mao_magnification>(),
    method<integrated_witt_mao, models::integrated_witt_mao_magnification>(),
    method<integrated_flux_map_witt_mao_fn, models::integrated_flux_map_witt_mao_magnification>(),
    method<heyrovsky, models::heyrovsky_magnification>(),
    method<integrated_heyrovsky, models::integrated_heyrovsky_magnification>(),
    method<integrated_flux_map_heyrovsky_fn, models::integrated_flux_map_heyrovsky_magnification>(),
    method<discrete_flux_map_heyrovsky_fn, models::discrete_flux_map_heyrovsky_magnification>(),
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "tessarin",
    tessarin::binding::messages::MODULE_DOC,
    0,       // m_size: no per-module state
    nullptr, // functions are added once the module exists
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The module, once made; never released. A single-phase module cannot be
// made twice in one process: a second module would share nothing with the
// first, so a second initialisation fails instead.
PyObject *module_cell = nullptr;

} // namespace

PyMODINIT_FUNC PyInit_tessarin() {
  return entry_point([]() -> Expected<PyObject *> {
    using namespace tessarin::binding;
    if (module_cell != nullptr) {
      return BoundaryError::deferred(PyExc_ImportError, messages::SECOND_INITIALISATION);
    }
    Owned module = Owned::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) return take_or_system_error();
    for (PyMethodDef &method : methods) {
      if (std::optional<BoundaryError> error = add_function(module.borrow(), &method)) {
        return std::move(*error);
      }
    }
    if (std::optional<BoundaryError> error = fspl::add_submodule(module.borrow())) {
      return std::move(*error);
    }
    // The version of the package, from pyproject.toml; not in __all__.
    if (PyModule_AddStringConstant(module.get(), "__version__", TESSARIN_VERSION) < 0) {
      return take_or_system_error();
    }
    module_cell = Owned::take_ref(module.get()).release();
    return module.release();
  });
}
