// Generated recordings shared by the analysis and the command tests.
#pragma once

#include <cstdint>
#include <vector>

namespace vocara::test {

// A recording with something for every rule of the analysis: a harmonic tone gliding over
// two octaves with vibrato and a swelling level, digital silence, quiet noise, and a tone that
// runs to the last sample so that the last frames see the window cut at the end of the data.
// Values are stored integers of blockAlign bytes.
std::vector<std::int32_t> MixedRecording(std::uint32_t rate, std::uint32_t count, unsigned blockAlign);

}  // namespace vocara::test
