// The captured noise profile that noise removal subtracts. Only its length exists so far:
// the range rules of the WAV document read it and opening and closing a file reset it.
#pragma once

#include <cstdint>

namespace vocara {

struct NoiseProfile {
  std::uint32_t length = 0;  // samples per block, a power of two; 0 while nothing is captured
};

}  // namespace vocara
