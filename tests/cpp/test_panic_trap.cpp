// The guard at the interpreter boundary and the fatal-error report.
#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <stdexcept>
#include <string>

#include "binding/panic_trap.hpp"
#include "panic.hpp"

namespace {

using tessarin::Panic;
using tessarin::binding::PanicTrap;

TEST(PanicTrap, PassesTheResultThrough) {
  const PanicTrap trap;
  EXPECT_EQ(trap.guard([] { return 42; }), 42);
}

TEST(PanicTrapDeathTest, AbortsOnAFatalErrorThatEscapes) {
  // The first report (the fatal error) comes before the trap's own.
  EXPECT_EXIT(
      {
        const PanicTrap trap;
        trap.guard([]() -> int { tessarin::panic("escaped from the conversion"); });
      },
      testing::KilledBySignal(SIGABRT),
      "panicked at .*escaped from the conversion.*panicked at "
      ".*test_panic_trap\\.cpp:[0-9]+:[0-9]+:"
      ".uncaught panic at ffi boundary");
}

TEST(PanicTrapDeathTest, AbortsOnAnyOtherException) {
  EXPECT_EXIT(
      {
        const PanicTrap trap;
        trap.guard([]() -> int { throw std::runtime_error("not ours"); });
      },
      testing::KilledBySignal(SIGABRT), "uncaught panic at ffi boundary");
}

// pthread_exit ends a thread by a forced unwind (the interpreter does so to
// a thread that asks for its lock back during finalisation): the trap lets
// it through, the thread's frames are unwound and the process lives on.
std::atomic<bool> unwound{false};

void *exit_inside_the_trap(void *) {
  struct Mark {
    ~Mark() { unwound = true; }
  } mark;
  const PanicTrap trap;
  trap.guard([]() -> int { pthread_exit(nullptr); });
  return &unwound; // never reached
}

TEST(PanicTrap, LetsTheForcedUnwindOfAnEndingThreadThrough) {
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, exit_inside_the_trap, nullptr), 0);
  void *result = &unwound;
  ASSERT_EQ(pthread_join(thread, &result), 0);
  EXPECT_EQ(result, nullptr);
  EXPECT_TRUE(unwound);
}

TEST(Panic, ReportsThreadLocationAndMessageThenThrows) {
  testing::internal::CaptureStderr();
  int line = 0;
  try {
    line = __LINE__ + 1;
    tessarin::panic("first\nsecond");
    FAIL() << "panic returned";
  } catch (const Panic &fatal) {
    EXPECT_EQ(fatal.message(), "first\nsecond");
    EXPECT_EQ(fatal.where().line(), static_cast<unsigned>(line));
  }
  const std::string report = testing::internal::GetCapturedStderr();
  const std::string head = "thread '<unnamed>' panicked at ";
  ASSERT_EQ(report.rfind(head, 0), 0u) << report;
  EXPECT_NE(report.find("test_panic_trap.cpp:" + std::to_string(line) + ":"), std::string::npos)
      << report;
  EXPECT_NE(report.find(":\nfirst\nsecond\n"), std::string::npos) << report;
}

TEST(Panic, BacktraceNoteFollowsOnlyTheFirstReport) {
  auto report = [] {
    testing::internal::CaptureStderr();
    EXPECT_THROW(tessarin::panic("x"), Panic);
    return testing::internal::GetCapturedStderr();
  };
  report(); // whichever test ran first may already have had the note
  const std::string later = report();
  EXPECT_EQ(later.find("note:"), std::string::npos) << later;
  const auto lines = std::count(later.begin(), later.end(), '\n');
  EXPECT_EQ(lines, 2) << later;
}

} // namespace
