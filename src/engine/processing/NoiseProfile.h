// The captured noise profile that noise removal subtracts, and noise removal itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/MessageId.h"
#include "base/Progress.h"

namespace vocara {

struct WavDocument;

inline constexpr std::uint32_t MaxNoiseLength = 32768;

struct NoiseProfile {
  NoiseProfile();
  std::uint32_t length = 0;    // samples per block, a power of two; 0 while nothing is captured
  std::vector<double> window;  // the Hann window of `length` values
  // Max-hold power per bin, packed like a transform: element 0 bin 0, element 1 bin L/2,
  // element k + 1 bin k (1 <= k < L/2). Allocated once for the largest length.
  std::vector<double> power;
};

// The profile length a settings value stands for, rounded as the Settings dialog rounds it:
// below 2048 gives 1024, otherwise the largest power of two not above the value, at most 32768.
std::uint32_t NoiseLengthFor(std::int32_t noiseLength);

// Noise= (reset: the profile starts again with `length`, a power of two) and Noise+ (the
// profile keeps its length and table): 20 windows over [left, right), each L samples, keeping
// each bin's largest power. Windows reaching outside the data read zeros.
void CaptureNoise(NoiseProfile& profile, WavDocument& wav, std::uint32_t left, std::uint32_t right,
                  std::uint32_t length, bool reset);

struct NoiseRemovalSettings {
  double whiteNoise = 0.0;  // percent of full scale
  double noiseGain = 1.0;
  // Threads that transform blocks, the calling one included; 0 picks one per processor. The
  // output is the same byte for byte whatever the count.
  unsigned threads = 0;
};

struct NoiseRemovalResult {
  // "Opened file can not be overwritten" for the open WAV as output (by identity), "The target
  // is not a regular file", "Invalid File Handle" when it cannot be created, OutputWriteFailed
  // when a write failed; None otherwise.
  MessageId message = MessageId::None;
  LongOperationResult result = LongOperationResult::Done;
};

// Writes the denoised recording into `output` (whole or nothing): Hann blocks of the profile's
// length at 50 % overlap, each bin reduced by the profile's power times noiseGain plus the
// white-noise floor, the phase kept; exactly sampleCount samples in the recording's format.
// progress is called once per block, in order and always on the calling thread, with the
// block centre (at most sampleCount) and sampleCount; false stops and leaves no file. A profile
// without a valid length (nothing captured) is refused as Failed with no message.
NoiseRemovalResult RemoveNoise(WavDocument& wav, const NoiseProfile& profile,
                               const NoiseRemovalSettings& settings, const std::string& output,
                               const ProgressCallback& progress);

}  // namespace vocara
