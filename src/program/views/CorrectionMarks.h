// The correction report in the SAS window: for each note of the last measured render, a thin
// line at the pitch the corrected file reached, over the note's frames, with the error against
// the target in cents above it when the text fits. Drawn over the pitch pane, after its grid.
#pragma once

#include "platform/Canvas.h"

namespace vocara {

struct App;

// The colour of the marks: apart from the bars' olive, blue and black and the grid's red and
// yellow.
inline constexpr platform::Rgb CorrectionMarkColour{204, 0, 204};

// The pitch pane's rows: a pitch p stands trunc(p x scale - base) rows above `bottom`, as its
// bars do; a mark that would fall outside top < row < bottom is left out.
struct PitchRows {
  int top = 0;
  int bottom = 0;
  double scale = 0;
  int base = 0;
};

// The marks over columns first .. end - 1 of the `columns` the plot shows. A label is placed by
// the note's columns of the whole plot, so a repaint of a few columns draws the same pixels of
// it as a repaint of the whole pane. Nothing without a shown report; only frames on the page
// are marked. Allocates nothing.
void DrawCorrectionMarks(const App& app, platform::Canvas& canvas, int first, int end, int columns,
                         const PitchRows& rows);

}  // namespace vocara
