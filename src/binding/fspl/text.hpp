// Texts joined at compile time into one static, NUL-terminated array: the
// doc texts of the fspl functions, each the text signature followed by the
// docstring, share most of their paragraphs.
#pragma once

#include <array>
#include <cstddef>

namespace tessarin::binding::fspl {

template <std::size_t... N> constexpr auto join(const char (&...parts)[N]) {
  std::array<char, (N + ...) - sizeof...(N) + 1> text{};
  std::size_t at = 0;
  const auto put = [&](const char *piece, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; ++i)
      text[at++] = piece[i];
  };
  (put(parts, N), ...);
  text[at] = '\0';
  return text;
}

} // namespace tessarin::binding::fspl
