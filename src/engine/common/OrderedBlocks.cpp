#include "engine/common/OrderedBlocks.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vocara {
namespace {

// The blocks in flight. Published blocks are staged and may be taken; tickets counts the
// blocks taken; a slot's ready flag says its block is transformed. No thread waits for a group
// of blocks to end: the calling thread waits only when the block it consumes next is still
// being transformed and no other block is left to take.
class Pipeline {
 public:
  Pipeline(std::size_t slots, const OrderedBlockSteps& steps) : slots_(slots), steps_(steps), ready_(slots) {}
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;
  // Stops the helpers and joins them, however the run ended.
  ~Pipeline() {
    {
      const std::lock_guard lock(mutex_);
      stop_.store(true);
    }
    work_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
  }

  void Start(unsigned helpers) {
    helpers_.reserve(helpers);
    for (unsigned i = 1; i <= helpers; ++i) {
      try {
        helpers_.emplace_back([this, i] { Serve(i); });
      } catch (const std::system_error&) {
        break;  // fewer threads: the same blocks, later
      }
    }
  }

  std::size_t SlotOf(std::uint64_t block) const { return static_cast<std::size_t>(block % slots_); }

  // Makes the next block, whose slot is staged, available to every thread.
  void Publish() {
    published_.fetch_add(1);
    if (sleepers_.load() > 0) {
      { const std::lock_guard lock(mutex_); }
      work_.notify_one();
    }
  }

  // Returns once `block` is transformed, transforming other blocks meanwhile.
  void Await(std::uint64_t block) {
    std::atomic<bool>& ready = ready_[SlotOf(block)];
    while (!ready.load()) {
      if (TransformOne(0)) continue;
      waiting_.store(true);
      std::unique_lock lock(mutex_);
      done_.wait(lock, [&] { return ready.load(); });
      waiting_.store(false);
    }
  }

  void Release(std::uint64_t block) { ready_[SlotOf(block)].store(false, std::memory_order_relaxed); }

 private:
  // Takes the next published block and transforms it; false when there is none.
  bool TransformOne(unsigned thread) {
    std::uint64_t ticket = tickets_.load();
    do {
      if (ticket >= published_.load()) return false;
    } while (!tickets_.compare_exchange_weak(ticket, ticket + 1));
    const std::size_t slot = SlotOf(ticket);
    steps_.transform(ticket, slot, thread);
    ready_[slot].store(true);
    if (waiting_.load()) {
      { const std::lock_guard lock(mutex_); }
      done_.notify_one();
    }
    return true;
  }

  void Serve(unsigned thread) {
    while (!stop_.load()) {
      if (TransformOne(thread)) continue;
      std::unique_lock lock(mutex_);
      sleepers_.fetch_add(1);
      work_.wait(lock, [&] { return stop_.load() || tickets_.load() < published_.load(); });
      sleepers_.fetch_sub(1);
    }
  }

  const std::size_t slots_;
  const OrderedBlockSteps& steps_;
  std::vector<std::atomic<bool>> ready_;
  std::vector<std::thread> helpers_;
  // Every flag and counter below is sequentially consistent: a thread that announces it waits
  // and then checks, and one that changes what it waits for and then checks for waiters,
  // cannot both miss each other.
  std::atomic<std::uint64_t> published_{0};
  std::atomic<std::uint64_t> tickets_{0};
  std::atomic<int> sleepers_{0};
  std::atomic<bool> waiting_{false};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
};

}  // namespace

bool RunOrderedBlocks(std::uint64_t blocks, std::size_t slots, unsigned helpers,
                      const OrderedBlockSteps& steps) {
  if (blocks == 0) return true;
  slots = std::max<std::size_t>(slots, 1);
  Pipeline pipeline(slots, steps);
  pipeline.Start(helpers);
  std::uint64_t staged = 0;
  for (std::uint64_t block = 0; block < blocks; ++block) {
    for (; staged < blocks && staged < block + slots; ++staged) {
      steps.stage(staged, pipeline.SlotOf(staged));
      pipeline.Publish();
    }
    pipeline.Await(block);
    if (!steps.consume(block, pipeline.SlotOf(block))) return false;
    pipeline.Release(block);
  }
  return true;
}

}  // namespace vocara
