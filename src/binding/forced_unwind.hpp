// Letting a forced unwind through.
//
// When a thread ends by pthread_exit (CPython ends a thread that asks for
// the lock back after finalisation has begun), its frames are unwound by a
// "forced unwind" that every handler must rethrow. Catching it by its type,
// abi::__forced_unwind, binds a reference to an exception object that does
// not exist, which UndefinedBehaviorSanitizer's null check reports although
// the handler only rethrows. The few functions whose handlers let it through
// are marked with this attribute, so the sanitized build stays usable for
// the shutdown tests; it has no effect on an ordinary build.
#pragma once

#include <cxxabi.h>

#define TESSARIN_LETS_FORCED_UNWIND_THROUGH __attribute__((no_sanitize("undefined")))
