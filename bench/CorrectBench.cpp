// Correction of a 10-minute 48 kHz 16-bit harmonic tone (220 Hz and five overtones), with the
// hop the default settings give (Flute, one period of the tone 1.5 semitones below B3). The goal
// is at least 500x real time; the counter x_realtime is seconds of audio per second of render.
//
//   identity  targets equal to the analysis, time correction on: the plain resampling loop
//   up50      every frame 50 cents higher, time correction on: `sox FILE OUT pitch 50` does
//             the same, and the output is kept on the input's timeline by period repeats
//   vibrato   targets swinging +-30 cents at 5 Hz: every frame's offset differs from the next,
//             so the ratio changes with every sample
//   keep      the vibrato targets, and every frame 400 cents higher, rendered keeping the
//             formants (pitch marks and grains instead of resampling); goal 300x real time
//   down700   every frame 700 cents lower, keeping the formants: past a semitone every grain
//             is reshaped to the envelope through the tone's harmonics (two FFTs a grain)
//   shift200  targets equal to the analysis, formants moved 200 cents up: every grain
//             reshaped, at the source's own rate
//   low       a low voice, 109 Hz with 40 overtones falling as a voice's do, raised 400 and
//             lowered 700 cents keeping the formants: enough harmonics under 8 kHz that every
//             grain's envelope comes from the all-pole model of the resonances
//
// The files are generated once in the temporary folder (vocara-correct-bench.wav, the low
// voice's vocara-correct-bench-low.wav and one SAS per case) and kept for scripts/bench-correct.sh, which
// times sox and vocara-cli on them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "BenchTone.h"
#include "engine/processing/Correct.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRecords.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace {

using vocara::bench::TempFile;
constexpr std::uint32_t Rate = vocara::bench::ToneRate;
constexpr std::uint32_t Count = vocara::bench::ToneSamples;
constexpr std::uint32_t Seconds = vocara::bench::ToneSeconds;
constexpr double Peak = vocara::bench::TonePeak;

// The hop of the default settings at 48000 Hz.
std::uint32_t DefaultHop() {
  const vocara::GeneralSettings settings;
  return vocara::AnalysisFrameLength(vocara::AnalysisWindowLength(settings.lowestNote, Rate),
                                     settings.chunkPeriods);
}

std::string Wav() { return vocara::bench::HarmonicToneWav("vocara-correct-bench.wav"); }

// The hop of an analysis whose range starts at C2, as a low voice needs (the default range,
// from B3 up, has frames too short to hold its period).
std::uint32_t LowHop() {
  vocara::GeneralSettings settings;
  settings.lowestNote = 15;
  return vocara::AnalysisFrameLength(vocara::AnalysisWindowLength(settings.lowestNote, Rate),
                                     settings.chunkPeriods);
}

