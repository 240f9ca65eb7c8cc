// The FFT and MFT windows inside the program: their refreshes at the WAV cursor, the keys and
// commands that act on them, and what their status strips and plots show. The spectrum, the
// note strengths, the readouts and the peak list themselves are engine functions (Spectrum.h).
//
// The FFT window's axis shows bin (firstPixel + x) / pixelsPerBin in column x; the bin under
// the cursor is what the readouts, T and the range keys work on. The MFT window shows the 88
// keys side by side, one 88th of the client width each.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Canvas.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct SasSession;
struct Commands;
struct Screen;
struct OpenDocuments;
struct Configuration;
struct WindowStates;

// The bin under the FFT cursor, (firstPixel + cursorX) / pixelsPerBin, within 0 .. N / 2.
std::int32_t FftCursorBin(const WindowStates& windows);

// The size button of a transform of `size` points.
CommandId FftSizeCommand(std::uint32_t size);

// What an FFT size, window function or frequency scale command changes; nothing for View / FFT.
struct SpectrumChange {
  int sizeStep = -1;    // a new size, 1024 << sizeStep samples
  int windowKind = -1;  // a new window function
  double zoom = -1;     // the frequency scale times zoom, 0 for one column per bin; < 0 kept
};
// The change made, then the toolbar's check marks, the axis laid out anew with the frequency
// under the cursor kept at the cursor's column, the selected bins scaled with the size, the
// spectrum at the WAV cursor, and the window shown on top. A new size also makes the WAV range
// the analysed span.
void RefreshSpectrumView(Commands& commands, OpenDocuments& docs, Configuration& config,
                         platform::Platform& ports, const SpectrumChange& change);

// After the WAV cursor moved (arrow keys, a click in the WAV window): a visible FFT window
// computes the spectrum there and the WAV range becomes the analysed span; a visible MFT
// window measures the note strengths there.
void FollowCursor(Commands& commands, OpenDocuments& docs, Configuration& config, platform::Platform& ports);

// After the recording was opened or closed: with a file, the cursor sample of its own view
// (which the status strip shows) and the visible FFT and MFT windows analysed there; without
// one, the spectrum and the note strengths emptied, so neither window keeps another
// recording's readouts.
void SpectraFollowRecording(Commands& commands, SasSession& session, OpenDocuments& docs,
                            Configuration& config, platform::Platform& ports);

// View / MFT: the MFT window shown on top with the note strengths at the WAV
// cursor.
void ShowNoteSpectrumView(WindowStates& windows, OpenDocuments& docs, Configuration& config,
                          std::uint32_t& flags, platform::Platform& ports);

// The note strengths at the WAV cursor for the settings' note range; the MFT cursor moves to
// the detected key and the window is redrawn.
void RefreshNoteSpectrum(WindowStates& windows, OpenDocuments& docs, Configuration& config,
                         std::uint32_t& flags, platform::Platform& ports);

// The end of a mouse band in the FFT window: its columns become the selected bins.
void SetFftRangeFromBand(Screen& screen, std::uint32_t& flags);

// The FFT range flag from the FFT selection; the MFT note strengths measured at the WAV cursor;
// the key under the MFT cursor.
void SetFftRangeFlag(WindowStates& windows, std::uint32_t& flags);
void MeasureNotes(WindowStates& windows, OpenDocuments& docs, Configuration& config, std::uint32_t& flags);
int KeyAtMftCursor(const WindowStates& windows);

// The value texts of the FFT (fields 27-33) and MFT (fields 37-39) status strips.
void UpdateFftValues(WindowStates& windows, const OpenDocuments& docs, std::uint32_t& flags);
void UpdateMftValues(WindowStates& windows, const OpenDocuments& docs, const Configuration& config,
                     std::uint32_t& flags);

// The plot bodies, before the selection band and the cursor line: the FFT spectrum as one bar
// per column with the marked peaks capped in blue over `columns` columns; the MFT key
// strengths as blue bars over the analysed key range.
void PaintFftPlot(WindowStates& windows, std::uint32_t flags, platform::Canvas& canvas, int columns);
void PaintMftPlot(WindowStates& windows, const Configuration& config, platform::Canvas& canvas);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SpectrumViewCommandEntries();

}  // namespace vocara
