// The note layer of Note mode: every note of the page drawn over the pitch pane as a bar with cut
// corners at its pitch centre over its frames, so that a singer sees the notes sung and where
// they are meant to go, and can take hold of them. A note whose target centre lies where it was
// sung shows one filled bar; one whose target was moved shows the sung centre as an outline
// and the target centre filled. The label above the bar names the target centre's nearest note
// and its cents off it, when it fits. Chosen notes are filled in the highlight colour; while
// they are dragged, their outlines at the pitch the drag has reached are drawn in the inverting
// mode over it all.
#pragma once

#include "base/Geometry.h"
#include "platform/Canvas.h"
#include "program/views/CorrectionMarks.h"

namespace vocara {

struct App;
struct SasSession;
struct WindowStates;

inline constexpr platform::Rgb NoteBarFill{170, 215, 225};
inline constexpr platform::Rgb ChosenNoteFill{255, 190, 80};
inline constexpr platform::Rgb ChosenNoteEdge{150, 75, 0};

// The pitch pane's rows as the pane draws them now.
PitchRows SasPitchRows(const WindowStates& windows);

// The layer over columns first .. end - 1 of the `columns` the plot shows, clipped to them: a
// repaint of a few columns draws the same pixels as one of the whole pane. Nothing outside Note
// mode or while the page's notes are not listed. Allocates nothing.
void DrawNoteLayer(const WindowStates& windows, const SasSession& session, platform::Canvas& canvas,
                   int first, int end, int columns, const PitchRows& rows);

// The index in app.session.pageNotes of the note whose bar (target or sung centre) lies within reach
// of the point (x, y) of the SAS window; -1 for none.
int NoteAtPoint(const WindowStates& windows, const SasSession& session, int x, int y);

// Whether the page's note at `index` is chosen (it overlaps a chosen note's frames).
bool PageNoteChosen(const SasSession& session, int index);

// The drag's outlines: the chosen notes on the page drawn at their target centre plus `cents` in
// the inverting mode and shown at once; drawing them again at the same cents removes them.
void ToggleNoteOutlines(WindowStates& windows, SasSession& session, platform::Platform& ports, double cents);

}  // namespace vocara
