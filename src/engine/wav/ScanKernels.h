// The inner loops of the block scan, one per sample width: over a run of n samples they add
// the left-aligned values to a wrap-around sum and widen a minimum and a maximum. They read
// only the run's bytes (the 24-bit loop also the byte in front of the run, which the read
// buffer always has) and allocate nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace vocara {

struct RunState {
  std::uint32_t sum = 0;
  std::int32_t min = std::numeric_limits<std::int32_t>::max();
  std::int32_t max = std::numeric_limits<std::int32_t>::min();
};

void ScanRun16(const std::uint8_t* samples, std::size_t n, RunState& state);
void ScanRun32(const std::uint8_t* samples, std::size_t n, RunState& state);

// The 24-bit loop takes the vector path when the processor has one, else the plain loop.
void ScanRun24(const std::uint8_t* samples, std::size_t n, RunState& state);
// The plain loop, also the reference the vector path is tested against.
void ScanRun24Plain(const std::uint8_t* samples, std::size_t n, RunState& state);
// The vector path; false (and nothing done) when this processor or build has none.
bool ScanRun24Vector(const std::uint8_t* samples, std::size_t n, RunState& state);

}  // namespace vocara
