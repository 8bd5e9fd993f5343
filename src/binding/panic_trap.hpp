// The last line of defence at the interpreter boundary.
//
// Every entry point turns the fatal errors of its work into Python
// exceptions. The turning itself can fail too (the exception class cannot be
// created, memory runs out while the message is copied); an exception that
// escaped then would unwind into C frames of the interpreter, which cannot
// be unwound through. The trap catches whatever still leaves the guarded
// code, writes a second report and aborts the process.
//
// No Python header here: the abort is shown by a plain C++ death test.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <source_location>
#include <string>
#include <utility>

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
  // process.
  template <class Body> decltype(auto) guard(Body &&body) const noexcept {
    try {
      return std::forward<Body>(body)();
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
