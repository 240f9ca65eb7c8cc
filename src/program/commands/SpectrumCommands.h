// The spectrum windows' commands and keys: the FFT range and the analysed note range set by key,
// the readout copied, the peaks marked and saved. The windows themselves are SpectrumViews.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Platform.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct DialogMemory;
struct Configuration;
struct OpenDocuments;
struct WindowStates;

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
void CopyStatusValue(WindowStates& windows, OpenDocuments& docs, std::uint32_t& flags,
                     platform::Platform& ports);

// Mark Peak (T: mark the peak under the cursor), Unmark Peak (U: clear the marks) and Find and Save Peaks
// (find and save peaks into a text file the user names).
void MarkPeakCommand(WindowStates& windows, platform::Platform& ports);
void ClearMarkedPeaks(WindowStates& windows, platform::Platform& ports);
void SavePeaks(WindowStates& windows, OpenDocuments& docs, Configuration& config, DialogMemory& dialogs,
               platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SpectrumCommandEntries();

}  // namespace vocara
