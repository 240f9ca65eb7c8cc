// Scrolling and zooming a long recording: one envelope pass plus a full repaint of a 1280 x 1024
// WAV window, at the overview scale (no file access) and at 1 sample per column and zooms in
// between (the columns read from the file, which lies in the page cache); and a full repaint of
// a 1280-column SAS window. Each iteration starts at another place in the file, as scrolling
// does. Goals: overview under 5 ms, every finer zoom under 16 ms, the SAS window under 5 ms.
//
// VOCARA_BENCH_VIEW_FILE=take.wav measures that file; without it a 1 GiB 16-bit recording is
// generated in the temporary folder on first use (and kept for the next run).
#include <benchmark/benchmark.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engine/wav/WavHeader.h"
#include "program/commands/WavCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/raster/RasterCanvas.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/views/Render.h"
#include "program/views/ViewLayout.h"
#include "program/views/WavView.h"
#include "support/FakePlatform.h"

namespace {

using vocara::App;

constexpr std::uint32_t GeneratedDataBytes = 1u << 30;

// A sine sweep with noise, so that every column has a different envelope.
std::string RecordingPath() {
  if (const char* path = std::getenv("VOCARA_BENCH_VIEW_FILE")) return path;
  const std::string path = (std::filesystem::temp_directory_path() / "vocara-bench-view-1GiB.wav").string();
  if (std::filesystem::exists(path) && std::filesystem::file_size(path) == GeneratedDataBytes + 44)
    return path;
  vocara::WavHeader header;
  header.fields.blockAlign = 2;
  header.fields.bitsPerSample = 16;
  header.SetDataSize(GeneratedDataBytes);
  std::ofstream out(path, std::ios::binary);
  const auto image = header.Serialise();
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  std::vector<std::int16_t> block(1 << 19);
  std::uint32_t noise = 12345;
  double phase = 0.0;
  for (std::uint64_t written = 0; written < GeneratedDataBytes; written += block.size() * 2) {
    for (std::int16_t& sample : block) {
      noise = noise * 1664525u + 1013904223u;
      phase += 0.001 + 0.0000001 * static_cast<double>(written >> 20);
      sample =
          static_cast<std::int16_t>(20000 * std::sin(phase) + static_cast<std::int16_t>(noise >> 16) / 8);
    }
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 2));
  }
  return path;
}

// A started program with its WAV and SAS windows at the largest size.
struct Program {
  vocara::test::FakePlatform fake;
  App app{fake.ports};

  Program() {
    vocara::ProgramStart(app, "");
    for (int view : {vocara::WavView, vocara::SasView}) {
      fake.windows.views[view].clientSize = {1280, 1024};
      vocara::ResizeView(app.windows, app.session, app.docs, app.ports, view);
    }
  }
};

Program& WavProgram() {
  static const std::unique_ptr<Program> program = [] {
    auto p = std::make_unique<Program>();
    const std::string path = RecordingPath();
    vocara::WavOpenCommand(p->app, &path);
    return p;
  }();
  return *program;
}

void EnvelopeAndRepaint(benchmark::State& state, std::uint32_t samplesPerPixel) {
  Program& program = WavProgram();
  App& app = program.app;
  if (!app.Has(vocara::WavOpen)) {
    state.SkipWithError("the recording did not open");
    return;
  }
  const std::uint32_t spp = samplesPerPixel != 0 ? samplesPerPixel : app.docs.wav.overviewFactor;
  app.windows.wavView.samplesPerPixel = spp;
  const vocara::platform::Rect client = program.fake.windows.GetClientRect(vocara::WavView);
  const std::uint64_t span = std::uint64_t{spp} * 1280;
  std::uint64_t first = 0;
  for (auto _ : state) {
    first = (first + app.docs.wav.sampleCount / 7 + 12345) % (app.docs.wav.sampleCount - span);
    app.windows.wavView.firstSample = static_cast<std::uint32_t>(first);
    vocara::WavViewEnvelopePass(app.windows, app.docs);
    vocara::PaintWindow(app.screen, vocara::WavView, client);
    benchmark::DoNotOptimize(app.windows.images[vocara::WavView].Pixels().data());
  }
  state.counters["spp"] = spp;
}

