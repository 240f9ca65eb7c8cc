// Snap to Scale, Repair Octave Jumps, Re-analyse Range and the correction report on a
// ten-minute sung take (48 kHz, 16-bit): a phrase of ten notes with vibrato and glides, each
// 20 to 45 cents off C major, sung over and over, and every 7 s a 120 ms stretch whose
// fundamental drops to a tenth (the Build reads some of it an octave up). The recording and
// its SAS are made once in the temporary folder and kept; each case works on its own copy of
// the SAS. The goal for snap and repair of the whole file is under 0.5 s.
//
//   Snap              C major, centre 100 %, drift 50 %, over every frame
//   RepairJumps       find the jumps and measure them again, over every frame
//   Reanalyse10s      ten seconds of frames measured again with the note range B3 .. D7
//   ReanalyseAll      every frame measured again (the Build's work, on every processor)
//   Build             the Build of the take, for comparison
//   Report            the corrected take (here: the take itself) analysed and compared
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTone.h"
#include "base/Settings.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasBuild.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"
#include "support/Recordings.h"

namespace {

using vocara::bench::TempFile;

std::string TakeWav() {
  const std::string path = TempFile("vocara-intune-take.wav");
  if (std::filesystem::exists(path)) return path;
  const std::vector<vocara::test::SungNote> phrase{
      {60, 30, 0.7}, {62, -25, 0.7}, {64, -40, 0.7}, {67, -35, 0.7}, {69, 20, 0.7},
      {72, 40, 0.7}, {67, 35, 0.7},  {64, -20, 0.7}, {62, 45, 0.7},  {60, 35, 0.7}};
  std::vector<vocara::test::SungNote> notes;
  for (int k = 0; k < 600 / 7; ++k) notes.insert(notes.end(), phrase.begin(), phrase.end());
  vocara::test::SungOptions options;
  options.weakFrom = 3.0;
  options.weakTo = 3.12;
  options.fundamental = 0.1;
  options.weakEvery = 7.0;
  const std::vector<std::int32_t> values = vocara::test::SungMelody(notes, options);
  vocara::WavHeader header;
  header.SetDataSize(static_cast<std::uint32_t>(values.size() * 2));
  const auto image = header.Serialise();
  std::vector<char> bytes(image.begin(), image.end());
  for (const std::int32_t v : values) {
    bytes.push_back(static_cast<char>(v & 0xFF));
    bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
  }
  const std::string partial = path + ".partial";
  std::ofstream(partial, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::filesystem::rename(partial, path);
  return path;
}

std::string TakeSas() {
  const std::string path = TempFile("vocara-intune-take.sas");
  if (std::filesystem::exists(path)) return path;
  vocara::WavDocument wav;
  vocara::WavOpenDocument(wav, TakeWav());
  vocara::SasBuildFile(wav, vocara::GeneralSettings{}, path, {});
  return path;
}

// A fresh copy of the take's SAS, open for writing, with the take's WAV.
struct Copy {
  vocara::WavDocument wav;
  vocara::SasDocument sas;
  bool Open(benchmark::State& state) {
    const std::string work = TempFile("vocara-intune-work.sas");
    std::filesystem::copy_file(TakeSas(), work, std::filesystem::copy_options::overwrite_existing);
    if (vocara::WavOpenDocument(wav, TakeWav()).message != vocara::MessageId::None ||
        vocara::SasOpenDocument(sas, work) != vocara::MessageId::None) {
      state.SkipWithError("cannot open the take");
      return false;
    }
    return true;
  }
};

void BM_InTuneSnap(benchmark::State& state) {
  Copy copy;
  if (!copy.Open(state)) return;
  vocara::ScaleSnapParams params;
  params.drift = 50;
  for (auto _ : state)
    benchmark::DoNotOptimize(vocara::SasSnapToScale(copy.sas, 0, copy.sas.header.frameCount, params));
  state.counters["frames"] = copy.sas.header.frameCount;
}

void BM_InTuneRepairJumps(benchmark::State& state) {
  std::uint32_t repaired = 0;
  std::size_t jumps = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Copy copy;
    if (!copy.Open(state)) return;
    std::vector<vocara::PitchJump> found;
    vocara::FindPitchJumps(copy.sas, 0, copy.sas.header.frameCount, found);
    jumps = found.size();
    state.ResumeTiming();
    benchmark::DoNotOptimize(
        vocara::SasRepairOctaveJumps(copy.wav, copy.sas, 0, copy.sas.header.frameCount, {}, &repaired));
  }
  state.counters["jumps"] = static_cast<double>(jumps);
  state.counters["repaired"] = repaired;
}

void Reanalyse(benchmark::State& state, double seconds) {
  Copy copy;
  if (!copy.Open(state)) return;
  const auto frames = static_cast<std::uint32_t>(std::min<double>(
      copy.sas.header.frameCount, seconds * copy.sas.header.sampleRate / copy.sas.header.frameLength));
  for (auto _ : state) benchmark::DoNotOptimize(vocara::SasReanalyse(copy.wav, copy.sas, 0, frames, 38, 77));
  state.counters["frames"] = frames;
}
void BM_InTuneReanalyse10s(benchmark::State& state) { Reanalyse(state, 10); }
void BM_InTuneReanalyseAll(benchmark::State& state) { Reanalyse(state, 1e9); }

// The Build of the same take, for comparison with ReanalyseAll: the same frames and notes.
void BM_InTuneBuild(benchmark::State& state) {
  vocara::WavDocument wav;
  vocara::WavOpenDocument(wav, TakeWav());
  const std::string out = TempFile("vocara-intune-build.sas");
  for (auto _ : state)
    benchmark::DoNotOptimize(vocara::SasBuildFile(wav, vocara::GeneralSettings{}, out, {}));
  std::filesystem::remove(out);
}

void BM_InTuneReport(benchmark::State& state) {
  Copy copy;
  if (!copy.Open(state)) return;
  vocara::WavDocument corrected;
  vocara::WavOpenDocument(corrected, TakeWav());
  vocara::CorrectionReport report;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        vocara::MakeCorrectionReport(copy.sas, corrected, {0, copy.wav.sampleCount, false}, report));
  state.counters["notes"] = static_cast<double>(report.notes.size());
}

// The SAS window's note marks: the notes of one page (1200 frames) in the middle of the take,
// against the listing of the whole take.
void PageNotes(benchmark::State& state, bool whole) {
  Copy copy;
  if (!copy.Open(state)) return;
  const std::uint32_t frameLength = copy.sas.header.frameLength;
  const std::uint32_t middle = copy.sas.header.frameCount / 2;
  const vocara::ReportRequest page =
      whole ? vocara::ReportRequest{0, copy.wav.sampleCount, false}
            : vocara::ReportRequest{middle * frameLength, (middle + 1200) * frameLength, false};
  vocara::CorrectionReport report;
  for (auto _ : state) benchmark::DoNotOptimize(vocara::ListNotes(copy.sas, page, report));
  state.counters["notes"] = static_cast<double>(report.notes.size());
}
void BM_InTunePageNotes(benchmark::State& state) { PageNotes(state, false); }
void BM_InTuneListAllNotes(benchmark::State& state) { PageNotes(state, true); }

}  // namespace

BENCHMARK(BM_InTunePageNotes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InTuneListAllNotes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_InTuneSnap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InTuneRepairJumps)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_InTuneReanalyse10s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InTuneReanalyseAll)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_InTuneBuild)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_InTuneReport)->Unit(benchmark::kMillisecond)->Iterations(1);
