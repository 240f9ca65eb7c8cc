// Opening a WAV file: validation, the block scan over every sample, the checksum and the
// overview, which together read the whole file once. The goal is the speed of reading the
// file, so the figure to compare is bytes per second against `cat FILE > /dev/null` on the
// same cached file (scripts/bench-open.sh does that with 1 GiB files).
//
// VOCARA_BENCH_FILES=a.wav:b.wav measures those files; without it two 64 MiB files (16- and
// 24-bit) are generated in the temporary folder on first use.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace {

constexpr std::uint32_t GeneratedDataBytes = 64u << 20;

std::string Generated(unsigned blockAlign) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("vocara-bench-" + std::to_string(8 * blockAlign) + "bit.wav"))
                               .string();
  if (std::filesystem::exists(path)) return path;
  vocara::WavHeader header;
  header.fields.blockAlign = static_cast<std::uint16_t>(blockAlign);
  header.fields.bitsPerSample = static_cast<std::uint16_t>(8 * blockAlign);
  header.SetDataSize(GeneratedDataBytes);
  std::ofstream out(path, std::ios::binary);
  const auto image = header.Serialise();
  out.write(reinterpret_cast<const char*>(image.data()), image.size());
  std::vector<char> block(1 << 20);
  std::uint32_t state = 12345;
  for (std::uint32_t written = 0; written < GeneratedDataBytes;
       written += static_cast<std::uint32_t>(block.size())) {
    for (char& c : block) {
      state = state * 1664525u + 1013904223u;
      c = static_cast<char>(state >> 24);
    }
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  return path;
}

void OpenFile(benchmark::State& state, const std::string& path) {
  vocara::WavDocument wav;
  for (auto _ : state) {
    const vocara::WavOpenResult result = vocara::WavOpenDocument(wav, path);
    if (result.message != vocara::MessageId::None) {
      state.SkipWithError(std::string(vocara::MessageText(result.message)).c_str());
      break;
    }
    benchmark::DoNotOptimize(wav.checksum);
    wav.file.Close();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(std::filesystem::file_size(path)));
}

// Registered before main so that the file list can come from the environment.
const bool registered = [] {
  std::vector<std::string> files;
  if (const char* list = std::getenv("VOCARA_BENCH_FILES")) {
    std::string all = list;
    for (std::size_t start = 0; start <= all.size();) {
      const std::size_t end = std::min(all.find(':', start), all.size());
      if (end > start) files.push_back(all.substr(start, end - start));
      start = end + 1;
    }
    for (const std::string& file : files) {
      benchmark::RegisterBenchmark(("BM_WavOpen/" + std::filesystem::path(file).filename().string()).c_str(),
                                   [file](benchmark::State& s) { OpenFile(s, file); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
    return true;
  }
  for (unsigned blockAlign : {2u, 3u}) {
    benchmark::RegisterBenchmark(("BM_WavOpen/generated" + std::to_string(8 * blockAlign) + "bit").c_str(),
                                 [blockAlign](benchmark::State& s) { OpenFile(s, Generated(blockAlign)); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  return true;
}();

}  // namespace
