// The recording the build and correction benchmarks share: ten minutes of a 220 Hz tone (A3,
// 3600 cents above A0) with five overtones at half full scale, 48 kHz 16-bit, written once
// into the temporary folder and kept there for the comparison scripts in scripts/.
#pragma once

#include <cstdint>
#include <string>

namespace vocara::bench {

inline constexpr std::uint32_t ToneRate = 48000;
inline constexpr std::uint32_t ToneSeconds = 600;
inline constexpr std::uint32_t ToneSamples = ToneRate * ToneSeconds;
inline constexpr double TonePitchCents = 3600.0;
inline constexpr double TonePeak = 0.5;  // of full scale

std::string TempFile(const std::string& name);

// The tone under the given file name in the temporary folder; generated when missing.
std::string HarmonicToneWav(const std::string& name);

}  // namespace vocara::bench
