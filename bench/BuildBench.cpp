// Building a SAS from a 10-minute 48 kHz 16-bit harmonic tone (220 Hz and five overtones at
// 1/h). The goal is at least 300x real time with the default settings (Flute, 41 notes); the
// counter x_realtime is seconds of audio per second of build.
//
//   BM_Build/<instrument>   the block engine, one worker per processor: Flute (the default),
//                           Piano (A0 to C8, the longest window), Vocal Bass, Piccolo
//   BM_BuildOneWorker/<n>   the block engine on one worker, with n lanes per vector (8 AVX-512,
//                           4 AVX2, 2 the portable path): what one processor does
//   BM_BuildReference       the plain evaluation, one note and one phasor step after another,
//                           on the first minute of the file
//   BM_DetectNoteRange      the note range of the whole file (--instrument auto, Detect Note
//                           Range): a frame over all 88 keys every 50 ms of the sung tone,
//                           about 0.2 s
//   BM_DetectNoteRangeHour  an hour sung without a rest: three 8-second phrases by turns, the
//                           highest note once every four minutes; the detection and then the
//                           build over the range it found, once each. The counter
//                           detect_over_build is the detection's time over the build's: on
//                           two shared cores about 1.4 s against 5 to 10 s (0.14 to 0.27); the
//                           detection runs on one core, the build on all of them, and the
//                           build's share grows with the range (here C4..A4, 15 keys)
//
// The tone is generated once in the temporary folder (vocara-build-bench.wav) and kept for
// scripts/bench-build.sh, which times vocara-cli and aubiopitch on it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "BenchTone.h"
#include "base/Instruments.h"
#include "base/Settings.h"
#include "engine/sas/NoteRangeDetection.h"
#include "engine/sas/SasBuild.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"
#include "support/Recordings.h"
#include "support/WavFiles.h"

