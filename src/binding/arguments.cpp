#include "binding/arguments.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace tessarin::binding {

namespace {

std::string full_name(const FunctionDescription &function) {
  return std::string(function.name) + "()";
}

BoundaryError type_error(std::string message) {
  return BoundaryError::deferred(PyExc_TypeError, std::move(message));
}

BoundaryError too_many_positional_arguments(const FunctionDescription &function, Py_ssize_t given) {
  // More were given than there are parameters, so never "was given".
  return type_error(full_name(function) + " takes " + std::to_string(function.parameters.size()) +
                    " positional arguments but " + std::to_string(given) + " were given");
}

BoundaryError multiple_values_for_argument(const FunctionDescription &function,
                                           const char *parameter) {
  return type_error(full_name(function) + " got multiple values for argument '" + parameter + "'");
}

BoundaryError unexpected_keyword_argument(const FunctionDescription &function, PyObject *keyword) {
  return type_error(full_name(function) + " got an unexpected keyword argument '" +
                    object_text(Borrowed(keyword)) + "'");
}

// 'a' / 'a' and 'b' / 'a', 'b', and 'c'
void push_parameter_list(std::string &out, std::span<const char *const> names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) out += ',';
      out += i + 1 == names.size() ? " and " : " ";
    }
    out += '\'';
    out += names[i];
    out += '\'';
  }
}

BoundaryError missing_required_positional_arguments(const FunctionDescription &function,
                                                    const Borrowed *slots) {
  std::vector<const char *> missing;
  for (std::size_t i = 0; i < function.parameters.size(); ++i) {
    if (!slots[i]) missing.push_back(function.parameters[i]);
  }
  std::string message = full_name(function) + " missing " + std::to_string(missing.size()) +
                        " required positional " + (missing.size() == 1 ? "argument" : "arguments") +
                        ": ";
  push_parameter_list(message, missing);
  return type_error(std::move(message));
}

} // namespace

std::optional<BoundaryError> bind(const FunctionDescription &function, PyObject *const *args,
                                  Py_ssize_t nargs, PyObject *kwnames, Borrowed *slots) {
  const auto parameters = static_cast<Py_ssize_t>(function.parameters.size());
  for (Py_ssize_t i = 0; i < nargs && i < parameters; ++i)
    slots[i] = Borrowed(args[i]);
  if (nargs > parameters) return too_many_positional_arguments(function, nargs);

  const Py_ssize_t keywords = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject *keyword = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t size = 0;
    const char *text = PyUnicode_AsUTF8AndSize(keyword, &size);
    if (text == nullptr) {
      (void)take(); // a lone surrogate: no parameter has that name
      return unexpected_keyword_argument(function, keyword);
    }
    const std::string_view name(text, static_cast<std::size_t>(size));
    Py_ssize_t slot = 0;
    while (slot < parameters && name != function.parameters[slot])
      ++slot;
    if (slot == parameters) {
      const auto &keyword_only = function.keyword_only;
      std::size_t extra = 0;
      while (extra < keyword_only.size() && name != keyword_only[extra])
        ++extra;
      if (extra == keyword_only.size()) return unexpected_keyword_argument(function, keyword);
      slot = parameters + static_cast<Py_ssize_t>(extra);
      if (slots[slot]) return multiple_values_for_argument(function, keyword_only[extra]);
    } else if (slots[slot]) {
      return multiple_values_for_argument(function, function.parameters[slot]);
    }
    slots[slot] = Borrowed(args[nargs + k]);
  }

  if (nargs < parameters) {
    for (Py_ssize_t i = nargs; i < parameters; ++i) {
      if (!slots[i]) return missing_required_positional_arguments(function, slots);
    }
  }
  return std::nullopt;
}

} // namespace tessarin::binding
