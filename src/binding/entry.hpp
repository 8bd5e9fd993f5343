// The frame of every entry point: what runs between the interpreter's call
// and the model, and what turns every way of failing into a Python
// exception.
#pragma once

#include <Python.h>

#include <cxxabi.h>

#include <array>
#include <exception>
#include <new>
#include <source_location>
#include <string>
#include <tuple>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/convert.hpp"
#include "binding/error.hpp"
#include "binding/forced_unwind.hpp"
#include "binding/messages.hpp"
#include "binding/panic_trap.hpp"
#include "binding/released.hpp"
#include "panic.hpp"
#include "stop.hpp"

namespace tessarin::binding {

// Runs `work` (returning Expected<PyObject *>) for an entry point that
// CPython calls: a new reference, or NULL with an exception set. A fatal
// error of the work becomes PanicException; running out of memory becomes
// MemoryError. Should raising any of these fail in turn, the trap ends the
// process: no C++ exception ever unwinds into the interpreter. The one
// unwinding that passes is the forced unwind of a thread that the
// interpreter ends while it takes the lock back (binding/lock.hpp); no
// `noexcept` frame may stand between that point and the interpreter.
template <class Work>
PyObject *entry_point(Work &&work, std::source_location where = std::source_location::current()) {
  const PanicTrap trap(messages::TRAP, where);
  return trap.guard([&]() TESSARIN_LETS_FORCED_UNWIND_THROUGH -> PyObject * {
    std::string payload;
    try {
      Expected<PyObject *> outcome = std::forward<Work>(work)();
      if (outcome.ok()) return outcome.value();
      std::move(outcome.error()).raise();
      return nullptr;
    } catch (const Panic &fatal) {
      payload = fatal.message();
    } catch (const std::bad_alloc &) {
      PyErr_NoMemory();
      return nullptr;
    } catch (const std::exception &failure) {
      payload = failure.what();
    } catch (const abi::__forced_unwind &) {
      throw;
    } catch (...) {
      payload = messages::NON_TEXT_PAYLOAD;
    }
    from_panic_payload(std::move(payload)).raise();
    return nullptr;
  });
}

// How a call runs its model: with the interpreter lock let go (the list
// functions), or held (the ring function: one evaluation costs less than
// letting go of the lock and taking it back).
enum class Lock { Release, Hold };

// Binds the arguments of a call to the parameters of `function`, converts
// each to its type in `Params`, in order, calls `model` with them and a stop
// check, and turns its outcome into a Python object. The description is a
// compile-time constant, so a parameter list that does not match `Params`
// does not build.
template <const FunctionDescription &function, class... Params, class Model>
Expected<PyObject *> call(PyObject *const *args, Py_ssize_t nargs, PyObject *kwnames, Model &&model,
                          Lock lock = Lock::Release) {
  static_assert(function.parameters.size() == sizeof...(Params),
                "one type in Params for each parameter of the function");
  std::array<Borrowed, sizeof...(Params)> slots{};
  if (std::optional<BoundaryError> error = bind(function, args, nargs, kwnames, slots.data())) {
    return std::move(*error);
  }
  std::tuple<Params...> values;
  std::optional<BoundaryError> error;
  // Left to right, stopping at the first argument that fails.
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (extract(slots[I], function.parameters[I], std::get<I>(values), error) && ...);
  }
  (std::index_sequence_for<Params...>{});
  if (error) return std::move(*error);
  const auto compute = [&](StopCheck stop) {
    return std::apply([&](Params &...v) { return model(std::move(v)..., stop); }, values);
  };
  if (lock == Lock::Hold) return to_python(compute(StopCheck{}));
  auto outcome = Released::run(compute);
  if (!outcome) return take_or_system_error(); // a signal handler raised
  return to_python(*outcome);
}

} // namespace tessarin::binding
