#include "program/views/NoteLayer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "base/Instruments.h"
#include "engine/processing/CorrectionReport.h"
#include "program/shell/App.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"

namespace vocara {
namespace {

using platform::Canvas;
using platform::Rgb;

constexpr int BarHalfHeight = 3;    // a bar is 7 rows high
constexpr double ReachCents = 50;   // a press this close to a bar takes the note...
constexpr int ReachRows = 6;        // ...and at least this many rows
constexpr double SameCentre = 1.0;  // a target centre closer than this to the sung one is not moved
constexpr double LabelCharWidth = 7.0;

double SungCentre(const NoteReport& note) { return note.note * 100.0 + note.centreCents; }
double TargetCentre(const NoteReport& note) { return note.note * 100.0 + note.targetCents; }
bool TargetMoved(const NoteReport& note) {
  return std::isfinite(note.targetCents) && std::abs(note.targetCents - note.centreCents) >= SameCentre;
}

// The row of a pitch as the pitch pane draws it; false when it falls outside the pane.
bool RowOf(const PitchRows& rows, double pitch, int& row) {
  if (!std::isfinite(pitch)) return false;
  const double value = std::trunc(pitch * rows.scale - rows.base);
  if (value <= 0 || value >= rows.bottom - rows.top) return false;
  row = rows.bottom - static_cast<int>(value);
  return true;
}

// The part of a note's bar that a repaint of columns first .. end - 1 may draw.
struct Bar {
  int x0 = 0;  // the note's columns x0 .. x1 - 1, not clipped
  int x1 = 0;
  int row = 0;
};

struct Clip {
  int first = 0;
  int end = 0;
  int top = 0;  // rows top < y < bottom
  int bottom = 0;
};

void HorizontalLine(Canvas& canvas, int x0, int x1, int y, const Clip& clip) {
  x0 = std::max(x0, clip.first);
  x1 = std::min(x1, clip.end);
  if (x0 >= x1 || y <= clip.top || y >= clip.bottom) return;
  canvas.MoveTo(x0, y);
  canvas.LineTo(x1, y);
}

void VerticalLine(Canvas& canvas, int x, int y0, int y1, const Clip& clip) {
  y0 = std::max(y0, clip.top + 1);
  y1 = std::min(y1, clip.bottom);
  if (x < clip.first || x >= clip.end || y0 >= y1) return;
  canvas.MoveTo(x, y0);
  canvas.LineTo(x, y1);
}

// The bar's edge with its corners cut, each pixel once, so that the inverting mode draws it and
// takes it away again.
void BarEdge(Canvas& canvas, const Bar& bar, const Clip& clip) {
  const int top = bar.row - BarHalfHeight;
  const int bottom = bar.row + BarHalfHeight;
  const int right = bar.x1 - 1;
  if (right - bar.x0 < 2) {
    for (int x = bar.x0; x <= right; ++x) VerticalLine(canvas, x, top, bottom + 1, clip);
    return;
  }
  HorizontalLine(canvas, bar.x0 + 1, right, top, clip);
  HorizontalLine(canvas, bar.x0 + 1, right, bottom, clip);
  VerticalLine(canvas, bar.x0, top + 1, bottom, clip);
  VerticalLine(canvas, right, top + 1, bottom, clip);
}

void FilledBar(Canvas& canvas, const Bar& bar, const Clip& clip, Rgb fill, Rgb edge) {
  const platform::Rect inside{std::max(bar.x0 + 1, clip.first),
                              std::max(bar.row - BarHalfHeight + 1, clip.top + 1),
                              std::min(bar.x1 - 1, clip.end), std::min(bar.row + BarHalfHeight, clip.bottom)};
  if (inside.left < inside.right && inside.top < inside.bottom) canvas.FillRect(inside, fill);
  canvas.SelectPen(edge);
  BarEdge(canvas, bar, clip);
}

// The page's notes that reach columns first .. end - 1, as a span of app.session.pageNotes.
std::span<const NoteReport> NotesOver(const SasSession& session, int first, int end) {
  const std::span<const NoteReport> notes = session.pageNotes.notes;
  const std::int64_t from = std::int64_t{session.sas.firstFrame} + first;
  const std::int64_t to = std::int64_t{session.sas.firstFrame} + end;
  const auto begin = std::partition_point(
      notes.begin(), notes.end(), [from](const NoteReport& n) { return std::int64_t{n.endFrame} <= from; });
  const auto stop = std::partition_point(
      begin, notes.end(), [to](const NoteReport& n) { return std::int64_t{n.firstFrame} < to; });
  return {begin, stop};
}

// The note's columns on the page, not clipped to any repaint.
Bar BarOf(const SasSession& session, const NoteReport& note, int columns) {
  const std::int64_t page = session.sas.firstFrame;
  Bar bar;
  bar.x0 = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{note.firstFrame} - page, -1, columns + 1));
  bar.x1 = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{note.endFrame} - page, -1, columns + 1));
  return bar;
}

bool Chosen(const SasSession& session, const NoteReport& note) {
  const auto& chosen = session.chosenNotes;
  // The first chosen note that ends after the note starts.
  const auto it = std::partition_point(chosen.begin(), chosen.end(),
                                       [&](const NoteSpan& s) { return s.end <= note.firstFrame; });
  return it != chosen.end() && it->first < note.endFrame;
}

