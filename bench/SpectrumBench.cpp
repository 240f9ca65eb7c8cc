// The FFT and MFT windows' computations against their budgets: a 65536-point spectrum while the
// cursor moves under 5 ms, a 1048576-point one under 60 ms, the note spectrum under 5 ms; and
// the bare transform against FFTW's real-to-complex transform with an estimated plan (FFTW is
// linked here only, as the yardstick; the program's transform is its own).
//
//   BM_RealFft/<n>            the transform the spectrum uses, from its twiddle tables
//   BM_RealFftReference/<n>   the plain loops it reproduces bit for bit
//   BM_FftwEstimate/<n>       fftw_plan_dft_r2c_1d with FFTW_ESTIMATE, out of place
//   BM_ComputeSpectrum/<n>    read, window, transform and magnitudes at a cursor that moves by
//                             one 100th of a second per refresh, Hann window
//   BM_ComputeNoteSpectrum/<lowest note>   the 88-key note spectrum at a cursor (B3, the
//                             default range; A0, the longest window)
//
// The recording is the 10-minute harmonic tone of the build benchmarks.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdint>
#include <random>
#include <vector>

#include "BenchTone.h"
#include "base/Settings.h"
#include "engine/processing/Fft.h"
#include "engine/processing/Spectrum.h"
#include "engine/wav/WavDocument.h"

namespace {

std::vector<double> Noise(std::size_t n) {
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> value(-1e9, 1e9);
  std::vector<double> data(n);
  for (double& x : data) x = value(random);
  return data;
}

template <void (*Transform)(int, std::uint32_t, std::span<double>)>
void BM_Transform(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  const std::vector<double> input = Noise(n);
  std::vector<double> data(n);
  vocara::PrepareFft(1, n);
  for (auto _ : state) {
    state.PauseTiming();
    data = input;
    state.ResumeTiming();
    Transform(1, n, data);
    benchmark::DoNotOptimize(data.data());
  }
}
void BM_RealFft(benchmark::State& state) { BM_Transform<vocara::RealFft>(state); }
void BM_RealFftReference(benchmark::State& state) { BM_Transform<vocara::RealFftReference>(state); }
BENCHMARK(BM_RealFft)->Arg(65536)->Arg(1048576)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RealFftReference)->Arg(65536)->Arg(1048576)->Unit(benchmark::kMillisecond);

void BM_FftwEstimate(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  double* in = fftw_alloc_real(static_cast<std::size_t>(n));
  fftw_complex* out = fftw_alloc_complex(static_cast<std::size_t>(n / 2 + 1));
  const fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
  const std::vector<double> input = Noise(static_cast<std::size_t>(n));
  for (auto _ : state) {
    state.PauseTiming();
    std::copy(input.begin(), input.end(), in);
    state.ResumeTiming();
    fftw_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
}
BENCHMARK(BM_FftwEstimate)->Arg(65536)->Arg(1048576)->Unit(benchmark::kMillisecond);

vocara::WavDocument& Tone() {
  static vocara::WavDocument wav;
  if (wav.sampleCount == 0)
    vocara::WavOpenDocument(wav, vocara::bench::HarmonicToneWav("vocara-build-bench.wav"));
  return wav;
}

void BM_ComputeSpectrum(benchmark::State& state) {
  vocara::WavDocument& wav = Tone();
  static vocara::SpectrumState spectrum;
  spectrum.fftSize = static_cast<std::uint32_t>(state.range(0));
  spectrum.windowKind = vocara::HannWindow;
  std::uint32_t cursor = wav.sampleCount / 3;
  for (auto _ : state) {
    vocara::ComputeSpectrum(spectrum, wav, cursor);
    cursor += vocara::bench::ToneRate / 100;
    benchmark::DoNotOptimize(spectrum.spectrum.data());
  }
}
BENCHMARK(BM_ComputeSpectrum)->Arg(65536)->Arg(1048576)->Unit(benchmark::kMillisecond);

void BM_ComputeNoteSpectrum(benchmark::State& state) {
  vocara::WavDocument& wav = Tone();
  vocara::GeneralSettings settings;
  vocara::ChooseLowestNote(settings, static_cast<int>(state.range(0)));
  std::vector<double> window(vocara::NoteWindowLength(vocara::bench::ToneRate, settings));
  vocara::NoteReadout readout;
  std::uint32_t cursor = wav.sampleCount / 3;
  for (auto _ : state) {
    vocara::ComputeNoteSpectrum(readout, wav, cursor, settings, window);
    cursor += vocara::bench::ToneRate / 100;
    benchmark::DoNotOptimize(readout.spectrum.strength.data());
  }
}
BENCHMARK(BM_ComputeNoteSpectrum)->ArgName("lowest")->Arg(38)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
