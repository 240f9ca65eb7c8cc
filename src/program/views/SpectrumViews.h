// The FFT and MFT windows inside the program: their refreshes at the WAV cursor, the keys and
// commands that act on them, and what their status strips and plots show. The spectrum, the
// note strengths, the readouts and the peak list themselves are engine functions (Spectrum.h).
//
// The FFT window's axis shows bin (firstPixel + x) / pixelsPerBin in column x; the bin under
// the cursor is what the readouts, T and the range keys work on. The MFT window shows the 88
// keys side by side, one 88th of the client width each.
#pragma once

#include <cstdint>

#include "platform/Canvas.h"

namespace vocara {

struct App;

// Installs the note-spectrum refresh as App::openers.refreshNoteSpectrum.
void InstallSpectrumViews(App& app);

// The bin under the FFT cursor, (firstPixel + cursorX) / pixelsPerBin, within 0 .. N / 2.
std::int32_t FftCursorBin(const App& app);

// Commands 157-167 (sizes), 169-176 (window functions), 177-179 (frequency scale) and 181
// (View / FFT): the toolbar's check marks, the axis laid out anew with the frequency under the
// cursor kept at the cursor's column, the selected bins scaled with the size, the spectrum at
// the WAV cursor, and the window shown on top. A size command also makes the WAV range the
// analysed span.
void RefreshSpectrumView(App& app, int command);

// After the WAV cursor moved (arrow keys, a click in the WAV window): a visible FFT window
// computes the spectrum there and the WAV range becomes the analysed span; a visible MFT
// window measures the note strengths there.
void FollowCursor(App& app);

// After the recording was opened or closed: with a file, the cursor sample of its own view
// (which the status strip shows) and the visible FFT and MFT windows analysed there; without
// one, the spectrum and the note strengths emptied, so neither window keeps another
// recording's readouts.
void SpectraFollowRecording(App& app);

// Command 168 (View / MFT): the MFT window shown on top with the note strengths at the WAV
// cursor.
void ShowNoteSpectrumView(App& app);

// The note strengths at the WAV cursor for the settings' note range; the MFT cursor moves to
// the detected key and the window is redrawn.
void RefreshNoteSpectrum(App& app);

// The end of a mouse band in the FFT window: its columns become the selected bins.
void SetFftRangeFromBand(App& app);

// Keys of the spectrum windows: L (right = false) and R in the FFT window set an end of the
// selected bins; L and R in the MFT window set the lowest or highest analysed note.
void FftRangeKey(App& app, bool right);
void MftNoteKey(App& app, bool highest);

// The analysed note range set as the MFT window's L and R keys set it (Detect Note Range):
// instrument User Defined, the notes measured again at the WAV cursor, the MFT plot redrawn and
// an open Settings dialog showing the new selections. The MFT cursor stays where it is.
void SetAnalysedNoteRange(App& app, int lowestNote, int highestNote);

// C in any window: the FFT amplitude readout (status field 33) onto the clipboard; an empty
// readout leaves the clipboard as it is.
void CopyStatusValue(App& app);

// Commands 183 (T: mark the peak under the cursor), 184 (U: clear the marks) and 182 (find
// and save peaks into a text file the user names).
void MarkPeakCommand(App& app);
void ClearMarkedPeaks(App& app);
void SavePeaks(App& app);

// The value texts of the FFT (fields 27-33) and MFT (fields 37-39) status strips.
void UpdateFftValues(App& app);
void UpdateMftValues(App& app);

// The plot bodies, before the selection band and the cursor line: the FFT spectrum as one bar
// per column with the marked peaks capped in blue over `columns` columns; the MFT key
// strengths as blue bars over the analysed key range.
void PaintFftPlot(App& app, platform::Canvas& canvas, int columns);
void PaintMftPlot(App& app, platform::Canvas& canvas);

}  // namespace vocara
