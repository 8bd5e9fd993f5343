// Reading NumPy arrays, array.array and memoryview straight from their
// buffers.
//
// Iterating over a float64 NumPy array builds one scalar object per item
// (about 40 ns each); the buffer protocol hands over the memory itself. The
// values are the same either way: each item is the double stored in the
// buffer, read bit for bit.
#pragma once

#include <Python.h>

#include <optional>
#include <vector>

#include "binding/ref.hpp"

namespace tessarin::binding {

// A buffer exported by an object, released when it goes out of scope. The
// exporter cannot be resized while the buffer is held (array.array and
// bytearray refuse, memoryview.release() refuses), so it must not outlive
// the conversion that reads it.
class Buffer {
public:
  // Requests a buffer with `flags` (PyBUF_*). When the exporter refuses,
  // the buffer is empty and its exception is still pending.
  Buffer(Borrowed exporter, int flags) noexcept
      : held_(PyObject_GetBuffer(exporter.get(), &view_, flags) == 0) {}
  Buffer(const Buffer &) = delete;
  Buffer &operator=(const Buffer &) = delete;
  ~Buffer() {
    if (held_) PyBuffer_Release(&view_);
  }

  explicit operator bool() const noexcept { return held_; }
  const Py_buffer &view() const noexcept { return view_; }

private:
  Py_buffer view_{};
  bool held_;
};

// The items of `object`, read from its buffer, when its type is exactly
// numpy.ndarray, array.array or memoryview, or is numpy.memmap or a
// subclass of it or of numpy.ndarray that keeps their item access, and the
// buffer is one-dimensional and holds native doubles (any stride, read-only
// or not). Nothing otherwise: the object is then converted as any other
// sequence, and no exception is left pending.
std::optional<std::vector<double>> read_native_doubles(Borrowed object);

} // namespace tessarin::binding
