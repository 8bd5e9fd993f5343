// Ending a long computation early.
//
// A computation that may run for seconds asks now and then whether it is to
// stop: between separations, between the levels of a quadrature, inside
// long loops. Whoever started it decides how to answer (the module boundary
// looks for pending signals); the computation only learns yes or no, and on
// yes returns at once, with a result that its caller throws away. Asking
// changes nothing that is computed.
//
// `StopCheck` is a handle on a `StopSource`; the default handle has none and
// never stops, at the cost of a null test.
#pragma once

#include <cstdint>

namespace tessarin {

class StopSource {
public:
  // Answers whether to stop; called from the computation's own thread.
  using Poll = bool (*)(void *context);

  StopSource(Poll poll, void *context) noexcept : poll_(poll), context_(context) {}
  StopSource(const StopSource &) = delete;
  StopSource &operator=(const StopSource &) = delete;

  // True once a poll has said stop; it then stays true.
  bool stopped() const noexcept { return stopped_; }

private:
  friend class StopCheck;

  bool poll() {
    if (!stopped_ && poll_(context_)) stopped_ = true;
    return stopped_;
  }

  Poll poll_;
  void *context_;
  std::uint32_t ticks_ = 0;
  bool stopped_ = false;
};

class StopCheck {
public:
  constexpr StopCheck() noexcept = default;
  StopCheck(StopSource &source) noexcept : source_(&source) {}

  // Polls now: for steps that cost microseconds or more.
  bool operator()() const { return source_ != nullptr && source_->poll(); }

  // Polls on every `stride`-th call: for loops whose steps cost nanoseconds.
  bool every(std::uint32_t stride) const {
    if (source_ == nullptr) return false;
    if (++source_->ticks_ < stride) return source_->stopped_;
    source_->ticks_ = 0;
    return source_->poll();
  }

private:
  StopSource *source_ = nullptr;
};

} // namespace tessarin
