// The SAS window's scales and panes. One frame per column: column x shows frame firstFrame + x
// (firstFrame and the page of frames belong to the SAS document). Below the toolbar the window
// is split into an upper pane (status strip, bar ruler, amplitude plot) of upperPaneHeight rows
// and a lower pane (pitch plot) of lowerPaneHeight rows, each with its own vertical control:
//
//   amplitude: a peak-to-peak amplitude a is a bar of trunc(a x A) pixels standing on the pane
//              bottom, A = e^((9000 - p) x 0.001) x (paneBottom - plotTop) / (2^32 - 1), p the
//              upper control's position; at 9000 the full 32-bit range fills the plot.
//   pitch:     cents above A0; note 87 - q (q the lower control's position) sits on the pane's
//              centre row, and pitchScale pixels make one cent.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Platform.h"
#include "program/shell/CommandTable.h"
#include "program/shell/ViewGeometry.h"
#include "program/shell/ViewState.h"

namespace vocara {

struct Configuration;
struct SasSession;
struct OpenDocuments;
struct Screen;
struct WindowStates;

// The pane rows of the SAS window.
int SasAmplitudeBottom(const WindowStates& windows);  // last row of the amplitude plot
int SasPitchTop(const WindowStates& windows);         // first row of the pitch plot

// The pane split after a resize to a client of newHeight rows: the old ratio, but neither pane
// below 100 rows while the client holds 200; the lower pane keeps its 100 before the upper.
struct SasPaneSplit {
  int upper;
  int lower;
};
SasPaneSplit SplitSasPanes(int newHeight, int toolbarHeight, int upper, int lower);

// After every change of firstFrame, frame count or width: limits firstFrame to the frames,
// sets the bar and its fractions and the data width. Also what opening a SAS runs.
void SasViewHorizontalScrollUpdate(WindowStates& windows, SasSession& session, platform::Platform& ports);
// The part of the frames the window shows: width / frame count, 1 without frames.
double SasViewPageFraction(const WindowStates& windows, const SasSession& session);
// The horizontal bar and its fractions back to their state without a file.
void SasViewResetScrollBar(WindowStates& windows, platform::Platform& ports);

// The pitch pane of a SAS just opened: the middle of where the voice goes (the 5th to the 95th
// percentile of the voiced frames' pitch, so a slip or a breath does not count) on the centre
// row, at the built-in scale or squeezed as far as the pane needs to hold it, so the melody is in
// view at first sight whatever range the file was analysed over. A file with nothing voiced shows the
// range it was analysed over instead.
void SasViewShowSungPitches(WindowStates& windows, SasSession& session, Configuration& config,
                            platform::Platform& ports);

// Pitch Stretch (twice the rows per cent, at most 1) and Pitch Sqeeze (half, at least the
// smallest scale).
void SasViewPitchScale(WindowStates& windows, platform::Platform& ports, bool stretch);

// Sync to SAS: the WAV cursor to the SAS cursor's frame, and the WAV view to the SAS time
// scale around it.
void SyncWavToSas(WindowStates& windows, SasSession& session, OpenDocuments& docs, platform::Platform& ports);
// Sync to WAV: the SAS page around the WAV cursor, with the SAS cursor on it.
void SyncSasToWav(Screen& screen, platform::Platform& ports);
// Set Ruler Origin: the ruler origin to the SAS cursor's sample position; the ruler is redrawn.
void SetRulerOrigin(WindowStates& windows, SasSession& session, Configuration& config,
                    platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SasViewCommandEntries();

}  // namespace vocara
