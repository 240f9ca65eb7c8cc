// Note mode (F6): the notes of the take as objects. A click chooses a note (Shift adds or takes
// away, a Ctrl band chooses the notes it touches, Ctrl+A every note of the SAS range); a drag
// moves the chosen notes up or down, their centre snapping to semitones (with Alt held, in
// cents); Page Up and Page Down move them by a semitone, Ctrl with them by a cent; Shape Notes
// sets their pitch centre, drift and vibrato. Each of these that changes targets is one action of
// the undo journal and goes through the file (RunFileOperation), by the engine's note functions
// (SasShiftNotes, SasShapeNotes) over whole notes: a note cut by the page's edge or longer than
// a page is changed as a whole, and no frame outside the notes and their ramps changes. F8 with
// notes chosen in Note mode renders and plays their span.
#pragma once

#include <cstdint>
#include <span>
#include <utility>

#include "platform/DialogPort.h"
#include "platform/Message.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct DialogMemory;
struct Commands;
struct SasSession;
struct WindowStates;

// The shift a vertical drag of `raw` cents gives a note whose target centre is `centre` (cents
// above A0): the centre lands on the semitone nearest centre + raw, or with `free` the shift is
// whole cents. Less than half a semitone, without `free`: no shift.
double NoteDragCents(double centre, double raw, bool free);

// A press in the SAS window's pitch pane in Note mode: the note under it chosen (alone, or with
// Shift added or taken away) and the drag it starts: DragNote on a note, DragCursor elsewhere
// (which leaves the choice empty unless Shift is held), 0 when Shift took the note away.
std::uint32_t NotePress(Commands& commands, WindowStates& windows, SasSession& session,
                        platform::Platform& ports, const platform::Message& message);
// A move of that drag: the outlines of the chosen notes follow the mouse.
void NoteDragMove(WindowStates& windows, SasSession& session, platform::Platform& ports,
                  const platform::Message& message);
// Its release: the chosen notes moved by the shift the outlines show, as one undo action.
void NoteDragEnd(Commands& commands, SasSession& session, DialogMemory& dialogs, platform::Platform& ports);

// After a Ctrl band over columns left .. right - 1 in Note mode: the notes it touches are chosen.
void ChooseNotesInColumns(Commands& commands, WindowStates& windows, SasSession& session,
                          platform::Platform& ports, int left, int right);

// Whether F8 plays the chosen notes: Note mode with notes chosen.
bool NotesChosenToPlay(const WindowStates& windows, const SasSession& session);
// The samples first <= i < end the chosen notes span, within the recording of `sampleCount`.
std::pair<std::uint32_t, std::uint32_t> ChosenNotesSamples(const SasSession& session,
                                                           std::uint32_t sampleCount);

// The Shape Notes dialog: move the pitch centre (a check box) by a share (%) toward the nearest
// note of the last Snap to Scale's key and scale, drift (%) and vibrato (%).
platform::DialogTemplate ShapeNotesDialogTemplate();

// The commands this module carries out, for the command table.
std::span<const CommandEntry> NoteCommandEntries();

}  // namespace vocara
