// Remove Noise of the 10-minute 48 kHz 16-bit tone with the default settings (noise length
// 1024, white noise 0, gain 1) and a profile captured from its first second. The goal is at
// least 1000x real time on two cores; x_realtime is seconds of audio per second of work.
//
//   BM_RemoveNoise/threads:0   one thread per processor, as the program runs it
//   BM_RemoveNoise/threads:1   the calling thread alone (the same output, byte for byte)
//   BM_SoxNoisered             `sox IN OUT noisered PROFILE 0.21` on the same file, with the
//                              profile sox takes from the first second; skipped without sox
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchTone.h"
#include "base/Settings.h"
#include "engine/processing/NoiseProfile.h"
#include "engine/wav/WavDocument.h"

namespace {

using vocara::bench::TempFile;

std::string Wav() { return vocara::bench::HarmonicToneWav("vocara-noise-bench.wav"); }

void SetRealTime(benchmark::State& state) {
  state.counters["x_realtime"] =
      benchmark::Counter(vocara::bench::ToneSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RemoveNoise(benchmark::State& state) {
  vocara::WavDocument wav;
  if (vocara::WavOpenDocument(wav, Wav()).message != vocara::MessageId::None) {
    state.SkipWithError("cannot open the WAV file");
    return;
  }
  const vocara::GeneralSettings defaults;
  vocara::NoiseProfile profile;
  vocara::CaptureNoise(profile, wav, 0, vocara::bench::ToneRate, vocara::NoiseLengthFor(defaults.noiseLength),
                       true);
  vocara::NoiseRemovalSettings settings;
  settings.whiteNoise = defaults.whiteNoise;
  settings.noiseGain = defaults.noiseGain;
  settings.threads = static_cast<unsigned>(state.range(0));
  const std::string output = TempFile("vocara-noise-bench-out.wav");
  for (auto _ : state) {
    const auto result = vocara::RemoveNoise(wav, profile, settings, output,
                                            [](std::uint64_t, std::uint64_t) { return true; });
    if (result.result != vocara::LongOperationResult::Done) state.SkipWithError("Remove Noise failed");
  }
  std::filesystem::remove(output);
  SetRealTime(state);
}
BENCHMARK(BM_RemoveNoise)
    ->ArgName("threads")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

void BM_SoxNoisered(benchmark::State& state) {
  if (std::system("command -v sox >/dev/null 2>&1") != 0) {
    state.SkipWithError("sox is not installed (Debian: apt-get install sox)");
    return;
  }
  const std::string input = Wav();
  const std::string profile = TempFile("vocara-noise-bench.prof");
  const std::string output = TempFile("vocara-noise-bench-sox.wav");
  if (std::system(("sox '" + input + "' -n trim 0 1 noiseprof '" + profile + "'").c_str()) != 0) {
    state.SkipWithError("sox could not make the noise profile");
    return;
  }
  const std::string command = "sox '" + input + "' '" + output + "' noisered '" + profile + "' 0.21";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("sox noisered failed");
  }
  std::filesystem::remove(output);
  std::filesystem::remove(profile);
  SetRealTime(state);
}
BENCHMARK(BM_SoxNoisered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
