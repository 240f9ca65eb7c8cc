#include "engine/sas/BlockRunner.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vocara {
namespace {

struct Slot {
  explicit Slot(const AnalysisPlan& plan)
      : samples(plan), frames(static_cast<std::size_t>(plan.blockFrames)) {}
  BlockSamples samples;
  std::vector<SasFrame> frames;
  bool done = false;
};

struct WorkQueue {
  std::mutex mutex;
  std::condition_variable queued;
  std::condition_variable finished;
  std::deque<Slot*> waiting;
  bool stop = false;
};

void WorkerLoop(WorkQueue& queue, BlockAnalyser& analyser) {
  for (;;) {
    Slot* slot = nullptr;
    {
      std::unique_lock lock(queue.mutex);
      queue.queued.wait(lock, [&] { return queue.stop || !queue.waiting.empty(); });
      if (queue.stop) return;
      slot = queue.waiting.front();
      queue.waiting.pop_front();
    }
    analyser.Analyse(slot->samples, slot->frames);
    {
      std::lock_guard lock(queue.mutex);
      slot->done = true;
    }
    queue.finished.notify_all();
  }
}

// Stops and joins the workers when the run ends, however it ends.
class Workers {
 public:
  explicit Workers(WorkQueue& queue) : queue_(queue) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers() {
    {
      std::lock_guard lock(queue_.mutex);
      queue_.stop = true;
    }
    queue_.queued.notify_all();
    for (std::thread& thread : threads) thread.join();
  }
  std::vector<std::thread> threads;

 private:
  WorkQueue& queue_;
};

}  // namespace

bool RunBlocks(WavDocument& wav, const AnalysisPlan& plan, std::uint32_t first, std::uint32_t end,
               int workers, const BlockReceiver& receive) {
  end = std::min(end, plan.frameCount);
  if (first >= end || plan.blockFrames <= 0) return true;
  const auto blockFrames = static_cast<std::uint32_t>(plan.blockFrames);
  const std::uint32_t blocks = (end - first + blockFrames - 1) / blockFrames;

  const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  // A single block is computed where it is read: a thread would only wait for it.
  const int wanted = blocks == 1
                         ? 0
                         : static_cast<int>(std::min<std::uint32_t>(
                               static_cast<std::uint32_t>(workers < 0 ? processors : workers), blocks));
  const std::uint32_t slotCount =
      std::min<std::uint32_t>(blocks, 2 * static_cast<std::uint32_t>(std::max(wanted, 1)) + 1);
  std::vector<std::unique_ptr<Slot>> slots;
  for (std::uint32_t s = 0; s < slotCount; ++s) slots.push_back(std::make_unique<Slot>(plan));
  std::vector<std::unique_ptr<BlockAnalyser>> analysers;
  for (int a = 0; a < std::max(wanted, 1); ++a) analysers.push_back(std::make_unique<BlockAnalyser>(plan));

  WorkQueue queue;
  Workers running(queue);
  for (int w = 0; w < wanted; ++w) {
    try {
      running.threads.emplace_back(WorkerLoop, std::ref(queue),
                                   std::ref(*analysers[static_cast<std::size_t>(w)]));
    } catch (const std::system_error&) {
      break;  // fewer workers; with none the calling thread computes every block
    }
  }
  const bool onCallingThread = running.threads.empty();

  const auto submit = [&](Slot& slot, std::uint32_t block) {
    const std::uint32_t at = first + block * blockFrames;
    ReadFrameSamples(wav, plan, at, std::min(blockFrames, end - at), slot.samples);
    if (onCallingThread) return;
    {
      std::lock_guard lock(queue.mutex);
      slot.done = false;
      queue.waiting.push_back(&slot);
    }
    queue.queued.notify_one();
  };
  for (std::uint32_t s = 0; s < slotCount; ++s) submit(*slots[s], s);

  for (std::uint32_t block = 0; block < blocks; ++block) {
    Slot& slot = *slots[block % slotCount];
    if (onCallingThread) {
      analysers[0]->Analyse(slot.samples, slot.frames);
    } else {
      std::unique_lock lock(queue.mutex);
      queue.finished.wait(lock, [&] { return slot.done; });
    }
    if (!receive(slot.samples.firstFrame, std::span<const SasFrame>(slot.frames.data(), slot.samples.frames)))
      return false;
    if (block + slotCount < blocks) submit(slot, block + slotCount);
  }
  return true;
}

}  // namespace vocara
