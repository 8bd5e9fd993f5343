// Letting go of the interpreter lock and taking it back.
//
// On CPython 3.9-3.13 a thread that asks for the lock back after the
// interpreter's finalisation has begun never gets it: the interpreter ends
// the thread with pthread_exit, whose forced unwind runs through every frame
// of the call. Two things follow for the code here:
//   - the unwind must pass: every `catch (...)` that could see it rethrows
//     it, and no `noexcept` frame lies between this point and the
//     interpreter (binding/entry.hpp, binding/panic_trap.hpp);
//   - the frames it unwinds run without the lock, so the references they
//     own must not be touched: `lock_lost` marks the thread, and `Owned`
//     leaves its reference alone there (a leak of a thread that is ending
//     while the process exits, instead of a count changed or an object
//     freed behind the interpreter's back).
#pragma once

#include "binding/forced_unwind.hpp"
#include <Python.h>

#include <cxxabi.h>

namespace tessarin::binding {

// True on a thread whose frames are being unwound without the lock.
inline thread_local bool lock_lost = false;

// Takes the lock back: PyEval_RestoreThread, which may end the thread.
TESSARIN_LETS_FORCED_UNWIND_THROUGH inline void reacquire(PyThreadState *thread) {
  try {
    PyEval_RestoreThread(thread);
  } catch (const abi::__forced_unwind &) {
    lock_lost = true;
    throw;
  }
}

} // namespace tessarin::binding
