// The block engine over a run of frames, through the ordered block pipeline
// (OrderedBlocks.h): the calling thread reads each block's run of samples from the document's
// file into a slot of its own; the workers, the calling thread among them, compute the frames
// of the blocks read, each with an analyser of its own; the calling thread hands the blocks'
// frames on in order and refills the slot with the next block to read. A few more slots than
// workers keep the workers busy while the calling thread writes. A stop (by the receiver or at
// the end) lets every worker finish the block it holds and joins it before the slots go away.
// The Build runs every frame of a recording through it; re-analysis and the correction report
// run chosen frames.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "engine/sas/BlockAnalyser.h"

namespace vocara {

// Receives the frames of one block, in order; false stops the run.
using BlockReceiver = std::function<bool(std::uint32_t firstFrame, std::span<const SasFrame> frames)>;

// Computes frames first <= i < end (end at most plan.frameCount) in blocks of plan.blockFrames
// from `first`, on `workers` threads, the calling one among them (below 0 one per processor;
// limited to the blocks; 0 or 1, a single block, or when no other thread can be started: on the
// calling thread alone). False when the receiver stopped it.
// Throws std::bad_alloc when the buffers cannot be had.
bool RunBlocks(WavDocument& wav, const AnalysisPlan& plan, std::uint32_t first, std::uint32_t end,
               int workers, const BlockReceiver& receive);

}  // namespace vocara
