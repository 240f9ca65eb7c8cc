// One ordered block pipeline, for work that cuts a recording into blocks which, once read, do
// not depend on each other (the Build's frames, Remove Noise's spectra).
//
// Block j lives in slot j mod `slots` from the moment it is staged until it is consumed. The
// calling thread stages the blocks in order, never more than `slots` ahead of the one it
// consumes next; the helper threads and the calling thread take staged blocks from one counter
// and transform them, each block wholly by one thread with the same code, so what a block
// becomes never depends on how many threads there are or which took it; the calling thread
// consumes the blocks in order, transforming others itself while the next one is not ready.
// A slot is restaged only after its block was consumed, so a slot is never staged,
// transformed and consumed at once.
//
// The run ends when every block was consumed, when consume says stop, or when a step on the
// calling thread throws (std::bad_alloc included, passed on): in every case each helper
// finishes the block it holds, takes no other, and is joined before RunOrderedBlocks returns,
// so the slots the steps work on may go away right after. A helper that cannot be started
// leaves fewer threads: the same blocks, later. Nothing is allocated per block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace vocara {

struct OrderedBlockSteps {
  // On the calling thread: puts block `block` into `slot`.
  std::function<void(std::uint64_t block, std::size_t slot)> stage;
  // On any thread: transforms block `block` in `slot`. `thread` is 0 for the calling thread
  // and 1 .. helpers for the helpers, so that each can work in scratch of its own.
  std::function<void(std::uint64_t block, std::size_t slot, unsigned thread)> transform;
  // On the calling thread, in block order, once the block is transformed; false stops the run.
  std::function<bool(std::uint64_t block, std::size_t slot)> consume;
};

// Runs blocks 0 .. blocks - 1 through `slots` slots (at least 1) with `helpers` threads besides
// the calling one (0: all on the calling thread). False when consume stopped the run.
bool RunOrderedBlocks(std::uint64_t blocks, std::size_t slots, unsigned helpers,
                      const OrderedBlockSteps& steps);

}  // namespace vocara