void BM_WavOverview(benchmark::State& state) { EnvelopeAndRepaint(state, 0); }
BENCHMARK(BM_WavOverview)->Unit(benchmark::kMillisecond)->UseRealTime();

// From 1 sample per column up to the last scale that still reads the file (overviewFactor - 1
// is 8191 for 1 GiB of 16-bit samples).
void BM_WavZoom(benchmark::State& state) {
  const std::uint32_t factor = WavProgram().app.docs.wav.overviewFactor;
  EnvelopeAndRepaint(state, std::min(static_cast<std::uint32_t>(state.range(0)), factor - 1));
}
BENCHMARK(BM_WavZoom)
    ->Arg(1)
    ->Arg(16)
    ->Arg(256)
    ->Arg(2048)
    ->Arg(1 << 30)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_SasRepaint(benchmark::State& state) {
  Program program;
  App& app = program.app;
  vocara::SasDocument& sas = app.session.sas;
  sas.header.frameLength = 256;
  sas.header.sampleRate = 48000;
  sas.shownFrameCount = 200000;
  sas.firstFrame = 5000;
  sas.pageCount = 1280;
  for (int x = 0; x < 1280; ++x) {
    vocara::SasFrame& frame = sas.page[static_cast<std::size_t>(x)];
    frame.sourcePitch = static_cast<std::uint16_t>(4000 + 300 * std::sin(x * 0.05));
    frame.targetPitch = static_cast<std::uint16_t>(frame.sourcePitch + (x % 7) * 10);
    frame.minSample = -(1 << 29) - x * 100000;
    frame.maxSample = (1 << 29) + x * 100000;
    frame.targetAmplitude = static_cast<std::uint32_t>(frame.Amplitude()) + (x % 3 - 1) * 50000000u;
  }
  for (std::uint32_t i = 0; i < 200; ++i)
    sas.links.push_back({i * 256 * 1000, i * 256 * 1000 + (i % 5) * 256});
  app.windows.sasView.pitchScale = 0.5;
  app.flags |= vocara::SasOpen | vocara::SasRangeSelected;
  sas.range = {5100, 5600};
  const vocara::platform::Rect client = program.fake.windows.GetClientRect(vocara::SasView);
  for (auto _ : state) {
    vocara::PaintWindow(app.screen, vocara::SasView, client);
    benchmark::DoNotOptimize(app.windows.images[vocara::SasView].Pixels().data());
  }
}
BENCHMARK(BM_SasRepaint)->Unit(benchmark::kMillisecond)->UseRealTime();

// Lines, pixels and rectangles at coordinates far outside a small canvas: each is clipped in
// closed form, so the cost must stay that of the few pixels drawn (microseconds), never that
// of walking the 2^32 positions in between (seconds).
void BM_RasterFarOffLines(benchmark::State& state) {
  vocara::RasterImage image;
  image.Resize(16, 12);
  vocara::test::FakeText text;
  vocara::RasterCanvas canvas(image, text);
  for (auto _ : state) {
    canvas.MoveTo(INT_MIN, INT_MIN);
    canvas.LineTo(INT_MAX, INT_MAX);
    canvas.MoveTo(INT_MIN, 5);
    canvas.LineTo(INT_MAX, 6);
    canvas.MoveTo(-1000000000, INT_MAX);
    canvas.LineTo(-1000000000, INT_MIN);
    canvas.SetPixel(INT_MIN, INT_MAX, vocara::platform::Rgb{1, 1, 1});
    canvas.FillRect({INT_MAX - 1, 0, INT_MAX, 5}, vocara::platform::Rgb{1, 1, 1});
    benchmark::DoNotOptimize(image.Pixels().data());
  }
}
BENCHMARK(BM_RasterFarOffLines)->Unit(benchmark::kMicrosecond);

}  // namespace
