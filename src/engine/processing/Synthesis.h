// The wave generator behind the Wave Synthesis dialog and `vocara-cli generate`: up to ten
// sines, a square and a triangular wave with duty, and white noise, summed into a mono 16-bit
// WAV file at 48000 samples per second.
//
// The parameters are the 40 numbers of the dialog, in the order of its edit controls (control
// id = 101 + index). The dialog and the command line prepare them the same way (clamp, then
// normalise the amplitudes) and hand them to GenerateWaveFile, so both write the same bytes.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/MessageId.h"

namespace vocara {

namespace synthesis {
inline constexpr int ParameterCount = 40;
inline constexpr int SineCount = 10;
// First index of each group; sine k (0..9) is at its group's index + k.
inline constexpr int Duration = 0;
inline constexpr int SineFrequency = 1;
inline constexpr int SquareFrequency = 11;
inline constexpr int TriangleFrequency = 12;
inline constexpr int SineAmplitude = 13;
inline constexpr int SquareAmplitude = 23;
inline constexpr int TriangleAmplitude = 24;
inline constexpr int NoiseAmplitude = 25;
inline constexpr int SinePhase = 26;
inline constexpr int SquarePhase = 36;
inline constexpr int TrianglePhase = 37;
inline constexpr int SquareDuty = 38;
inline constexpr int TriangleDuty = 39;

inline constexpr std::uint32_t SampleRate = 48000;
inline constexpr double UnitsPerPercent = 327.67;  // 100 percent is 32767
inline constexpr std::size_t BlockSamples = 65536;
}  // namespace synthesis

struct ParameterRange {
  double min = 0.0;
  double max = 0.0;
};

// The range of parameter `index` (0..39).
ParameterRange SynthesisRange(int index);

struct SynthesisParameters {
  // Duration 5 s, duties 50 percent, everything else 0: silence until the user asks for more.
  SynthesisParameters();
  double& operator[](int index) { return values[static_cast<std::size_t>(index)]; }
  double operator[](int index) const { return values[static_cast<std::size_t>(index)]; }
  friend bool operator==(const SynthesisParameters&, const SynthesisParameters&) = default;

  std::array<double, synthesis::ParameterCount> values{};
};

// Every parameter into its range.
void ClampSynthesisParameters(SynthesisParameters& parameters);

// When the thirteen amplitudes (indices 13..25) add up to more than 100 percent, scales each
// by 100 / sum, so that the summed wave cannot pass full scale.
void NormaliseAmplitudes(SynthesisParameters& parameters);

// trunc(duration x 48000).
std::uint32_t SynthesisSampleCount(const SynthesisParameters& parameters);

// The noise source: the minimal standard generator (x = 48271 x mod 2^31 - 1, the sequence of
// std::minstd_rand), with the modulus taken by folding instead of a division.
class NoiseGenerator {
 public:
  explicit NoiseGenerator(std::uint32_t seed) : state_(seed) {}
  std::uint32_t operator()() {
    const std::uint64_t product = std::uint64_t{state_} * 48271u;
    std::uint64_t folded = (product & Modulus) + (product >> 31);
    if (folded >= Modulus) folded -= Modulus;
    state_ = static_cast<std::uint32_t>(folded);
    return state_;
  }

 private:
  static constexpr std::uint64_t Modulus = 0x7FFFFFFF;
  std::uint32_t state_;
};

// Produces the samples one block after another. The noise comes from a generator restarted
// with the same seed for every wave, so equal parameters always give equal samples.
class WaveSynthesiser {
 public:
  explicit WaveSynthesiser(const SynthesisParameters& parameters);
  // The next out.size() samples.
  void Fill(std::span<std::int16_t> out);

 private:
  // The sines side by side, one array per quantity, so that one sample's rotations of all
  // ten run as vector operations. Unused slots have amplitude 0 and add exactly nothing.
  struct Sines {
    std::array<double, synthesis::SineCount> amplitude{};
    std::array<double, synthesis::SineCount> u{};  // sin of the current angle
    std::array<double, synthesis::SineCount> w{};  // cos of the current angle
    std::array<double, synthesis::SineCount> s{};  // sin of the step
    std::array<double, synthesis::SineCount> c{};  // cos of the step
  };
  Sines sines_;
  int sineCount_ = 0;
  // Work in passes over a chunk of samples: the sines' values sample by sample into `sineRows_`
  // (row k for sine k), then their weighted sum per sample, adding the sines in their order
  // but many samples at once, then the square, triangle and noise per sample.
  static constexpr std::size_t ChunkSamples = 1024;  // a multiple of 4
  std::vector<double> sineRows_;                     // SineCount x ChunkSamples
  std::vector<double> sum_;                          // ChunkSamples

  double squareHigh_ = 0.0;
  double squareLow_ = 0.0;
  double squareCorner_ = 0.0;  // degrees where the high part ends
  double squareAngle_ = 0.0;
  double squareStep_ = 0.0;

  double triangleAmplitude_ = 0.0;
  double triangleCorner_ = 0.0;  // degrees where the rise ends
  double triangleAngle_ = 0.0;
  double triangleStep_ = 0.0;

  double noiseAmplitude_ = 0.0;
  NoiseGenerator noise_;
};

// Writes the wave of `parameters` (already clamped and normalised) into `path` as a 16-bit
// mono WAV file at 48000 Hz: the whole file or nothing. None on success, the creation
// refusal of OutputFile, or OutputWriteFailed.
MessageId GenerateWaveFile(const SynthesisParameters& parameters, const std::string& path);

}  // namespace vocara
