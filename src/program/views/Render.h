// Painting of the windows: the status strip of every window, the WAV waveform, the SAS bar
// ruler, amplitude and pitch plots and time links, and the selection band and cursor line every
// plot ends with. Everything is drawn through a RasterCanvas into the window's backing image;
// a Paint message repaints the region it names, and the cursor line, the status values and the
// ruler are also drawn directly and then presented.
//
// The selection band and the cursor line are drawn in the inverting mode, so drawing either a
// second time removes it exactly; this is how the cursor moves without a repaint.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/sas/SasRecords.h"
#include "platform/Canvas.h"
#include "platform/Platform.h"

namespace vocara {

struct App;
struct Screen;
struct Devices;
struct OpenDocuments;
struct Configuration;
struct SasSession;
struct WindowStates;

// The paint handler: fills the region with the window colour, then the status strip and the
// plot, all clipped to the region. In the SAS window a region that reaches into a pane redraws
// that pane.
void PaintWindow(Screen& screen, int view, const platform::Rect& rect);

// The status strip of a window, or its notice; without full only its value fields (which end a
// notice). The WAV strip adds a missing sound device after its fields where it has room.
void PaintStatus(Screen& screen, platform::Canvas& canvas, int view, bool full);

// The plot of the window: body, then selection band and cursor line.
void PaintPlot(Screen& screen, platform::Canvas& canvas, int view);

// One column of a two-value bar plot from `bottom` up to `top`: olive for what both values
// share, then blue for a surplus of the second value or black for a surplus of the first,
// white above. Values are limited to the height bottom - top.
void DrawColumnBar(platform::Canvas& canvas, int x, int top, int bottom, int first, int second);

// The SAS window's bar ruler: beats, divisions and bars with their numbers (negative before the
// origin bar).
void DrawBarRuler(WindowStates& windows, SasSession& session, const Configuration& config,
                  platform::Canvas& canvas);
// Draws the ruler straight into the SAS window and shows it.
void RedrawBarRuler(WindowStates& windows, SasSession& session, const Configuration& config,
                    platform::Platform& ports);

// Moves the window's cursor line to its cursorX, first kept within the data and the window,
// and rewrites the status values, all without a repaint. Long operations call it on the WAV
// window as their progress display.
void MoveCursor(Screen& screen, int view);

// The progress display of long operations: the WAV cursor line moves to the column of a
// sample position (a 16-bit column, as every cursor column).
void MoveProgressCursor(Screen& screen, std::uint64_t position);
// The Left and Right keys: the cursor one column to the left (-1) or right (+1).
void CursorStep(Screen& screen, int view, int step);

// A column count the drawing loops may use: the data, the window and the 1281-entry arrays.
int PlotColumns(const WindowStates& windows, int view);

// Rows per peak-to-peak unit in the SAS amplitude pane (the upper control's scale).
double SasAmplitudeScale(const WindowStates& windows);
// Pitch bars stand on the pitch pane's bottom row; the base shifts them so that the centre note
// (87 - the lower control's position) reaches the pane's centre row: a pitch p stands
// trunc(p x pitchScale - base) rows above the bottom.
int SasPitchBase(const WindowStates& windows, int top, int bottom);

// Draws the SAS columns first .. end - 1 of the amplitude pane (or the pitch pane) again after
// their target values changed, and shows them. `before` holds the records of those columns as
// they were drawn; only the rows between each column's old and new target bar are drawn again,
// with what lies over them (time links, pitch grid, selection band, cursor line) as a paint of
// both panes leaves it. The mouse editing redraws with it the columns it changed.
void RedrawSasColumns(Screen& screen, int first, int end, bool amplitude, std::span<const SasFrame> before);
// Draws one time link across the amplitude plot in the inverting mode and shows it; drawing it
// again removes it.
void DrawTimeLink(Screen& screen, const TimeLink& link);

// Rewrites the status value fields straight into the window and shows them.
void RepaintStatusValues(Screen& screen, int view);
// Says `text` in the window's status strip in place of its fields (what a command did, or why
// it did nothing) until the next command, or new values when the cursor moves.
void ShowStatusNotice(Screen& screen, int view, std::string text);
void ClearStatusNotices(Screen& screen);
// Asks for a repaint of everything below the status strip (the SAS window: both panes).
void InvalidateBelowStatus(Screen& screen, int view);

// A pitch in cents above A0 as a note and the cents against it: note (p + 50) / 100, limited
// to "A0" .. "C8".
struct NoteReading {
  std::string_view name;
  int cents;
};
NoteReading NoteOfPitch(int cents);

// The value texts of the WAV (fields 5-9) or SAS (fields 16-23) status strip. Writing the WAV
// values also moves the WAV cursor to the start of the cursor column.
void UpdateStatusValues(WindowStates& windows, SasSession& session, OpenDocuments& docs,
                        const Configuration& config, int view);

}  // namespace vocara
