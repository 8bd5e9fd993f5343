// The fixed texts that the boundary shows to Python and to standard error.
//
// They are fixed on purpose: callers match them (tests, user code catching
// by message, tools reading the reports), and several keep the wording of
// the extension modules that this one replaces, "PyO3" and "Vec" included.
// Do not correct, reword or translate them; a change here is a change of the
// module's interface.
#pragma once

namespace tessarin::binding::messages {

inline constexpr const char *MODULE_DOC = "A Python module implemented in C++.";
inline constexpr const char *SECOND_INITIALISATION =
    "PyO3 modules compiled for CPython 3.8 or older may only be initialized once per "
    "interpreter process";
// Module and class name of the exception for fatal errors, and its docstring.
inline constexpr const char *PANIC_EXCEPTION_NAME = "pyo3_runtime.PanicException";
inline constexpr const char *PANIC_EXCEPTION_DOC =
    "\n"
    "The exception raised when C++ code called from Python panics.\n"
    "\n"
    "Like SystemExit, this exception is derived from BaseException so that\n"
    "it will typically propagate all the way through the stack and cause the\n"
    "Python interpreter to exit.\n";

// Conversion errors (TypeError) and the stand-in for an unreadable type name.
inline constexpr const char *STR_TO_VEC = "Can't extract `str` to `Vec`";
inline constexpr const char *FAILED_TYPE_NAME = "<failed to extract type name>";

// Taking an exception back from the interpreter: none pending (SystemError),
// or a PanicException, resumed with these lines on standard error.
inline constexpr const char *NO_EXCEPTION_SET = "attempted to fetch exception but none was set";
inline constexpr const char *UNWRAPPED_PANIC = "Unwrapped panic from Python code";
inline constexpr const char *RESUMING_PANIC =
    "--- PyO3 is resuming a panic after fetching a PanicException from Python. ---\n"
    "Python stack trace below:\n";

// Messages of fatal errors (the PanicException's text).
inline constexpr const char *NON_TEXT_PAYLOAD = "panic from C++ code";
inline constexpr const char *TRAP = "uncaught panic at ffi boundary";
inline constexpr const char *API_CALL_FAILED = "Python API call failed";

// Fatal errors of initialisation, followed by a rendering of the
// interpreter's error.
inline constexpr const char *APPEND_TO_ALL_FAILED = "could not append __name__ to __all__: ";
inline constexpr const char *EXCEPTION_TYPE_FAILED = "Failed to initialize new exception type.: ";

} // namespace tessarin::binding::messages
