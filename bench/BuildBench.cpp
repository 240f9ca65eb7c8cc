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
//                           Range): a few hundred frames over all 88 keys, under a second
//
// The tone is generated once in the temporary folder (vocara-build-bench.wav) and kept for
// scripts/bench-build.sh, which times vocara-cli and aubiopitch on it.
#include <benchmark/benchmark.h>

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

}  // namespace
