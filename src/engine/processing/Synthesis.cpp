#include "engine/processing/Synthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "base/NumberText.h"
#include "base/OutputFile.h"
#include "engine/wav/WavHeader.h"

namespace vocara {
namespace {

namespace s = synthesis;

constexpr double SecondsPerSample = 2.0833333333333333e-5;  // 1 / 48000
constexpr double RadiansPerDegree = 0.005555555555555556;   // with pi: pi / 180
constexpr double NoiseScale = 3.051850947599719e-05;        // 1 / 32767
constexpr double FullScale = 32767.0;
constexpr std::uint32_t NoiseSeed = 1;

bool IsAmplitude(int index) { return index >= s::SineAmplitude && index <= s::NoiseAmplitude; }

}  // namespace

ParameterRange SynthesisRange(int index) {
  if (index == s::Duration) return {1.0, 60.0};
  if (index < s::SineAmplitude) return {0.0, 20000.0};
  if (index < s::SinePhase) return {0.0, 100.0};
  if (index < s::SquareDuty) return {-360.0, 360.0};
  return {0.0, 100.0};
}

SynthesisParameters::SynthesisParameters() {
  values[s::Duration] = 5.0;
  values[s::SquareDuty] = 50.0;
  values[s::TriangleDuty] = 50.0;
}

void ClampSynthesisParameters(SynthesisParameters& parameters) {
  for (int i = 0; i < s::ParameterCount; ++i) {
    const ParameterRange range = SynthesisRange(i);
    parameters[i] = ClampNumber(parameters[i], range.min, range.max);
  }
}

void NormaliseAmplitudes(SynthesisParameters& parameters) {
  double sum = 0.0;
  for (int i = s::SineAmplitude; i <= s::NoiseAmplitude; ++i) sum += parameters[i];
  if (sum <= 100.0) return;
  const double factor = 100.0 / sum;
  for (int i = 0; i < s::ParameterCount; ++i)
    if (IsAmplitude(i)) parameters[i] *= factor;
}

std::uint32_t SynthesisSampleCount(const SynthesisParameters& parameters) {
  return static_cast<std::uint32_t>(parameters[s::Duration] * s::SampleRate);
}

WaveSynthesiser::WaveSynthesiser(const SynthesisParameters& p) : noise_(NoiseSeed) {
  sines_.c.fill(1.0);
  // Each active sine turns its (sin, cos) pair by a fixed step: two multiplications a sample
  // instead of a sine call.
  for (int k = 0; k < s::SineCount; ++k) {
    const double percent = p[s::SineAmplitude + k];
    if (!(percent > 0.0)) continue;
    const double phase = p[s::SinePhase + k] * std::numbers::pi * RadiansPerDegree;
    const double step = p[s::SineFrequency + k] * (2.0 * std::numbers::pi) * SecondsPerSample;
    const int slot = sineCount_++;
    sines_.amplitude[slot] = percent * s::UnitsPerPercent;
    sines_.u[slot] = std::sin(phase);
    sines_.w[slot] = std::cos(phase);
    sines_.s[slot] = std::sin(step);
    sines_.c[slot] = std::cos(step);
  }

  // The square's levels keep its mean at zero; the larger of the two is the amplitude.
  const double squareAmplitude = p[s::SquareAmplitude] * s::UnitsPerPercent;
  squareCorner_ = p[s::SquareDuty] * 3.6;
  if (squareCorner_ >= 180.0) {
    squareHigh_ = (360.0 - squareCorner_) * squareAmplitude / squareCorner_;
    squareLow_ = -squareAmplitude;
  } else {
    squareHigh_ = squareAmplitude;
    squareLow_ = -squareAmplitude * squareCorner_ / (360.0 - squareCorner_);
  }
  squareAngle_ = p[s::SquarePhase];
  squareStep_ = p[s::SquareFrequency] * 360.0 * SecondsPerSample;

  // Phase 0 puts the start half way up the rise, where the wave crosses zero.
  triangleAmplitude_ = p[s::TriangleAmplitude] * s::UnitsPerPercent;
  triangleCorner_ = p[s::TriangleDuty] * 3.6;
  triangleAngle_ = triangleCorner_ * 0.5 + p[s::TrianglePhase];
  triangleStep_ = p[s::TriangleFrequency] * 360.0 * SecondsPerSample;

  noiseAmplitude_ = p[s::NoiseAmplitude] * s::UnitsPerPercent;
}

void WaveSynthesiser::Fill(std::span<std::int16_t> out) {
  const bool square = squareHigh_ > 0.0;
  const bool triangle = triangleAmplitude_ > 0.0;
  const bool noise = noiseAmplitude_ > 0.0;
  // Local copies stay in registers; the loop over all ten slots has a fixed length and
  // vectorises. The sum still adds the sines in their order.
  Sines z = sines_;
  const bool anySine = sineCount_ > 0;
  for (std::int16_t& sample : out) {
    double v = 0.0;
    if (anySine) {
      for (int k = 0; k < s::SineCount; ++k) v += z.u[k] * z.amplitude[k];
      for (int k = 0; k < s::SineCount; ++k) {
        const double u = z.u[k] * z.c[k] + z.w[k] * z.s[k];
        z.w[k] = z.w[k] * z.c[k] - z.u[k] * z.s[k];
        z.u[k] = u;
      }
    }
    if (square) {
      // Angles wrap only from above: a negative start phase runs up through 0 unchanged.
      while (squareAngle_ > 360.0) squareAngle_ -= 360.0;
      v += squareAngle_ < squareCorner_ ? squareHigh_ : squareLow_;
      squareAngle_ += squareStep_;
    }
    if (triangle) {
      while (triangleAngle_ > 360.0) triangleAngle_ -= 360.0;
      const double t = triangleAngle_;
      const double a = triangleAmplitude_;
      // A duty of 0 or 100 leaves one branch without width; there the wave takes the value of
      // the corner it shares with the other branch, +A.
      if (t < triangleCorner_)
        v += triangleCorner_ > 0.0 ? (t * 2.0 / triangleCorner_ - 1.0) * a : a;
      else
        v += triangleCorner_ < 360.0 ? ((360.0 - t) * 2.0 / (360.0 - triangleCorner_) - 1.0) * a : a;
      triangleAngle_ += triangleStep_;
    }
    if (noise) {
      // The top 15 bits of the generator: a uniform r in 0..32767.
      const double r = static_cast<double>(noise_() >> 16);
      v += (r * 2.0 * NoiseScale - 1.0) * noiseAmplitude_;
    }
    // A negative triangle phase can overshoot on its first rise; the 16-bit value must not wrap.
    sample = static_cast<std::int16_t>(std::clamp(v, -FullScale, FullScale));
  }
  sines_ = z;
}

MessageId GenerateWaveFile(const SynthesisParameters& parameters, const std::string& path) {
  OutputFile written;
  if (const MessageId refused = written.Begin(path); refused != MessageId::None) return refused;
  FileHandle& target = written.File();

  const std::uint32_t n = SynthesisSampleCount(parameters);
  WavHeader header;
  header.fields.bytesPerSecond = s::SampleRate * 2;
  header.SetDataSize(n * 2);
  const auto image = header.Serialise();
  bool complete = target.Write(image.data(), image.size());

  WaveSynthesiser synthesiser(parameters);
  std::vector<std::int16_t> block(s::BlockSamples);
  std::vector<std::uint8_t> bytes(s::BlockSamples * 2);
  for (std::uint32_t done = 0; complete && done < n;) {
    const std::size_t count = std::min<std::size_t>(n - done, s::BlockSamples);
    synthesiser.Fill(std::span(block.data(), count));
    for (std::size_t i = 0; i < count; ++i) {
      const auto value = static_cast<std::uint16_t>(block[i]);
      bytes[2 * i] = static_cast<std::uint8_t>(value & 0xFF);
      bytes[2 * i + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    complete = target.Write(bytes.data(), count * 2);
    done += static_cast<std::uint32_t>(count);
  }
  return written.Finish(complete);
}

}  // namespace vocara
