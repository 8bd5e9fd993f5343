// The last line of defence at the interpreter boundary.
//
// Every entry point turns the fatal errors of its work into Python
// exceptions. The turning itself can fail too (the exception class cannot be
// created, memory runs out while the message is copied); an exception that
// escaped then would unwind into C frames of the interpreter, which cannot
// be unwound through. The trap catches whatever still leaves the guarded
// code, writes a second report and aborts the process.
//
// One kind of unwinding is let through: the forced unwind by which
// pthread_exit ends a thread. CPython 3.9-3.13 end a thread that asks for
// the interpreter lock back once finalisation has begun that way, and the
// unwind must reach the interpreter's own (C) frames and the thread's start:
// swallowing it is fatal ("exception not rethrown"), and so is a `noexcept`
// frame in its way. The guard therefore is no `noexcept` frame itself.
//
// No Python header here: the abort is shown by a plain C++ death test.
#pragma once

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <source_location>
#include <string>
#include <utility>

#include "binding/forced_unwind.hpp"
#include "panic.hpp"

namespace tessarin::binding {

class PanicTrap {
public:
  explicit PanicTrap(const char *message = "uncaught panic at ffi boundary",
                     std::source_location where = std::source_location::current()) noexcept
      : message_(message), where_(where) {}

  PanicTrap(const PanicTrap &) = delete;
  PanicTrap &operator=(const PanicTrap &) = delete;

  // Runs `body`; returns what it returns. Anything thrown out of it ends the
  // process, except a forced unwind, which goes on.
  template <class Body>
  TESSARIN_LETS_FORCED_UNWIND_THROUGH decltype(auto) guard(Body &&body) const {
    try {
      return std::forward<Body>(body)();
    } catch (const abi::__forced_unwind &) {
      throw;
    } catch (...) {
      trip();
    }
  }

  [[noreturn]] void trip() const noexcept {
    report_panic(message_, where_);
    std::fputs("fatal error escaped to the interpreter boundary: aborting\n", stderr);
    std::fflush(stderr);
    std::abort();
  }

private:
  const char *message_;
  std::source_location where_;
};

} // namespace tessarin::binding
