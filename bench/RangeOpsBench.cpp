// The whole-file SAS range operations on ten hours of frames (48 kHz, hop 216: 8 million frames,
// 128 MB), against copying the same file. They read and write every frame in blocks of 1280
// records, so the goal is the speed of a file copy: the counter x_copy is the time of one
// operation over the best of three copies of the same cached file to a new file (read/write
// loop, 1 MiB pieces). Global Clear also syncs the file, since its link table goes through the
// journal, so its time includes writing the frames to the disk.
//
//   GlobalEdit   scale 150 % and transpose +100 cents on every frame
//   Silence      the silence threshold (2 %) on every frame
//   GlobalClear  every target back to the analysis, the 500 links down to the two end links
//
// GlobalEditWhole and SilenceWhole are the same operations as vocara-cli and the program run
// them: on a copy beside the file, synced and renamed over it (SasChange), so that a crash or
// a stop leaves the file before or after, never between. x_inplace is that time over the time
// of the operation written into the file where it lies (the two cases above it).
//
// The file is generated once in the temporary folder (vocara-range-bench.sas) and kept; each
// case works on its own copy, so the cases see the same frames whatever ran before.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "BenchTone.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"
#include "engine/sas/SasRecords.h"

namespace {

using vocara::bench::TempFile;
constexpr std::uint32_t Hop = 216;
constexpr std::uint32_t Frames = 10u * 3600u * 48000u / Hop;  // 8,000,000
constexpr std::uint32_t Links = 500;

// Notes of a second each with a quiet gap, a few frames near full scale, targets edited on
// every other note; links every 16000 frames.
std::string SasFile() {
  const std::string path = TempFile("vocara-range-bench.sas");
  if (std::filesystem::exists(path)) return path;
  const std::string partial = path + ".partial";
  std::ofstream out(partial, std::ios::binary);
  vocara::SasHeader header;
  header.frameCount = Frames;
  header.linkCount = Links;
  header.frameLength = Hop;
  header.sampleRate = 48000;
  const auto image = header.Serialise();
  out.write(reinterpret_cast<const char*>(image.data()), image.size());
  std::vector<std::uint8_t> piece;
  for (std::uint32_t i = 0; i < Frames; ++i) {
    const std::uint32_t note = i / 222;
    const bool quiet = i % 222 >= 200;
    vocara::SasFrame frame;
    frame.sourcePitch = quiet ? 0 : static_cast<std::uint16_t>(2400 + note % 24 * 100 + i % 7);
    const std::int32_t peak =
        quiet ? 3000
              : (i % 997 == 0 ? 2100000000 : 400000000 + static_cast<std::int32_t>(note % 50) * 10000000);
    frame.minSample = -peak;
    frame.maxSample = peak - 1;
    frame.targetPitch = static_cast<std::uint16_t>(frame.sourcePitch + (note % 2 == 0 ? 30 : 0));
    frame.targetAmplitude = static_cast<std::uint32_t>(2 * static_cast<std::int64_t>(peak) - 1);
    if (note % 5 == 0) frame.targetPitch |= vocara::TimeCorrectionOffBit;
    const auto bytes = frame.Serialise();
    piece.insert(piece.end(), bytes.begin(), bytes.end());
    if (piece.size() >= (1u << 20) || i + 1 == Frames) {
      out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
      piece.clear();
    }
  }
  const std::uint32_t samples = Frames * Hop;
  for (std::uint32_t k = 0; k < Links; ++k) {
    const std::uint32_t position = k + 1 == Links ? samples : k * (Frames / Links) * Hop;
    const auto bytes = vocara::TimeLink{position, position}.Serialise();
    out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }
  out.close();
  std::filesystem::rename(partial, path);
  return path;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// One copy of `from` to a new file `to` through a 1 MiB buffer, in seconds.
double CopySeconds(const std::string& from, const std::string& to) {
  std::filesystem::remove(to);
  const auto start = std::chrono::steady_clock::now();
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = std::fopen(to.c_str(), "wb");
  std::vector<char> buffer(1u << 20);
  std::size_t got = 0;
  while (in != nullptr && out != nullptr && (got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
    std::fwrite(buffer.data(), 1, got, out);
  if (in != nullptr) std::fclose(in);
  if (out != nullptr) std::fclose(out);
  return Seconds(std::chrono::steady_clock::now() - start);
}

void RangeOperation(benchmark::State& state, unsigned ops, const vocara::SasRangeParams& params,
                    bool whole = false) {
  const std::string work = TempFile("vocara-range-bench-work.sas");
  // The best of three copies: the last one is the file the operation works on.
  double copy = CopySeconds(SasFile(), work);
  for (int i = 0; i < 2; ++i) copy = std::min(copy, CopySeconds(SasFile(), work));
  vocara::SasDocument sas;
  if (vocara::SasOpenDocument(sas, work) != vocara::MessageId::None) {
    state.SkipWithError("cannot open the SAS file");
    return;
  }
  std::chrono::steady_clock::duration spent{};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    bool done = false;
    if (whole) {
      vocara::SasChange change;
      done = change.Begin(sas, false) == vocara::MessageId::None &&
             vocara::SasApplyRange(sas, 0, Frames, ops, params) && change.Commit();
    } else {
      done = vocara::SasApplyRange(sas, 0, Frames, ops, params);
    }
    spent += std::chrono::steady_clock::now() - start;
    if (!done) state.SkipWithError("the operation failed");
  }
  sas.file.Close();
  std::filesystem::remove(work);
  state.counters["copy_ms"] = copy * 1000;
  const double seconds = Seconds(spent) / static_cast<double>(state.iterations());
  state.counters["x_copy"] = seconds / copy;
  // The in-place time of the same operation, for the whole-or-nothing cases.
  static std::map<unsigned, double> inPlace;
  if (!whole) inPlace[ops] = seconds;
  if (whole && inPlace.count(ops) != 0) state.counters["x_inplace"] = seconds / inPlace[ops];
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Frames *
                          vocara::SasFrame::ByteSize);
}

void BM_RangeGlobalEdit(benchmark::State& state) {
  RangeOperation(state, vocara::SasRangeOps::ScaleAmplitude | vocara::SasRangeOps::Transpose, {150, 100});
}
void BM_RangeSilence(benchmark::State& state) {
  RangeOperation(state, vocara::SasRangeOps::Silence, {100, 0, 0, 100, 2});
}
void BM_RangeGlobalClear(benchmark::State& state) {
  RangeOperation(state,
                 vocara::SasRangeOps::ScaleAmplitude | vocara::SasRangeOps::Transpose |
                     vocara::SasRangeOps::EnableTimeCorrection | vocara::SasRangeOps::RemoveLinks,
                 {});
}
void BM_RangeGlobalEditWhole(benchmark::State& state) {
  RangeOperation(state, vocara::SasRangeOps::ScaleAmplitude | vocara::SasRangeOps::Transpose, {150, 100},
                 true);
}
void BM_RangeSilenceWhole(benchmark::State& state) {
  RangeOperation(state, vocara::SasRangeOps::Silence, {100, 0, 0, 100, 2}, true);
}
void BM_RangeFileCopy(benchmark::State& state) {
  const std::string from = SasFile();
  const std::string to = TempFile("vocara-range-bench-copy.sas");
  for (auto _ : state) benchmark::DoNotOptimize(CopySeconds(from, to));
  std::filesystem::remove(to);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Frames *
                          vocara::SasFrame::ByteSize);
}

BENCHMARK(BM_RangeFileCopy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RangeGlobalEdit)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RangeSilence)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RangeGlobalClear)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RangeGlobalEditWhole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RangeSilenceWhole)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
