// Importing a long stereo 24-bit WAV (three minutes at 48000 Hz, 52 MB) mixed to a mono 24-bit
// WAV, against the plain range copy of a mono 24-bit WAV of the same length: both write the
// same 26 MB, so the difference is what libsndfile's decoding to doubles, the mix and the
// rounding cost over reading and writing the bytes. The files are made once in the temporary
// folder and stay there.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/wav/Import.h"
#include "engine/wav/RangeExport.h"
#include "engine/wav/WavDocument.h"

namespace {

constexpr int Rate = 48000;
constexpr sf_count_t Frames = sf_count_t{Rate} * 180;

std::string TempPath(const char* name) { return (std::filesystem::temp_directory_path() / name).string(); }

// A 24-bit WAV of `channels` of noise, Frames long, written in blocks.
std::string Generated(const char* name, int channels) {
  const std::string path = TempPath(name);
  if (std::filesystem::exists(path)) return path;
  SF_INFO info{};
  info.samplerate = Rate;
  info.channels = channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  SNDFILE* sound = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<int> block(static_cast<std::size_t>(65536 * channels));
  std::uint32_t state = 12345;
  for (sf_count_t written = 0; sound != nullptr && written < Frames; written += 65536) {
    for (int& v : block) v = static_cast<int>(state = state * 1664525u + 1013904223u) & ~0xFF;
    sf_writef_int(sound, block.data(), std::min<sf_count_t>(65536, Frames - written));
  }
  if (sound != nullptr) sf_close(sound);
  return path;
}

void BM_ImportStereo24MixToMono(benchmark::State& state) {
  const std::string input = Generated("vocara-bench-import-stereo24.wav", 2);
  const std::string output = TempPath("vocara-bench-import-out.wav");
  for (auto _ : state) {
    const vocara::ImportResult result = vocara::ImportToWav(input, output, {}, {});
    if (result.result != vocara::LongOperationResult::Done) {
      state.SkipWithError(vocara::ImportFailureText(result).c_str());
      break;
    }
  }
  std::filesystem::remove(output);
  state.SetItemsProcessed(state.iterations() * Frames);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(input)));
}

// The yardstick: the whole of a mono 24-bit file of the same length copied as a range.
void BM_RangeCopyMono24SameLength(benchmark::State& state) {
  const std::string input = Generated("vocara-bench-import-mono24.wav", 1);
  const std::string output = TempPath("vocara-bench-import-copy.wav");
  vocara::WavDocument wav;
  if (vocara::WavOpenDocument(wav, input).message != vocara::MessageId::None) {
    state.SkipWithError("the mono file did not open");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(vocara::WriteRangeAsWav(wav, output, 0, wav.sampleCount));
  std::filesystem::remove(output);
  state.SetItemsProcessed(state.iterations() * Frames);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(input)));
}

BENCHMARK(BM_ImportStereo24MixToMono)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RangeCopyMono24SameLength)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
