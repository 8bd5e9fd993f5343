#include "binding/released.hpp"

#include <sys/syscall.h>
#include <unistd.h>

namespace tessarin::binding {

namespace {

// CPython runs signal handlers on the thread that initialised it, which in
// a Python process is its first thread: the one whose id is the process id.
// (A fork from another thread makes that thread the child's first.)
bool on_main_thread() noexcept {
  return static_cast<pid_t>(syscall(SYS_gettid)) == getpid();
}

} // namespace

bool Released::poll(void *context) {
  Released &self = *static_cast<Released *>(context);
  if (self.main_thread_ == 0) return false;
  const Clock::time_point now = Clock::now();
  if (now < self.next_) return false;
  if (self.main_thread_ < 0) {
    self.main_thread_ = on_main_thread() ? 1 : 0;
    if (self.main_thread_ == 0) return false;
  }
  reacquire(self.thread_);
  const bool raised = PyErr_CheckSignals() != 0;
  self.thread_ = PyEval_SaveThread();
  self.next_ = Clock::now() + INTERVAL;
  return raised;
}

} // namespace tessarin::binding