namespace {

using vocara::bench::TempFile;
constexpr std::uint32_t Rate = vocara::bench::ToneRate;
constexpr std::uint32_t Seconds = vocara::bench::ToneSeconds;

std::string Wav() { return vocara::bench::HarmonicToneWav("vocara-build-bench.wav"); }

vocara::GeneralSettings Instrument(int index) {
  vocara::GeneralSettings settings;
  settings.instrument = index;
  settings.lowestNote = vocara::InstrumentTable[static_cast<std::size_t>(index)].lowestNote;
  settings.highestNote = vocara::InstrumentTable[static_cast<std::size_t>(index)].highestNote;
  return settings;
}

// seconds: how much of the file to analyse (the rest is as if it were not there).
void Build(benchmark::State& state, const vocara::GeneralSettings& settings,
           const vocara::SasBuildOptions& options, std::uint32_t seconds) {
  vocara::WavDocument wav;
  if (vocara::WavOpenDocument(wav, Wav()).message != vocara::MessageId::None) {
    state.SkipWithError("cannot open the WAV file");
    return;
  }
  wav.sampleCount = std::min(wav.sampleCount, seconds * Rate);
  const std::string output = TempFile("vocara-build-bench.sas");
  for (auto _ : state) {
    const vocara::SasBuildResult result = vocara::SasBuildFile(wav, settings, output, {}, options);
    if (result.result != vocara::LongOperationResult::Done) {
      state.SkipWithError("the build failed");
      break;
    }
    benchmark::DoNotOptimize(result.frameCount);
  }
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(seconds) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Build(benchmark::State& state) {
  Build(state, Instrument(static_cast<int>(state.range(0))), {}, Seconds);
}
BENCHMARK(BM_Build)
    ->ArgName("instrument")
    ->Arg(20)  // Flute, the default
    ->Arg(37)  // Piano
    ->Arg(65)  // Vocal Bass
    ->Arg(38)  // Piccolo
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

void BM_BuildOneWorker(benchmark::State& state) {
  vocara::SasBuildOptions options;
  options.workers = 1;
  options.width = static_cast<vocara::KernelWidth>(state.range(0));
  if (!vocara::KernelWidthAvailable(options.width)) {
    state.SkipWithError("this processor lacks that vector width");
    return;
  }
  Build(state, vocara::GeneralSettings{}, options, Seconds);
}
BENCHMARK(BM_BuildOneWorker)
    ->ArgName("lanes")
    ->Arg(8)  // AVX-512
    ->Arg(4)  // AVX2
    ->Arg(2)  // the portable path
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

void BM_BuildReference(benchmark::State& state) {
  vocara::SasBuildOptions options;
  options.engine = vocara::AnalysisEngine::Reference;
  Build(state, vocara::GeneralSettings{}, options, 60);
}
BENCHMARK(BM_BuildReference)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// The A3 tone gives G3 .. B3 (two semitones each side); the time does not grow with the file's
// length.
void BM_DetectNoteRange(benchmark::State& state) {
  vocara::WavDocument wav;
  if (vocara::WavOpenDocument(wav, Wav()).message != vocara::MessageId::None) {
    state.SkipWithError("cannot open the WAV file");
    return;
  }
  for (auto _ : state) {
    const vocara::NoteRangeResult range = vocara::DetectNoteRange(wav, vocara::GeneralSettings{});
    if (!range.found) {
      state.SkipWithError("no notes found");
      break;
    }
    benchmark::DoNotOptimize(range.lowestNote);
  }
}
BENCHMARK(BM_DetectNoteRange)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Three phrases of 8 s: C4..G4 by turns, and one with an A4 of 0.4 s, sung every 30th phrase.
std::string HourWav() {
  const std::string path = TempFile("vocara-range-hour.wav");
  if (std::filesystem::exists(path)) return path;
  using vocara::test::Samples;
  using vocara::test::SungMelody;
  std::string phrases[] = {
      Samples(2, SungMelody({{60, 0, 2.0}, {62, 0, 2.0}, {64, 0, 2.0}, {60, 0, 1.9}})),
      Samples(2, SungMelody({{64, 0, 2.0}, {65, 0, 2.0}, {67, 0, 2.0}, {64, 0, 1.9}})),
      Samples(2, SungMelody({{65, 0, 2.0}, {67, 0, 2.0}, {69, 0, 0.4}, {67, 0, 3.5}})),
  };
  const std::uint64_t phraseBytes = phrases[0].size();
  for (std::string& phrase : phrases) phrase.resize(phraseBytes);  // a sample more or less
  const std::uint64_t count = 3600 * Rate * 2 / phraseBytes;
  std::string header = vocara::test::CanonicalWav(vocara::test::Format(2, Rate), {});
  const auto dataBytes = static_cast<std::uint32_t>(count * phraseBytes);
  for (int i = 0; i < 4; ++i) {
    header[4 + i] = static_cast<char>(((dataBytes + header.size() - 8) >> (8 * i)) & 0xFF);
    header[header.size() - 4 + i] = static_cast<char>((dataBytes >> (8 * i)) & 0xFF);
  }
  std::ofstream out(path, std::ios::binary);
  out.write(header.data(), static_cast<std::streamsize>(header.size()));
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::string& phrase = phrases[i % 30 == 29 ? 2 : i % 2];
    out.write(phrase.data(), static_cast<std::streamsize>(phraseBytes));
  }
  return path;
}

void BM_DetectNoteRangeHour(benchmark::State& state) {
  vocara::WavDocument wav;
  if (vocara::WavOpenDocument(wav, HourWav()).message != vocara::MessageId::None) {
    state.SkipWithError("cannot open the WAV file");
    return;
  }
  const std::string output = TempFile("vocara-range-hour.sas");
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const vocara::NoteRangeResult range = vocara::DetectNoteRange(wav, vocara::GeneralSettings{});
    const auto detected = std::chrono::steady_clock::now();
    if (!range.found || range.highestNote != 69 - 21 + vocara::NoteRangeMargin) {
      state.SkipWithError("the range misses the A4");
      break;
    }
    vocara::GeneralSettings settings = Instrument(vocara::UserDefinedInstrument);
    settings.lowestNote = range.lowestNote;
    settings.highestNote = range.highestNote;
    if (vocara::SasBuildFile(wav, settings, output, {}, {}).result != vocara::LongOperationResult::Done) {
      state.SkipWithError("the build failed");
      break;
    }
    const std::chrono::duration<double> detect = detected - start;
    const std::chrono::duration<double> build = std::chrono::steady_clock::now() - detected;
    state.counters["detect_s"] = detect.count();
    state.counters["build_s"] = build.count();
    state.counters["detect_over_build"] = detect.count() / build.count();
  }
}
BENCHMARK(BM_DetectNoteRangeHour)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