// The low voice: 48000/440 Hz (one period in 440 samples, 2385 cents above A0) and its
// overtones up to the 40th, each 1/h as loud as the fundamental, ten minutes of it.
constexpr std::uint16_t LowPitch = 2385;
std::string LowWav() {
  const std::string path = TempFile("vocara-correct-bench-low.wav");
  if (std::filesystem::exists(path)) return path;
  constexpr std::uint32_t period = 440;
  std::vector<double> cycle(period, 0.0);
  double peak = 0.0;
  for (std::uint32_t i = 0; i < period; ++i) {
    for (int h = 1; h <= 40; ++h) cycle[i] += std::sin(2.0 * std::numbers::pi * h * i / period) / h;
    peak = std::max(peak, std::abs(cycle[i]));
  }
  vocara::WavHeader header;
  header.SetDataSize(Count * 2);
  std::ofstream out(path, std::ios::binary);
  const auto image = header.Serialise();
  out.write(reinterpret_cast<const char*>(image.data()), image.size());
  std::vector<char> bytes;
  for (std::uint32_t i = 0; i < Count; ++i) {
    const auto s = static_cast<std::int16_t>(std::lrint(cycle[i % period] / peak * Peak * 32767.0));
    bytes.push_back(static_cast<char>(s & 0xFF));
    bytes.push_back(static_cast<char>((s >> 8) & 0xFF));
  }
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

// A SAS for the tone: its source pitch, the measured extremes, targets from `target(frame)`.
template <typename Target>
std::string Sas(const std::string& name, vocara::WavDocument& wav, Target target, std::uint16_t source) {
  const std::string path = TempFile(name);
  if (std::filesystem::exists(path)) return path;
  vocara::SasHeader header;
  header.frameLength = source == LowPitch ? LowHop() : DefaultHop();
  header.frameCount = Count / header.frameLength;
  header.sampleRate = Rate;
  header.wavChecksum = wav.checksum;
  std::ofstream out(path, std::ios::binary);
  const auto image = header.Serialise();
  out.write(reinterpret_cast<const char*>(image.data()), image.size());
  const auto extreme = static_cast<std::int32_t>(Peak * 2147483647.0);
  for (std::uint32_t i = 0; i < header.frameCount; ++i) {
    vocara::SasFrame frame;
    frame.sourcePitch = source;
    frame.targetPitch = target(i, header.frameLength);
    frame.minSample = -extreme;
    frame.maxSample = extreme;
    frame.targetAmplitude = static_cast<std::uint32_t>(2 * std::int64_t{extreme});
    const auto bytes = frame.Serialise();
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  for (const vocara::TimeLink link : {vocara::TimeLink{0, 0}, vocara::TimeLink{Count, Count}}) {
    const auto bytes = link.Serialise();
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  return path;
}

template <typename Target>
void CorrectTone(benchmark::State& state, const std::string& sasName, Target target,
                 vocara::Formants formants = vocara::Formants::Shift, double formantShift = 0,
                 bool low = false) {
  vocara::WavDocument wav;
  if (vocara::WavOpenDocument(wav, low ? LowWav() : Wav()).message != vocara::MessageId::None) {
    state.SkipWithError("cannot open the WAV file");
    return;
  }
  vocara::SasDocument sas;
  if (vocara::SasOpenDocument(sas, Sas(sasName, wav, target, low ? LowPitch : 3600),
                              vocara::SasAccess::ReadOnly) != vocara::MessageId::None) {
    state.SkipWithError("cannot open the SAS file");
    return;
  }
  const std::string output = TempFile("vocara-correct-bench-out.wav");
  vocara::CorrectRequest request{0, wav.sampleCount, true, vocara::CorrectMode::Save};
  request.formants = formants;
  request.formantShift = formantShift;
  for (auto _ : state) {
    const vocara::CorrectResult result = vocara::Correct(wav, sas, request, output, {});
    benchmark::DoNotOptimize(result.outputSamples);
  }
  std::filesystem::remove(output);
  state.counters["x_realtime"] = benchmark::Counter(Seconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_CorrectIdentity(benchmark::State& state) {
  CorrectTone(state, "vocara-correct-bench-identity.sas",
              [](std::uint32_t, std::uint32_t) -> std::uint16_t { return 3600; });
}
void BM_CorrectUp50(benchmark::State& state) {
  CorrectTone(state, "vocara-correct-bench-up50.sas",
              [](std::uint32_t, std::uint32_t) -> std::uint16_t { return 3650; });
}
std::uint16_t Vibrato(std::uint32_t frame, std::uint32_t hop) {
  const double seconds = static_cast<double>(frame) * hop / Rate;
  return static_cast<std::uint16_t>(3600 +
                                    std::lrint(30.0 * std::sin(2.0 * std::numbers::pi * 5.0 * seconds)));
}
void BM_CorrectVibrato(benchmark::State& state) {
  CorrectTone(state, "vocara-correct-bench-vibrato.sas", Vibrato);
}
// The same targets rendered keeping the formants; the goal there is at least 300x real time.
void BM_KeepFormantsVibrato(benchmark::State& state) {
  CorrectTone(state, "vocara-correct-bench-vibrato.sas", Vibrato, vocara::Formants::Keep);
}
void BM_KeepFormantsUp400(benchmark::State& state) {
  CorrectTone(
      state, "vocara-correct-bench-up400.sas",
      [](std::uint32_t, std::uint32_t) -> std::uint16_t { return 4000; }, vocara::Formants::Keep);
}

void BM_KeepFormantsDown700(benchmark::State& state) {
  CorrectTone(
      state, "vocara-correct-bench-down700.sas",
      [](std::uint32_t, std::uint32_t) -> std::uint16_t { return 2900; }, vocara::Formants::Keep);
}
void BM_FormantShift200(benchmark::State& state) {
  CorrectTone(
      state, "vocara-correct-bench-identity.sas",
      [](std::uint32_t, std::uint32_t) -> std::uint16_t { return 3600; }, vocara::Formants::Keep, 200);
}

void BM_KeepFormantsLowUp400(benchmark::State& state) {
  CorrectTone(
      state, "vocara-correct-bench-low-up400.sas",
      [](std::uint32_t, std::uint32_t) -> std::uint16_t { return LowPitch + 400; }, vocara::Formants::Keep, 0,
      true);
}
void BM_KeepFormantsLowDown700(benchmark::State& state) {
  CorrectTone(
      state, "vocara-correct-bench-low-down700.sas",
      [](std::uint32_t, std::uint32_t) -> std::uint16_t { return LowPitch - 700; }, vocara::Formants::Keep, 0,
      true);
}

BENCHMARK(BM_CorrectIdentity)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CorrectUp50)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CorrectVibrato)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeepFormantsVibrato)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeepFormantsUp400)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeepFormantsDown700)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FormantShift200)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeepFormantsLowUp400)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KeepFormantsLowDown700)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
