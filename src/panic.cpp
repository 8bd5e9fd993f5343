#include "panic.hpp"

#include <atomic>
#include <cstdio>

namespace tessarin {

namespace {

std::atomic<bool> first_report{true};

} // namespace

void report_panic(std::string_view message, const std::source_location &where) noexcept {
  // Every caller is a thread that the interpreter created: the module starts
  // none of its own, so none has a name of ours.
  std::fprintf(stderr, "thread '<unnamed>' panicked at %s:%u:%u:\n%.*s\n", where.file_name(),
               static_cast<unsigned>(where.line()), static_cast<unsigned>(where.column()),
               static_cast<int>(message.size()), message.data());
  if (first_report.exchange(false)) {
    std::fputs("note: for a backtrace, run the interpreter under gdb and stop at the throw "
               "(`catch throw`)\n",
               stderr);
  }
  std::fflush(stderr);
}

void panic(std::string message, std::source_location where) {
  report_panic(message, where);
  throw Panic(std::move(message), where);
}

void panic_quietly(std::string message, std::source_location where) {
  throw Panic(std::move(message), where);
}

void assert_equal(std::size_t left, std::size_t right, std::source_location where) {
  if (left == right) return;
  panic("assertion `left == right` failed\n  left: " + std::to_string(left) +
            "\n right: " + std::to_string(right),
        where);
}

} // namespace tessarin
