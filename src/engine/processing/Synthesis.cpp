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

// The ten sines' rotations for n samples: row k of `rows` (ChunkSamples values, room for n
// rounded up to 4) gets sine k's value sample by sample. The sines sit in three vectors of
// four lanes (the last two lanes idle), each lane doing exactly the scalar multiplications and
// additions, so the values are the same bit for bit whatever the vector width; four samples'
// vectors are transposed so that each row is written four samples at a time. Vectors stay
// inside the function.
using D4 = double __attribute__((vector_size(32)));
constexpr int Lanes = 4;
constexpr int Groups = 3;
static_assert(Groups * Lanes >= s::SineCount);

[[gnu::always_inline]] inline void RotateRows(double* u0, double* w0, const double* s0, const double* c0,
                                              double* rows, std::size_t stride, std::size_t n) {
  D4 u[Groups], w[Groups], sn[Groups], cs[Groups];
  for (int g = 0; g < Groups; ++g)
    for (int l = 0; l < Lanes; ++l) {
      const int k = g * Lanes + l;
      const bool used = k < s::SineCount;
      u[g][l] = used ? u0[k] : 0.0;
      w[g][l] = used ? w0[k] : 1.0;
      sn[g][l] = used ? s0[k] : 0.0;
      cs[g][l] = used ? c0[k] : 1.0;
    }
  for (std::size_t i = 0; i < n; i += Lanes) {
    const std::size_t m = std::min<std::size_t>(Lanes, n - i);
    D4 held[Lanes][Groups];
    for (std::size_t t = 0; t < Lanes; ++t) {
      for (int g = 0; g < Groups; ++g) held[t][g] = u[g];
      if (t >= m) continue;  // past the end: the values are not used, the state stays
      for (int g = 0; g < Groups; ++g) {
        const D4 next = u[g] * cs[g] + w[g] * sn[g];
        w[g] = w[g] * cs[g] - u[g] * sn[g];
        u[g] = next;
      }
    }
    for (int g = 0; g < Groups; ++g) {
      const D4 t0 = __builtin_shufflevector(held[0][g], held[1][g], 0, 4, 2, 6);
      const D4 t1 = __builtin_shufflevector(held[0][g], held[1][g], 1, 5, 3, 7);
      const D4 t2 = __builtin_shufflevector(held[2][g], held[3][g], 0, 4, 2, 6);
      const D4 t3 = __builtin_shufflevector(held[2][g], held[3][g], 1, 5, 3, 7);
      const D4 lane[Lanes] = {
          __builtin_shufflevector(t0, t2, 0, 1, 4, 5), __builtin_shufflevector(t1, t3, 0, 1, 4, 5),
          __builtin_shufflevector(t0, t2, 2, 3, 6, 7), __builtin_shufflevector(t1, t3, 2, 3, 6, 7)};
      for (int l = 0; l < Lanes && g * Lanes + l < s::SineCount; ++l)
        __builtin_memcpy(rows + static_cast<std::size_t>(g * Lanes + l) * stride + i, &lane[l], sizeof(D4));
    }
  }
  for (int k = 0; k < s::SineCount; ++k) {
    u0[k] = u[k / Lanes][k % Lanes];
    w0[k] = w[k / Lanes][k % Lanes];
  }
}

__attribute__((target("avx2"))) void RotateRowsAvx2(double* u, double* w, const double* sn, const double* cs,
                                                    double* rows, std::size_t stride, std::size_t n) {
  RotateRows(u, w, sn, cs, rows, stride, n);
}

void RotateRowsBaseline(double* u, double* w, const double* sn, const double* cs, double* rows,
                        std::size_t stride, std::size_t n) {
  RotateRows(u, w, sn, cs, rows, stride, n);
}

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
  const bool anySine = sineCount_ > 0;
  if (anySine && sineRows_.empty()) {
    sineRows_.assign(s::SineCount * ChunkSamples, 0.0);
    sum_.assign(ChunkSamples, 0.0);
  }
  for (std::size_t at = 0; at < out.size(); at += ChunkSamples) {
    const std::size_t n = std::min(ChunkSamples, out.size() - at);
    double* v = sum_.data();
    if (anySine) {
      static const bool avx2 = __builtin_cpu_supports("avx2");
      (avx2 ? RotateRowsAvx2 : RotateRowsBaseline)(sines_.u.data(), sines_.w.data(), sines_.s.data(),
                                                   sines_.c.data(), sineRows_.data(), ChunkSamples, n);
      // Every sample's sum starts at 0 and adds the sines in their order (unused slots add
      // exactly nothing), many samples per vector operation.
      std::fill(v, v + n, 0.0);
      for (int k = 0; k < s::SineCount; ++k) {
        const double amplitude = sines_.amplitude[k];
        const double* row = sineRows_.data() + k * ChunkSamples;
        for (std::size_t i = 0; i < n; ++i) v[i] += row[i] * amplitude;
      }
    }
    for (std::size_t i = 0; i < n; ++i) {
      double x = anySine ? v[i] : 0.0;
      if (square) {
        // Angles wrap only from above: a negative start phase runs up through 0 unchanged.
        while (squareAngle_ > 360.0) squareAngle_ -= 360.0;
        x += squareAngle_ < squareCorner_ ? squareHigh_ : squareLow_;
        squareAngle_ += squareStep_;
      }
      if (triangle) {
        while (triangleAngle_ > 360.0) triangleAngle_ -= 360.0;
        const double t = triangleAngle_;
        const double a = triangleAmplitude_;
        // A duty of 0 or 100 leaves one branch without width; there the wave takes the value
        // of the corner it shares with the other branch, +A.
        if (t < triangleCorner_)
          x += triangleCorner_ > 0.0 ? (t * 2.0 / triangleCorner_ - 1.0) * a : a;
        else
          x += triangleCorner_ < 360.0 ? ((360.0 - t) * 2.0 / (360.0 - triangleCorner_) - 1.0) * a : a;
        triangleAngle_ += triangleStep_;
      }
      if (noise) {
        // The top 15 bits of the generator: a uniform r in 0..32767.
        const double r = static_cast<double>(noise_() >> 16);
        x += (r * 2.0 * NoiseScale - 1.0) * noiseAmplitude_;
      }
      // A negative triangle phase can overshoot on its first rise; the 16-bit value must not
      // wrap.
      out[at + i] = static_cast<std::int16_t>(std::clamp(x, -FullScale, FullScale));
    }
  }
}

MessageId GenerateWaveFile(const SynthesisParameters& parameters, const std::string& path) {
  OutputFile written;
  if (const MessageId refused = written.Begin(path); refused != MessageId::None) return refused;
  FileHandle& target = written.File();

  const std::uint32_t n = SynthesisSampleCount(parameters);
  const auto image = WavHeader::MonoPcm(s::SampleRate, 2, n * 2).Serialise();
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
