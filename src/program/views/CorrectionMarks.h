// Marks over the SAS window's pitch pane, one per note: after a measured render the correction
// report's (a thin line at the pitch the corrected file reached, over the note's frames, with
// the error against the target in cents above it), otherwise the notes as sung on the page shown
// (a line at the source centre over the held frames, with the note's name and its cents off it).
// A label is drawn when it fits over its line. Drawn after the pane's grid.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Canvas.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct SasSession;
struct WindowStates;

// The colour of the correction marks: apart from the bars' olive, blue and black and the grid's
// red and yellow.
inline constexpr platform::Rgb CorrectionMarkColour{204, 0, 204};
// The colour of the notes as sung: apart from the same and from the correction marks' magenta.
inline constexpr platform::Rgb NoteMarkColour{0, 90, 110};

// View / Show Notes: a check item (on at start, for the run of the program). Like Detect Note
// Range it has its own gate.

// The pitch pane's rows: a pitch p stands trunc(p x scale - base) rows above `bottom`, as its
// bars do; a mark that would fall outside top < row < bottom is left out.
struct PitchRows {
  int top = 0;
  int bottom = 0;
  double scale = 0;
  int base = 0;
};

// The marks over columns first .. end - 1 of the `columns` the plot shows. A label is placed by
// its line's columns of the whole plot, so a repaint of a few columns draws the same pixels of
// it as a repaint of the whole pane. Only frames on the page are marked. Both allocate nothing.
// The correction marks: nothing without a shown report.
void DrawCorrectionMarks(const WindowStates& windows, const SasSession& session, platform::Canvas& canvas,
                         int first, int end, int columns, const PitchRows& rows);
// The notes as sung: nothing while Show Notes is off, a correction report is shown, Note mode
// shows the notes its own way or the page's notes have not been listed since the page was read.
void DrawNoteMarks(const WindowStates& windows, const SasSession& session, platform::Canvas& canvas,
                   int first, int end, int columns, const PitchRows& rows);

// Lists the notes of the page shown into app.session.pageNotes (ListNotes over the page's frames) when
// they are stale and would be drawn (as marks, or in Note mode as its bars). Not while busy: the operation
// may be changing the file, and the marks wait for the paint after it. A listing that fails leaves no notes.
void RefreshPageNotes(WindowStates& windows, SasSession& session);

// The gate of Show Notes: a SAS open and not busy.
bool ShowNotesUsable(std::uint32_t flags);
// View / Show Notes: turns the marks of the notes as sung on or off and redraws the pitch pane.
void ToggleShowNotes(WindowStates& windows, std::uint32_t& flags, platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> CorrectionMarksCommandEntries();

}  // namespace vocara
