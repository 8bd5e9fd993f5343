// Value-or-error result shared by the kernels and the models.
//
// A computation either yields its value or fails with a fixed, static
// message such as "ellipk: m must be less than 1.". Messages are never
// formatted or allocated, so a failure costs one pointer and a caller that
// receives an error passes the very same pointer on.
#pragma once

#include <utility>

namespace tessarin {

// The failing side of a Result: a static message naming the function that
// found the fault.
struct Failure {
  const char *message;
};

template <class T> class [[nodiscard]] Result {
public:
  Result(T value) : value_(std::move(value)), error_(nullptr) {}
  Result(Failure failure) : value_(), error_(failure.message) {}

  bool ok() const noexcept { return error_ == nullptr; }
  explicit operator bool() const noexcept { return ok(); }

  // The message of a failed result; nullptr for a success.
  const char *error() const noexcept { return error_; }
  Failure failure() const noexcept { return Failure{error_}; }

  const T &value() const &noexcept { return value_; }
  T &&value() &&noexcept { return std::move(value_); }
  const T &operator*() const &noexcept { return value_; }

private:
  T value_;
  const char *error_;
};

} // namespace tessarin
