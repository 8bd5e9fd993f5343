// The domain messages of Carlson's integrals as the C++ tests and the fuzz
// targets expect them. Written out here rather than taken from the kernels,
// so that a changed text fails both.
#pragma once

namespace elliptic_messages {

inline constexpr const char *RF_DOMAIN =
    "elliprf: x, y, and z must be non-negative, and at most one can be zero.";
inline constexpr const char *RD_DOMAIN =
    "elliprd: x and y must be non-negative, and at most one can be zero.";
inline constexpr const char *RJ_DOMAIN =
    "elliprj: x, y, and z must be non-negative, and at most one can be zero.";

} // namespace elliptic_messages
