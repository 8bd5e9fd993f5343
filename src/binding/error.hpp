// The errors of the module boundary, in one include:
//   - boundary_error.hpp: the error type, `BoundaryError` and `Expected`;
//   - indicator.hpp: the interpreter's error indicator (take, restore, must);
//   - error_text.hpp: text of objects and Python strings for messages;
//   - panic_exception.hpp: the class of fatal errors and their resumption.
#pragma once

#include "binding/boundary_error.hpp"
#include "binding/error_text.hpp"
#include "binding/indicator.hpp"
#include "binding/panic_exception.hpp"
