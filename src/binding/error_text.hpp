// Text for messages: Python strings made from UTF-8 and the text of objects,
// including those whose `str()` holds lone surrogates or fails.
#pragma once

#include <Python.h>

#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "binding/ref.hpp"

namespace tessarin::binding {

// A new `str` from UTF-8 text; fatal when it cannot be made.
Owned make_str(std::string_view text, std::source_location where = std::source_location::current());

// An attribute of an object; empty, with the exception pending, on failure.
Owned attribute(Borrowed object, std::string_view name);

// The text of an object for a message: `str(object)` as UTF-8 (a lone
// surrogate becomes U+FFFD per byte), or "<unprintable T object>" when
// `str()` fails, which is reported through sys.unraisablehook.
std::string object_text(Borrowed object);

// UTF-8 of a `str`. One that holds lone surrogates has none: those are
// encoded on their own ("surrogatepass") and decoded back with each invalid
// byte sequence replaced by U+FFFD. Leaves an exception pending on failure.
std::optional<std::string> utf8_of(Borrowed str);

// `str(object)` as UTF-8; nothing (with the exception pending) on failure.
std::optional<std::string> str_of(Borrowed object);

// The `str` value of an attribute of a type (`__name__`, `__qualname__`);
// nothing when it cannot be read or is no `str`. Discards any failure.
std::optional<std::string> type_attribute_text(PyTypeObject *type, std::string_view name);

} // namespace tessarin::binding
