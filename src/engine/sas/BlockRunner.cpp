#include "engine/sas/BlockRunner.h"

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "engine/common/OrderedBlocks.h"

namespace vocara {

bool RunBlocks(WavDocument& wav, const AnalysisPlan& plan, std::uint32_t first, std::uint32_t end,
               int workers, const BlockReceiver& receive) {
  end = std::min(end, plan.frameCount);
  if (first >= end || plan.blockFrames <= 0) return true;
  const auto blockFrames = static_cast<std::uint32_t>(plan.blockFrames);
  const std::uint32_t blocks = (end - first + blockFrames - 1) / blockFrames;

  const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  // A single block is computed where it is read: a thread would only wait for it.
  const int threads = blocks == 1
                          ? 1
                          : static_cast<int>(std::clamp<std::uint32_t>(
                                static_cast<std::uint32_t>(workers < 0 ? processors : workers), 1, blocks));
  const std::uint32_t slotCount =
      std::min<std::uint32_t>(blocks, 2 * static_cast<std::uint32_t>(threads) + 1);
  std::vector<std::unique_ptr<BlockSamples>> samples;
  std::vector<std::vector<SasFrame>> frames;
  for (std::uint32_t s = 0; s < slotCount; ++s) {
    samples.push_back(std::make_unique<BlockSamples>(plan));
    frames.emplace_back(static_cast<std::size_t>(plan.blockFrames));
  }
  // One analyser per thread, the calling thread's first.
  std::vector<std::unique_ptr<BlockAnalyser>> analysers;
  for (int a = 0; a < threads; ++a) analysers.push_back(std::make_unique<BlockAnalyser>(plan));

  OrderedBlockSteps steps;
  steps.stage = [&](std::uint64_t block, std::size_t slot) {
    const std::uint32_t at = first + static_cast<std::uint32_t>(block) * blockFrames;
    ReadFrameSamples(wav, plan, at, std::min(blockFrames, end - at), *samples[slot]);
  };
  steps.transform = [&](std::uint64_t, std::size_t slot, unsigned thread) {
    analysers[thread]->Analyse(*samples[slot], frames[slot]);
  };
  steps.consume = [&](std::uint64_t, std::size_t slot) {
    const BlockSamples& block = *samples[slot];
    return receive(block.firstFrame, std::span<const SasFrame>(frames[slot].data(), block.frames));
  };
  return RunOrderedBlocks(blocks, slotCount, static_cast<unsigned>(threads - 1), steps);
}

}  // namespace vocara
