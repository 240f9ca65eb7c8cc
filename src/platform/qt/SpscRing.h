// A fixed-size queue between exactly one producing thread and one consuming thread, with no
// locks and no allocation, so that a sound device's callback can use it without ever waiting
// for the interface thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>

namespace vocara::platform::qt {

template <typename T, std::size_t N>
class SpscRing {
  static_assert(N > 0 && (N & (N - 1)) == 0, "the ring's size must be a power of two");

 public:
  // Producer. False when the ring is full; nothing is stored then.
  bool TryPush(const T& value) {
    const std::size_t head = head_.load(std::memory_order_relaxed);
    if (head - tail_.load(std::memory_order_acquire) == N) {
      return false;
    }
    slots_[head % N] = value;
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

  // Consumer: the number of entries it may look at. The producer only adds to it.
  std::size_t Size() const {
    return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
  }
  // Consumer: the entry `index` places after the oldest one; index < Size(). The consumer may
  // change it in place until it pops it.
  T& Peek(std::size_t index) { return slots_[(tail_.load(std::memory_order_relaxed) + index) % N]; }
  // Consumer: gives the oldest entry's slot back to the producer; only when Size() > 0.
  void Pop() { tail_.store(tail_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }
  bool TryPop(T& value) {
    if (Size() == 0) {
      return false;
    }
    value = Peek(0);
    Pop();
    return true;
  }

 private:
  std::array<T, N> slots_{};
  // Ever-growing counts of pushed and popped entries; their difference is the fill. Apart, so
  // that each side's writes do not keep stealing the other side's cache line.
  alignas(64) std::atomic<std::size_t> head_{0};
  alignas(64) std::atomic<std::size_t> tail_{0};
};

}  // namespace vocara::platform::qt
