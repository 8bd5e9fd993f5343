// The computation of a call, run without the interpreter lock.
//
// Arguments are bound and converted, and results built, with the lock held;
// the model in between touches no Python object, so other Python threads
// run meanwhile. Its outcome (a value, or what its exception said) is
// captured while the lock is let go, the lock is
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
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "binding/forced_unwind.hpp"
#include "binding/lock.hpp"
#include "panic.hpp"
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
  template <class Compute> TESSARIN_LETS_FORCED_UNWIND_THROUGH static auto run(Compute &&compute) {
    using Outcome = std::invoke_result_t<Compute, StopCheck>;
    Released released;
    StopSource source(&Released::poll, &released);
    std::optional<Outcome> outcome;
    Failure failure;
    released.thread_ = PyEval_SaveThread();
    released.next_ = Clock::now() + INTERVAL;
    try {
      outcome.emplace(std::forward<Compute>(compute)(StopCheck(source)));
    } catch (const abi::__forced_unwind &) {
      throw; // the lock is gone with the thread
    } catch (Panic &fatal) {
      failure.panic.emplace(std::move(fatal));
    } catch (const std::bad_alloc &) {
      failure.kind = Failure::NoMemory;
    } catch (const std::exception &error) {
      failure.kind = Failure::Other;
      failure.what = error.what();
    } catch (...) {
      failure.kind = Failure::Unknown;
    }
    reacquire(released.thread_);
    if (source.stopped())
      outcome.reset();
    else
      failure.rethrow();
    return outcome;
  }

private:
  Released() = default;

  // What an exception of the computation said, kept across taking the lock
  // back and thrown again as its equivalent for the entry point: the fatal
  // error itself, out of memory, the text of any other std::exception, or
  // an exception of no known type. (Not std::exception_ptr: copying and
  // releasing one needs a C++ runtime newer than the wheels may assume.)
  struct Failure {
    enum Kind { None, NoMemory, Other, Unknown } kind = None;
    std::optional<Panic> panic;
    std::string what;

    struct UnknownException {};
    struct TextException : std::exception {
      explicit TextException(std::string text) : text_(std::move(text)) {}
      const char *what() const noexcept override { return text_.c_str(); }
      std::string text_;
    };
    void rethrow() {
      if (panic) throw std::move(*panic);
      switch (kind) {
        case None:
          return;
        case NoMemory:
          throw std::bad_alloc();
        case Other:
          throw TextException(std::move(what));
        case Unknown:
          throw UnknownException{};
      }
    }
  };

  static bool poll(void *context);

  PyThreadState *thread_ = nullptr;
  Clock::time_point next_;
  signed char main_thread_ = -1; // not yet known
};

} // namespace tessarin::binding
