#include "program/views/CorrectionMarks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "base/Instruments.h"
#include "base/WindowTable.h"
#include "engine/processing/CorrectionReport.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"

namespace vocara {
namespace {

// The status font's extent at 96 dpi, generous enough for the widest digits.
constexpr double LabelCharWidth = 7.0;

// What one note shows: a line at `pitch` (cents above A0) over frames first <= i < end, and the
// label's first `labelLength` characters above it.
struct PitchMark {
  std::int64_t first = 0;
  std::int64_t end = 0;
  double pitch = 0;
  int labelLength = 0;
};
using Label = char[16];
// False: the note shows nothing.
using MarkOfNote = bool (*)(const NoteReport& note, PitchMark& mark, Label& label);

int LabelLength(int written) { return std::clamp(written, 0, static_cast<int>(sizeof(Label)) - 1); }

bool CorrectionMark(const NoteReport& note, PitchMark& mark, Label& label) {
  if (!note.achieved) return false;
  mark = {note.firstFrame, note.endFrame, note.note * 100.0 + note.achievedCents, 0};
  const double error = std::clamp(std::round(note.errorCents), -9999.0, 9999.0);
  mark.labelLength = LabelLength(std::snprintf(label, sizeof label, "%+d", static_cast<int>(error)));
  return true;
}

// The centre is taken over the held part, so that is where the line goes; a note cut to its
// glide has none and is marked over what there is of it.
bool SungNoteMark(const NoteReport& note, PitchMark& mark, Label& label) {
  if (!std::isfinite(note.centreCents)) return false;
  const bool held = note.heldEnd > note.heldFirst;
  mark = {held ? note.heldFirst : note.firstFrame, held ? note.heldEnd : note.endFrame,
          note.note * 100.0 + note.centreCents, 0};
  const std::string_view name = NoteName(note.note);
  const double cents = std::clamp(std::round(note.centreCents), -9999.0, 9999.0);
  mark.labelLength = LabelLength(std::snprintf(label, sizeof label, "%.*s %+d", static_cast<int>(name.size()),
                                               name.data(), static_cast<int>(cents)));
  return true;
}

void DrawPitchMarks(const WindowStates& windows, const SasSession& session, platform::Canvas& canvas,
                    int first, int end, int columns, const PitchRows& rows, std::span<const NoteReport> notes,
                    platform::Rgb colour, MarkOfNote markOf) {
  const SasDocument& sas = session.sas;
  columns = std::clamp(std::min(columns, sas.pageCount), 0, SasPageCapacity);
  end = std::min(end, columns);
  first = std::max(first, 0);
  if (first >= end) return;
  const std::int64_t pageStart = sas.firstFrame;  // the frame of column 0
  const std::int64_t from = pageStart + first;
  const std::int64_t to = pageStart + end;
  const int height = rows.bottom - rows.top;
  const int labelHeight = std::max(windows.metrics.statusHeight - 3, 1);

  // The notes come in frame order and do not overlap: skip those that end before the columns.
  auto note = std::partition_point(notes.begin(), notes.end(),
                                   [from](const NoteReport& n) { return std::int64_t{n.endFrame} <= from; });
  canvas.SetRasterMode(platform::RasterMode::Copy);
  canvas.SelectPen(colour);
  canvas.SetTextColour(colour);
  for (; note != notes.end() && std::int64_t{note->firstFrame} < to; ++note) {
    PitchMark mark;
    Label text;
    if (!markOf(*note, mark, text) || !std::isfinite(mark.pitch)) continue;
    // A line over part of its note may lie off the columns while the note does not.
    if (mark.end <= std::max(mark.first, from) || mark.first >= to) continue;
    const double value = std::trunc(mark.pitch * rows.scale - rows.base);
    if (value <= 0 || value >= height) continue;
    const int row = rows.bottom - static_cast<int>(value);
    const auto x0 = static_cast<int>(std::max(mark.first, from) - pageStart);
    const auto x1 = static_cast<int>(std::min(mark.end, to) - pageStart);
    canvas.MoveTo(x0, row);
    canvas.LineTo(x1, row);

    // The label sits over the line's part of the whole plot, left-aligned, when it fits there.
    const auto left = static_cast<int>(std::max<std::int64_t>(mark.first - pageStart, 0));
    const auto right = static_cast<int>(std::min<std::int64_t>(mark.end - pageStart, columns));
    if (mark.labelLength <= 0) continue;
    const bool fits = (right - left) >= mark.labelLength * LabelCharWidth * windows.metrics.sx &&
                      row - labelHeight > rows.top;
    if (fits)
      canvas.TextOut(left + 1, row - labelHeight,
                     std::string_view(text, static_cast<std::size_t>(mark.labelLength)));
  }
}

}  // namespace

void DrawCorrectionMarks(const WindowStates& windows, const SasSession& session, platform::Canvas& canvas,
                         int first, int end, int columns, const PitchRows& rows) {
  if (!session.correctionReportShown) return;
  DrawPitchMarks(windows, session, canvas, first, end, columns, rows, session.correctionReport.notes,
                 CorrectionMarkColour, CorrectionMark);
}

void DrawNoteMarks(const WindowStates& windows, const SasSession& session, platform::Canvas& canvas,
                   int first, int end, int columns, const PitchRows& rows) {
  // Note mode draws the notes as bars of its own (NoteLayer).
  if (!windows.showNotes || session.correctionReportShown || session.pageNotesStale ||
      windows.editMode == EditMode::Note)
    return;
  DrawPitchMarks(windows, session, canvas, first, end, columns, rows, session.pageNotes.notes, NoteMarkColour,
                 SungNoteMark);
}

void RefreshPageNotes(WindowStates& windows, SasSession& session) {
  const bool shown =
      (windows.showNotes && !session.correctionReportShown) || windows.editMode == EditMode::Note;
  if (!session.pageNotesStale || !shown || HasAll(session.flags, Busy)) return;
  session.pageNotesStale = false;
  SasDocument& sas = session.sas;
  if (!ListNotesOfFrames(sas, sas.pageFirst, std::int64_t{sas.pageFirst} + sas.pageCount, session.pageNotes))
    session.pageNotes.notes.clear();
}

bool ShowNotesUsable(std::uint32_t flags) { return HasAll(flags, SasOpen) && !HasAll(flags, Busy); }

void ToggleShowNotes(WindowStates& windows, std::uint32_t& flags, platform::Platform& ports) {
  if (!ShowNotesUsable(flags)) return;
  windows.showNotes = !windows.showNotes;
  ports.windows.SetMenuItemChecked(Id(CommandId::ShowNotes), windows.showNotes);
  windows.redraw |= SasLowerBandRedraw;
  ports.windows.Invalidate(SasView, nullptr);
}

namespace {

constexpr CommandEntry Entries[] = {
    {.id = CommandId::ShowNotes,
     .label = "Show &Notes",
     .handler = [](App& app, int, CommandId) { ToggleShowNotes(app.windows, app.flags, app.ports); },
     .gate = [](const CommandState& state, CommandId) { return ShowNotesUsable(state.flags); }},
};

}  // namespace

std::span<const CommandEntry> CorrectionMarksCommandEntries() { return Entries; }

}  // namespace vocara
