#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <tuple>
#include <vector>

#include "engine/common/OrderedBlocks.h"

namespace vocara {
namespace {

// What a slot holds, as each step must find it: staged only when free, transformed only when
// staged, consumed only when transformed.
enum SlotState : int { Free, Staged, Transforming, Transformed };

// A run that checks every step against the slots' states and records what it saw.
struct Recorder {
  Recorder(std::uint64_t blocks, std::size_t slots)
      : slotBlock(slots), state(slots), value(slots), transforms(blocks), stagedCount(blocks) {}

  // A value that needs the block's own number and a few rounds of mixing, into the thread's
  // own scratch first, so that a block computed from the wrong slot or scratch shows.
  static std::uint64_t Mix(std::uint64_t block, std::vector<std::uint64_t>& scratch) {
    scratch.assign(8, block * 0x9e3779b97f4a7c15ull + 1);
    for (int round = 0; round < 200; ++round)
      for (std::size_t i = 1; i < scratch.size(); ++i) scratch[i] ^= (scratch[i - 1] << 7) + round;
    return scratch.back();
  }

  OrderedBlockSteps Steps(unsigned helpers) {
    scratch.assign(helpers + 1, {});
    OrderedBlockSteps steps;
    steps.stage = [this](std::uint64_t block, std::size_t slot) {
      ++stagedCount[block];
      int expected = Free;
      if (!state[slot].compare_exchange_strong(expected, Staged)) faults.fetch_add(1);
      slotBlock[slot] = block;
    };
    steps.transform = [this](std::uint64_t block, std::size_t slot, unsigned thread) {
      inFlight.fetch_add(1);
      int expected = Staged;
      if (!state[slot].compare_exchange_strong(expected, Transforming)) faults.fetch_add(1);
      if (slotBlock[slot] != block || thread >= scratch.size()) faults.fetch_add(1);
      transforms[block].fetch_add(1);
      value[slot] = Mix(slotBlock[slot], scratch[thread]);
      state[slot].store(Transformed);
      inFlight.fetch_sub(1);
    };
    steps.consume = [this](std::uint64_t block, std::size_t slot) {
      int expected = Transformed;
      if (!state[slot].compare_exchange_strong(expected, Free)) faults.fetch_add(1);
      consumed.push_back(block);
      values.push_back(value[slot]);
      return block + 1 != stopAfter;
    };
    return steps;
  }

  std::vector<std::uint64_t> slotBlock;
  std::vector<std::atomic<int>> state;
  std::vector<std::uint64_t> value;
  std::vector<std::atomic<int>> transforms;
  std::vector<int> stagedCount;
  std::vector<std::vector<std::uint64_t>> scratch;  // one per thread, the calling thread's first
  std::vector<std::uint64_t> consumed;
  std::vector<std::uint64_t> values;
  std::atomic<int> faults{0};
  std::atomic<int> inFlight{0};
  std::uint64_t stopAfter = 0;  // consume says stop after this many blocks; 0 never
};

TEST(OrderedBlocksTest, EveryBlockOnceInOrderWithTheSameValuesForAnyThreadCountAndNoStepForNoBlocks) {
  constexpr std::uint64_t Blocks = 600;
  std::vector<std::uint64_t> expected;
  for (unsigned helpers : {0u, 1u, 2u, 7u}) {
    for (std::size_t slots : {std::size_t{1}, std::size_t{3}, std::size_t{16}, std::size_t{1000}}) {
      SCOPED_TRACE(testing::Message() << helpers << " helpers, " << slots << " slots");
      Recorder run(Blocks, slots);
      ASSERT_TRUE(RunOrderedBlocks(Blocks, slots, helpers, run.Steps(helpers)));
      EXPECT_EQ(run.faults.load(), 0);
      ASSERT_EQ(run.consumed.size(), Blocks);
      for (std::uint64_t j = 0; j < Blocks; ++j) {
        EXPECT_EQ(run.consumed[j], j);
        EXPECT_EQ(run.transforms[j].load(), 1) << "block " << j;
        EXPECT_EQ(run.stagedCount[j], 1) << "block " << j;
      }
      if (expected.empty()) expected = run.values;
      EXPECT_EQ(run.values, expected);
    }
  }
  Recorder none(0, 4);
  EXPECT_TRUE(RunOrderedBlocks(0, 4, 3, none.Steps(3)));
  EXPECT_TRUE(none.consumed.empty());
}

TEST(OrderedBlocksTest, AStopEndsTheRunWithEveryHelperJoinedAndNothingStagedBeyondTheSlots) {
  constexpr std::uint64_t Blocks = 400;
  constexpr std::size_t Slots = 5;
  for (unsigned helpers : {0u, 1u, 3u}) {
    for (int repeat = 0; repeat < 20; ++repeat) {
      SCOPED_TRACE(testing::Message() << helpers << " helpers");
      Recorder run(Blocks, Slots);
      run.stopAfter = 37;
      EXPECT_FALSE(RunOrderedBlocks(Blocks, Slots, helpers, run.Steps(helpers)));
      // Whatever a helper held, it finished before the run returned.
      EXPECT_EQ(std::tuple(run.inFlight.load(), run.faults.load()), std::tuple(0, 0));
      ASSERT_EQ(run.consumed.size(), 37u);
      for (std::uint64_t j = 0; j < Blocks; ++j) {
        EXPECT_LE(run.transforms[j].load(), 1);
        // Blocks 37 .. 40 may be staged (the slots ahead of block 36, the last consumed), none
        // after.
        if (j >= 36 + Slots) {
          EXPECT_EQ(run.stagedCount[j], 0) << "block " << j;
          EXPECT_EQ(run.transforms[j].load(), 0) << "block " << j;
        }
      }
    }
  }
}

TEST(OrderedBlocksTest, AThrowingStageEndsTheRunWithEveryHelperJoined) {
  constexpr std::uint64_t Blocks = 300;
  for (unsigned helpers : {0u, 2u}) {
    Recorder run(Blocks, 4);
    OrderedBlockSteps steps = run.Steps(helpers);
    const auto stage = steps.stage;
    steps.stage = [&stage](std::uint64_t block, std::size_t slot) {
      if (block == 120) throw std::bad_alloc();
      stage(block, slot);
    };
    EXPECT_THROW(RunOrderedBlocks(Blocks, 4, helpers, steps), std::bad_alloc);
    EXPECT_EQ(std::tuple(run.inFlight.load(), run.faults.load()), std::tuple(0, 0));
    EXPECT_EQ(run.consumed.size(), 117u);  // blocks 117 .. 119 were staged, not consumed
  }
}

}  // namespace
}  // namespace vocara
