// Internal fatal errors.
//
// A violated internal precondition (or an interpreter call that must not
// fail) abandons the whole computation at once: `panic` writes a report to
// standard error and throws `Panic`, which unwinds every frame up to the
// module entry point that started the call. There, and only there, it is
// turned into a Python exception. Kernels and models never catch it.
#pragma once

#include <cstddef>
#include <source_location>
#include <string>
#include <string_view>

namespace tessarin {

class Panic {
public:
  Panic(std::string message, std::source_location where) noexcept
      : message_(std::move(message)), where_(where) {}

  const std::string &message() const noexcept { return message_; }
  const std::source_location &where() const noexcept { return where_; }

private:
  std::string message_;
  std::source_location where_;
};

// Writes the report (thread, location, message) to standard error, then
// throws Panic.
[[noreturn]] void panic(std::string message,
                        std::source_location where = std::source_location::current());

// Throws Panic without writing a report: for a fatal error whose story has
// already been told on standard error.
[[noreturn]] void panic_quietly(std::string message,
                                std::source_location where = std::source_location::current());

// Equality assertion between two counts; the message names both in decimal:
// "assertion `left == right` failed\n  left: 3\n right: 2".
void assert_equal(std::size_t left, std::size_t right,
                  std::source_location where = std::source_location::current());

// The report that `panic` writes, without the throw: for a fatal error that
// must not unwind any further (the guard at the interpreter boundary). The
// first report of the process is followed by a note on getting a backtrace.
void report_panic(std::string_view message, const std::source_location &where) noexcept;

} // namespace tessarin
