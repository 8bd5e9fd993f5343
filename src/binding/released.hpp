// The computation of a call, run without the interpreter lock.
//
// Arguments are bound and converted, and results built, with the lock held;
// the model in between touches no Python object, so other Python threads
// run meanwhile. Its outcome (a value, or an exception as an
// std::exception_ptr) is captured while the lock is let go, the lock is
// taken back in straight-line code (never from a destructor: taking it can
// end the thread, binding/lock.hpp), and only then is the value converted
// or the exception rethrown.
//
// While it runs the model polls a stop source: on the interpreter's main
// thread, where Python runs signal handlers, the poll takes the lock back
// every INTERVAL, lets the handlers run (PyErr_CheckSignals) and lets go
// again. A handler that raises stops the computation; its exception stays
// pending in the thread's state and is what the call raises. On every other
// thread the poll does nothing: handlers never run there.
#pragma once

#include <Python.h>

#include <chrono>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "binding/lock.hpp"
#include "stop.hpp"

namespace tessarin::binding {

class Released {
public:
  using Clock = std::chrono::steady_clock;
  // Between two looks for pending signals: short enough for Ctrl-C to feel
  // immediate, long enough that taking the lock back, which can mean
  // waiting for another thread's switch interval (5 ms), costs little.
  static constexpr Clock::duration INTERVAL = std::chrono::milliseconds(50);

  // Runs `compute(StopCheck)` without the lock and returns its outcome
  // (nothing when a signal handler raised: its exception is pending); an
  // exception of the computation is rethrown with the lock held.
  template <class Compute> static auto run(Compute &&compute) {
    using Outcome = std::invoke_result_t<Compute, StopCheck>;
    Released released;
    StopSource source(&Released::poll, &released);
    std::optional<Outcome> outcome;
    std::exception_ptr failure;
    released.thread_ = PyEval_SaveThread();
    released.next_ = Clock::now() + INTERVAL;
    try {
      outcome.emplace(std::forward<Compute>(compute)(StopCheck(source)));
    } catch (const abi::__forced_unwind &) {
      throw; // the lock is gone with the thread
    } catch (...) {
      failure = std::current_exception();
    }
    reacquire(released.thread_);
    if (source.stopped())
      outcome.reset();
    else if (failure)
      std::rethrow_exception(failure);
    return outcome;
  }

private:
  Released() = default;

  static bool poll(void *context);

  PyThreadState *thread_ = nullptr;
  Clock::time_point next_;
  signed char main_thread_ = -1; // not yet known
};

} // namespace tessarin::binding