void DrawOutlines(const SasSession& session, Canvas& canvas, double cents, const Clip& clip, int columns,
                  const PitchRows& rows) {
  canvas.SetRasterMode(platform::RasterMode::NotXor);
  canvas.SelectPen(Rgb{0, 0, 0});
  for (const NoteReport& note : NotesOver(session, clip.first, clip.end)) {
    if (!Chosen(session, note)) continue;
    Bar bar = BarOf(session, note, columns);
    if (RowOf(rows, TargetCentre(note) + cents, bar.row)) BarEdge(canvas, bar, clip);
  }
  canvas.SetRasterMode(platform::RasterMode::Copy);
}

}  // namespace

PitchRows SasPitchRows(const WindowStates& windows) {
  const int top = SasPitchTop(windows);
  const int bottom = windows.geometry[SasView].plotBottom;
  return {top, bottom, windows.sasView.pitchScale, SasPitchBase(windows, top, bottom)};
}

void DrawNoteLayer(const WindowStates& windows, const SasSession& session, Canvas& canvas, int first, int end,
                   int columns, const PitchRows& rows) {
  if (windows.editMode != EditMode::Note || session.pageNotesStale) return;
  columns = std::clamp(std::min(columns, session.sas.pageCount), 0, SasPageCapacity);
  const Clip clip{std::max(first, 0), std::min(end, columns), rows.top, rows.bottom};
  if (clip.first >= clip.end) return;
  const int labelHeight = std::max(windows.metrics.statusHeight - 3, 1);
  canvas.SetRasterMode(platform::RasterMode::Copy);
  for (const NoteReport& note : NotesOver(session, clip.first, clip.end)) {
    Bar bar = BarOf(session, note, columns);
    const bool chosen = Chosen(session, note);
    const Rgb fill = chosen ? ChosenNoteFill : NoteBarFill;
    const Rgb edge = chosen ? ChosenNoteEdge : NoteMarkColour;
    const bool moved = TargetMoved(note);
    if (moved && RowOf(rows, SungCentre(note), bar.row)) {
      canvas.SelectPen(edge);
      BarEdge(canvas, bar, clip);
    }
    const double target = moved ? TargetCentre(note) : SungCentre(note);
    if (!RowOf(rows, target, bar.row)) continue;
    FilledBar(canvas, bar, clip, fill, edge);

    // The target's nearest note and its cents off it, left-aligned over the bar when it fits.
    const auto nearest = static_cast<int>(std::lround(target / 100.0));
    const std::string_view name = NoteName(std::clamp(nearest, 0, NoteCount - 1));
    const auto cents = static_cast<int>(std::clamp(std::round(target - nearest * 100.0), -9999.0, 9999.0));
    char text[16];
    const int length = std::clamp(
        std::snprintf(text, sizeof text, "%.*s %+d", static_cast<int>(name.size()), name.data(), cents), 0,
        static_cast<int>(sizeof text) - 1);
    const int left = std::max(bar.x0, 0);
    const int right = std::min(bar.x1, columns);
    const int labelTop = bar.row - BarHalfHeight - labelHeight;
    if ((right - left) >= length * LabelCharWidth * windows.metrics.sx && labelTop > rows.top) {
      canvas.SetTextColour(edge);
      canvas.TextOut(left + 1, labelTop, std::string_view(text, static_cast<std::size_t>(length)));
    }
  }
  if ((session.mouse.state & DragNote) && session.mouse.noteMoved)
    DrawOutlines(session, canvas, session.mouse.noteCents, clip, columns, rows);
}

int NoteAtPoint(const WindowStates& windows, const SasSession& session, int x, int y) {
  if (session.pageNotesStale || session.sas.pageCount <= 0) return -1;
  const PitchRows rows = SasPitchRows(windows);
  if (y <= rows.top || y >= rows.bottom || x < 0 || x >= session.sas.pageCount) return -1;
  const std::span<const NoteReport> over = NotesOver(session, x, x + 1);
  if (over.empty()) return -1;
  const NoteReport& note = over.front();
  const int reach = std::max(ReachRows, static_cast<int>(ReachCents * rows.scale));
  int row = 0;
  const bool near = (RowOf(rows, TargetCentre(note), row) && std::abs(row - y) <= reach) ||
                    (RowOf(rows, SungCentre(note), row) && std::abs(row - y) <= reach);
  if (!near) return -1;
  return static_cast<int>(&note - session.pageNotes.notes.data());
}

bool PageNoteChosen(const SasSession& session, int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= session.pageNotes.notes.size()) return false;
  return Chosen(session, session.pageNotes.notes[static_cast<std::size_t>(index)]);
}

void ToggleNoteOutlines(WindowStates& windows, SasSession& session, platform::Platform& ports, double cents) {
  const PitchRows rows = SasPitchRows(windows);
  const int columns =
      std::clamp(std::min(PlotColumns(windows, SasView), session.sas.pageCount), 0, SasPageCapacity);
  const Clip clip{0, columns, rows.top, rows.bottom};
  RasterCanvas canvas(windows.images[SasView], ports.text);
  DrawOutlines(session, canvas, cents, clip, columns, rows);
  // Only the rows the outlines can reach are shown again.
  int low = rows.bottom;
  int high = rows.top;
  for (const NoteReport& note : NotesOver(session, 0, columns)) {
    int row = 0;
    if (!Chosen(session, note) || !RowOf(rows, TargetCentre(note) + cents, row)) continue;
    low = std::min(low, row - BarHalfHeight);
    high = std::max(high, row + BarHalfHeight + 1);
  }
  if (low < high) ports.windows.Present(SasView, {0, low, columns, high});
}

}  // namespace vocara
