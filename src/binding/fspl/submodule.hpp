// The submodule `tessarin.fspl`: its functions, made when `tessarin` is
// initialised (without importing NumPy).
#pragma once

#include <Python.h>

#include <optional>

#include "binding/error.hpp"
#include "binding/ref.hpp"

namespace tessarin::binding::fspl {

// Creates `tessarin.fspl` with its functions and makes it importable the
// way os.path is: the attribute `fspl` of `parent` and the entry
// 'tessarin.fspl' of sys.modules, so that `import tessarin.fspl`,
// `from tessarin import fspl` and unpickling its functions find it.
std::optional<BoundaryError> add_submodule(Borrowed parent);

} // namespace tessarin::binding::fspl
