// Python references with their ownership in the type.
//
// `Owned` holds one strong reference and gives it back when it goes out of
// scope, so every error path releases what it took without a line of its
// own. A reference handed over to Python (a return value, a reference that
// an API steals) leaves through `release()`. `Borrowed` names a reference
// that someone else keeps alive for as long as it is used (argument objects,
// items of a list that is not changed meanwhile); it never touches counts.
#pragma once

#include <Python.h>

#include <utility>

#include "binding/lock.hpp"

namespace tessarin::binding {

class Borrowed {
public:
  constexpr Borrowed() noexcept = default;
  constexpr explicit Borrowed(PyObject *object) noexcept : object_(object) {}

  PyObject *get() const noexcept { return object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

private:
  PyObject *object_ = nullptr;
};

class Owned {
public:
  Owned() noexcept = default;

  // Takes over a new reference (possibly null) returned by the interpreter.
  static Owned steal(PyObject *object) noexcept { return Owned(object); }
  // Adds a strong reference to an object that is only borrowed.
  static Owned take_ref(PyObject *object) noexcept {
    Py_XINCREF(object);
    return Owned(object);
  }
  static Owned take_ref(Borrowed object) noexcept { return take_ref(object.get()); }

  Owned(Owned &&other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Owned &operator=(Owned &&other) noexcept {
    if (this != &other) {
      PyObject *old = std::exchange(object_, std::exchange(other.object_, nullptr));
      Py_XDECREF(old);
    }
    return *this;
  }
  Owned(const Owned &) = delete;
  Owned &operator=(const Owned &) = delete;
  // Without the lock (a thread that the interpreter ends while this frame
  // unwinds, binding/lock.hpp) the reference is left as it is.
  ~Owned() {
    if (object_ != nullptr && !lock_lost) Py_DECREF(object_);
  }

  PyObject *get() const noexcept { return object_; }
  Borrowed borrow() const noexcept { return Borrowed(object_); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // Hands the reference over to the caller, who now owns it.
  [[nodiscard]] PyObject *release() noexcept { return std::exchange(object_, nullptr); }

private:
  explicit Owned(PyObject *object) noexcept : object_(object) {}

  PyObject *object_ = nullptr;
};

} // namespace tessarin::binding
