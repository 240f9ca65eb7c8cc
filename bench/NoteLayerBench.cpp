// Note mode in a SAS window of 1280 columns and 1024 rows over a sung-like take (notes of 60
// frames with vibrato, a glide between each two, about 21 notes a page, all of them chosen):
//
//   NoteLayer      the note layer of a full page drawn (bars, labels, highlight), the page's
//                  notes listed once before
//   NoteDragMove   one mouse move of a note drag through the window procedure of the fake
//                  platform, the outlines of every chosen note taken away and drawn again
//
// Goals: the layer under 2 ms, a drag move under 1 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "BenchTone.h"
#include "SasWindowProgram.h"
#include "base/Instruments.h"
#include "program/commands/NoteCommands.h"
#include "program/raster/RasterCanvas.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/views/CorrectionMarks.h"
#include "program/views/NoteLayer.h"
#include "program/views/Render.h"
#include "support/SasFiles.h"

namespace {

using vocara::App;
using vocara::platform::MessageKind;

constexpr std::size_t Frames = 5000;
constexpr int Columns = vocara::bench::SasColumns;
constexpr std::size_t NoteFrames = 60;

std::string SasFile() {
  const std::string path = vocara::bench::TempFile("vocara-note-bench.sas");
  std::vector<vocara::SasFrame> frames;
  for (std::size_t i = 0; i < Frames; ++i) {
    const std::size_t note = i / NoteFrames;
    const double key = 3900 + 100.0 * static_cast<double>((note * 7) % 12);
    const double previous = 3900 + 100.0 * static_cast<double>((note * 7 + 5) % 12);
    const double into = static_cast<double>(i % NoteFrames);
    const double glide = into < 8 ? previous + (key - previous) * into / 8 : key;
    const double pitch = glide + 25 * std::sin(static_cast<double>(i) * 0.18);
    frames.push_back(
        vocara::test::FreshFrame(static_cast<std::uint16_t>(std::lround(pitch)), -400000000, 400000000));
  }
  const std::vector<vocara::TimeLink> links = vocara::test::EndLinks(Frames * 256);
  vocara::test::WriteSasFile(path, vocara::test::SasHeaderFor(256, 48000, 0, Frames), frames, links);
  return path;
}

// Note mode on, the page's notes listed and every note chosen.
struct Program : vocara::bench::SasWindowProgram {
  Program() : SasWindowProgram(SasFile()) {
    app.windows.sasView.lower.position = vocara::NoteCount - 1 - 44;
    Command(vocara::Id(vocara::CommandId::NoteMode));
    vocara::RefreshPageNotes(app.windows, app.session);
    Command(vocara::Id(vocara::CommandId::SelectAllNotes));
  }
  bool Ready() const {
    return app.Has(vocara::SasOpen) && app.session.sas.pageCount == Columns &&
           app.session.pageNotes.notes.size() > 15 && !app.session.chosenNotes.empty();
  }
};

void BM_NoteLayer(benchmark::State& state) {
  Program program;
  if (!program.Ready()) {
    state.SkipWithError("the notes did not list on a full page");
    return;
  }
  App& app = program.app;
  const vocara::PitchRows rows = vocara::SasPitchRows(app.windows);
  vocara::RasterCanvas canvas(app.windows.images[vocara::SasView], app.ports.text);
  for (auto _ : state) {
    vocara::DrawNoteLayer(app.windows, app.session, canvas, 0, Columns, Columns, rows);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_NoteLayer)->Unit(benchmark::kMicrosecond);

void BM_NoteDragMove(benchmark::State& state) {
  Program program;
  if (!program.Ready()) {
    state.SkipWithError("the notes did not list on a full page");
    return;
  }
  App& app = program.app;
  // The press on the middle of the fourth note's bar.
  const vocara::NoteReport& note = app.session.pageNotes.notes[3];
  const vocara::PitchRows rows = vocara::SasPitchRows(app.windows);
  const int x = static_cast<int>((note.firstFrame + note.endFrame) / 2 - app.session.sas.pageFirst);
  const double centre = note.note * 100.0 + note.targetCents;
  const int y = rows.bottom - static_cast<int>(std::trunc(centre * rows.scale - rows.base));
  program.Mouse(MessageKind::LeftDown, x, y);
  if (!(app.session.mouse.state & vocara::DragNote)) {
    state.SkipWithError("the press did not take the note");
    return;
  }
  const int semitone = static_cast<int>(std::lround(100 * app.windows.sasView.pitchScale));
  int step = 0;
  for (auto _ : state) {
    ++step;
    // Up and down a semitone: every move changes the shift.
    program.Mouse(MessageKind::MouseMove, x, step % 2 != 0 ? y - semitone : y + semitone);
    program.Forget();
  }
  app.session.mouse.noteMoved = false;  // released without moving anything
  program.Mouse(MessageKind::LeftUp, x, y);
}
BENCHMARK(BM_NoteDragMove)->Unit(benchmark::kMicrosecond);

}  // namespace
