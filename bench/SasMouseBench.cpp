// Editing a SAS with the mouse in a window of 1280 columns and 1024 rows, one mouse move per
// iteration through the window procedure of the fake platform, including the redraw of the
// changed columns:
//
//   Freehand/0   amplitude drawn freehand from one edge of the page to the other
//   Freehand/1   the same for the target pitch
//   InRange/0    in-range amplitude scaling over a range that covers the whole page
//   InRange/1    in-range pitch shift over the whole page
//
// Goal: under 1 ms per move, so that drawing keeps up with the mouse.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BenchTone.h"
#include "SasWindowProgram.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "support/SasFiles.h"

namespace {

using vocara::App;
using vocara::platform::MessageKind;

constexpr std::size_t Frames = 5000;
constexpr int Columns = vocara::bench::SasColumns;

// A voice-like page: pitches and amplitudes that change from frame to frame.
std::string SasFile() {
  const std::string path = vocara::bench::TempFile("vocara-mouse-bench.sas");
  std::vector<vocara::SasFrame> frames;
  for (std::size_t i = 0; i < Frames; ++i) {
    const auto pitch = static_cast<std::uint16_t>(3600 + 400 * std::sin(static_cast<double>(i) * 0.03));
    const auto peak = static_cast<std::int32_t>(2.0e8 * (1.2 + std::sin(static_cast<double>(i) * 0.011)));
    frames.push_back(vocara::test::FreshFrame(pitch, -peak, peak));
  }
  const std::vector<vocara::TimeLink> links = vocara::test::EndLinks(Frames * 256);
  vocara::test::WriteSasFile(path, vocara::test::SasHeaderFor(256, 48000, 0, Frames), frames, links);
  return path;
}

struct Program : vocara::bench::SasWindowProgram {
  Program() : SasWindowProgram(SasFile()) {}
  // The rows of the two panes' middles.
  int Row(bool pitch) const {
    const int top = app.windows.metrics.toolbarHeight;
    return pitch ? top + app.windows.upperPaneHeight + app.windows.lowerPaneHeight / 2
                 : top + app.windows.upperPaneHeight / 2;
  }
};

// Each move crosses the whole page from the last one's edge, at another row.
void BM_Freehand(benchmark::State& state) {
  Program program;
  if (!program.app.Has(vocara::SasOpen) || program.app.session.sas.pageCount != Columns) {
    state.SkipWithError("the SAS did not open at full width");
    return;
  }
  const bool pitch = state.range(0) != 0;
  const int row = program.Row(pitch);
  program.Command(132);
  program.Mouse(MessageKind::LeftDown, 0, row);
  int step = 0;
  for (auto _ : state) {
    ++step;
    program.Mouse(MessageKind::MouseMove, step % 2 != 0 ? Columns - 1 : 0, row - 60 + step % 120);
    program.Forget();
  }
  program.Mouse(MessageKind::LeftUp, 0, row);
  benchmark::DoNotOptimize(program.app.session.sas.page.data());
}
BENCHMARK(BM_Freehand)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The range covers every frame; the mouse goes up and down by 10 rows.
void BM_InRange(benchmark::State& state) {
  Program program;
  if (!program.app.Has(vocara::SasOpen) || program.app.session.sas.pageCount != Columns) {
    state.SkipWithError("the SAS did not open at full width");
    return;
  }
  App& app = program.app;
  app.session.sas.range = {0, static_cast<std::int32_t>(Frames)};
  app.flags |= vocara::SasRangeSelected;
  const int row = program.Row(state.range(0) != 0);
  program.Command(131);
  program.Mouse(MessageKind::LeftDown, Columns / 2, row);
  int step = 0;
  for (auto _ : state) {
    ++step;
    program.Mouse(MessageKind::MouseMove, Columns / 2, step % 2 != 0 ? row - 10 : row);
    program.Forget();
  }
  program.Mouse(MessageKind::LeftUp, Columns / 2, row);
  benchmark::DoNotOptimize(app.session.sas.page.data());
}
BENCHMARK(BM_InRange)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
