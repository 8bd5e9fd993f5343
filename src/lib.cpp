// The Python module `tessarin`: its definition, its initialisation and the
// entry points of its seven functions.
//
// Each entry point binds its arguments, converts them to doubles and vectors,
// calls the model on those plain values and converts the outcome back; the
// frame around that (src/binding/entry.hpp) turns every failure into a
// Python exception.
#include <Python.h>

#include <utility>
#include <vector>

#include "binding/entry.hpp"
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
using Vector = std::vector<double>;
namespace models = tessarin::models;

constexpr const char *separation_list[] = {"l", "re", "rstar"};
constexpr const char *flux_map[] = {"l", "re", "rstar", "bl", "bf"};
constexpr const char *ring[] = {"l", "r", "re", "rstar"};

const FunctionDescription witt_mao_fn{"witt_mao_magnification", separation_list};
PyObject *witt_mao_magnification(PyObject *, PyObject *const *args, Py_ssize_t nargs,
                                 PyObject *kwnames) {
  return entry_point([&] {
    return call<Vector, double, double>(
        witt_mao_fn, args, nargs, kwnames, [](Vector l, double re, double rstar, StopCheck stop) {
          return models::witt_mao_magnification(std::move(l), re, rstar, stop);
        });
  });
}

const FunctionDescription integrated_witt_mao_fn{"integrated_witt_mao_magnification",
                                                 separation_list};
PyObject *integrated_witt_mao_magnification(PyObject *, PyObject *const *args, Py_ssize_t nargs,
                                            PyObject *kwnames) {
  return entry_point([&] {
    return call<Vector, double, double>(integrated_witt_mao_fn, args, nargs, kwnames,
                                        [](Vector l, double re, double rstar, StopCheck stop) {
                                          return models::integrated_witt_mao_magnification(
                                              std::move(l), re, rstar, stop);
                                        });
  });
}

// Python passes the flux map after the radii; the models take it first.
const FunctionDescription integrated_flux_map_witt_mao_fn{
    "integrated_flux_map_witt_mao_magnification", flux_map};
PyObject *integrated_flux_map_witt_mao_magnification(PyObject *, PyObject *const *args,
                                                     Py_ssize_t nargs, PyObject *kwnames) {
  return entry_point([&] {
    return call<Vector, double, double, Vector, Vector>(
        integrated_flux_map_witt_mao_fn, args, nargs, kwnames,
        [](Vector l, double re, double rstar, Vector bl, Vector bf, StopCheck stop) {
          return models::integrated_flux_map_witt_mao_magnification(std::move(l), std::move(bl),
                                                                    std::move(bf), re, rstar, stop);
        });
  });
}

const FunctionDescription heyrovsky_fn{"heyrovsky_magnification", ring};
PyObject *heyrovsky_magnification(PyObject *, PyObject *const *args, Py_ssize_t nargs,
                                  PyObject *kwnames) {
  return entry_point([&] {
    return call<double, double, double, double>(
        heyrovsky_fn, args, nargs, kwnames,
        [](double l, double r, double re, double rstar, StopCheck) {
          return models::heyrovsky_magnification(l, r, re, rstar);
        },
        Lock::Hold);
  });
}

const FunctionDescription integrated_heyrovsky_fn{"integrated_heyrovsky_magnification",
                                                  separation_list};
PyObject *integrated_heyrovsky_magnification(PyObject *, PyObject *const *args, Py_ssize_t nargs,
                                             PyObject *kwnames) {
  return entry_point([&] {
    return call<Vector, double, double>(integrated_heyrovsky_fn, args, nargs, kwnames,
                                        [](Vector l, double re, double rstar, StopCheck stop) {
                                          return models::integrated_heyrovsky_magnification(
                                              std::move(l), re, rstar, stop);
                                        });
  });
}

const FunctionDescription integrated_flux_map_heyrovsky_fn{
    "integrated_flux_map_heyrovsky_magnification", flux_map};
PyObject *integrated_flux_map_heyrovsky_magnification(PyObject *, PyObject *const *args,
                                                      Py_ssize_t nargs, PyObject *kwnames) {
  return entry_point([&] {
    return call<Vector, double, double, Vector, Vector>(
        integrated_flux_map_heyrovsky_fn, args, nargs, kwnames,
        [](Vector l, double re, double rstar, Vector bl, Vector bf, StopCheck stop) {
          return models::integrated_flux_map_heyrovsky_magnification(
              std::move(l), std::move(bl), std::move(bf), re, rstar, stop);
        });
  });
}

const FunctionDescription discrete_flux_map_heyrovsky_fn{
    "discrete_flux_map_heyrovsky_magnification", flux_map};
PyObject *discrete_flux_map_heyrovsky_magnification(PyObject *, PyObject *const *args,
                                                    Py_ssize_t nargs, PyObject *kwnames) {
  return entry_point([&] {
    return call<Vector, double, double, Vector, Vector>(
        discrete_flux_map_heyrovsky_fn, args, nargs, kwnames,
        [](Vector l, double re, double rstar, Vector bl, Vector bf, StopCheck stop) {
          return models::discrete_flux_map_heyrovsky_magnification(std::move(l), std::move(bl),
                                                                   std::move(bf), re, rstar, stop);
        });
  });
}

// CPython stores a METH_FASTCALL | METH_KEYWORDS function under the type of
// a plain one.
template <class Function> PyCFunction as_cfunction(Function *function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// In registration order, which is the order of `__all__`. The doc text is
// the text signature alone, so `__doc__` is None. Static: the function
// objects point at these for the life of the process.
PyMethodDef methods[] = {
    {"witt_mao_magnification", as_cfunction(witt_mao_magnification), METH_FASTCALL | METH_KEYWORDS,
     "witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_witt_mao_magnification", as_cfunction(integrated_witt_mao_magnification),
     METH_FASTCALL | METH_KEYWORDS, "integrated_witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_flux_map_witt_mao_magnification",
     as_cfunction(integrated_flux_map_witt_mao_magnification), METH_FASTCALL | METH_KEYWORDS,
     "integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf)\n--\n\n"},
    {"heyrovsky_magnification", as_cfunction(heyrovsky_magnification),
     METH_FASTCALL | METH_KEYWORDS, "heyrovsky_magnification(l, r, re, rstar)\n--\n\n"},
    {"integrated_heyrovsky_magnification", as_cfunction(integrated_heyrovsky_magnification),
     METH_FASTCALL | METH_KEYWORDS, "integrated_heyrovsky_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_flux_map_heyrovsky_magnification",
     as_cfunction(integrated_flux_map_heyrovsky_magnification), METH_FASTCALL | METH_KEYWORDS,
     "integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
    {"discrete_flux_map_heyrovsky_magnification",
     as_cfunction(discrete_flux_map_heyrovsky_magnification), METH_FASTCALL | METH_KEYWORDS,
     "discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "tessarin",
    "A Python module implemented in C++.",
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
      return BoundaryError::deferred(PyExc_ImportError,
                                     "PyO3 modules compiled for CPython 3.8 or older may only be "
                                     "initialized once per interpreter process");
    }
    Owned module = Owned::steal(PyModule_Create2(&module_definition, 1013));
    if (!module) return take_or_system_error();
    for (PyMethodDef &method : methods) {
      if (std::optional<BoundaryError> error = add_function(module.borrow(), &method)) {
        return std::move(*error);
      }
    }
    module_cell = Owned::take_ref(module.get()).release();
    return module.release();
  });
}
