// Wave synthesis of 60 s with every generator at work: ten sines, the square, the triangle
// and noise. The goal is under 50 ms for the whole file.
//
//   BM_GenerateWaveFile   the file as Generate and `vocara-cli generate` write it
//   BM_SynthesiseSamples  the samples alone, without the file
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BenchTone.h"
#include "engine/processing/Synthesis.h"

namespace {

namespace s = vocara::synthesis;

vocara::SynthesisParameters Busiest() {
  vocara::SynthesisParameters p;
  p[s::Duration] = 60.0;
  for (int k = 0; k < s::SineCount; ++k) {
    p[s::SineFrequency + k] = 110.0 * (k + 1);
    p[s::SineAmplitude + k] = 10.0;
    p[s::SinePhase + k] = 9.0 * k;
  }
  p[s::SquareFrequency] = 200.0;
  p[s::SquareAmplitude] = 10.0;
  p[s::TriangleFrequency] = 300.0;
  p[s::TriangleAmplitude] = 10.0;
  p[s::NoiseAmplitude] = 10.0;
  vocara::NormaliseAmplitudes(p);
  return p;
}

void BM_GenerateWaveFile(benchmark::State& state) {
  const vocara::SynthesisParameters p = Busiest();
  const std::string output = vocara::bench::TempFile("vocara-synthesis-bench.wav");
  for (auto _ : state) {
    if (vocara::GenerateWaveFile(p, output) != vocara::MessageId::None) state.SkipWithError("write failed");
  }
  std::filesystem::remove(output);
}
BENCHMARK(BM_GenerateWaveFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_SynthesiseSamples(benchmark::State& state) {
  const vocara::SynthesisParameters p = Busiest();
  std::vector<std::int16_t> samples(vocara::SynthesisSampleCount(p));
  for (auto _ : state) {
    vocara::WaveSynthesiser(p).Fill(samples);
    benchmark::DoNotOptimize(samples.data());
  }
}
BENCHMARK(BM_SynthesiseSamples)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace
