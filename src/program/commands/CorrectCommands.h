// Correction inside the program: WAV File / Correct (save mode, into a file the user names)
// and the rendering half of WAV Range / Play Corrected (play mode, into "CorrectedTemp.wav" in
// the folder of temporary renders), both keeping the formants or moving them with the pitch as
// WAV File / Keep Formants says. The render itself is Correct (processing/Correct.h).
#pragma once

#include <cstdint>
#include <span>

#include "platform/Platform.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct Commands;
struct DialogMemory;
struct Screen;
struct Configuration;

// The name of the corrected temporary file in the folder of temporary renders
// (TemporaryRenderPath: the user's cache folder, never the current folder).
inline constexpr const char* CorrectedTempName = "CorrectedTemp.wav";

// Renders start .. end of the open WAV with the open SAS. Play mode when CorrectForPlayback is
// set, save mode otherwise. Save mode asks for the name ("Save corrected WAV file"; cancel
// does nothing; the open WAV is refused with "Opened file can not be overwritten") and fits the
// WAV view to the whole file; the WAV cursor follows the render as its progress display.
// Every frame pumps one message, and AbortRequested (cleared at the start) stops the render:
// the save-mode file is deleted, the play-mode file kept but not marked current. A finished
// play-mode render stores the file as app.docs.correctedPath and sets CorrectedTempCurrent.
// CorrectForPlayback is cleared however the render ends. A save-mode file rendered whole is then
// measured against the SAS for the correction report (MeasureCorrection). Play mode without a
// folder for the temporary file says "Invalid File Handle" and renders nothing. The formants
// are kept when app.config.preferences.keepFormants is set or app.config.preferences.formantShift moves them.
void CorrectRange(Screen& screen, Configuration& config, DialogMemory& dialogs, std::uint32_t& flags,
                  platform::Platform& ports, std::uint32_t start, std::uint32_t end);

// Correct: busy; pending SAS edits written back; the whole recording in save mode.
void CorrectCommand(Screen& screen, Commands& commands, Configuration& config, DialogMemory& dialogs,
                    platform::Platform& ports);

// Play Corrected: pending SAS edits written back (the temporary file is then stale); a current
// temporary file is played again as it is; otherwise the WAV range is rendered in play mode
// (busy), played when the render finished, and measured for the correction report while it
// plays (still busy; Esc stops the measurement, not the sound).
void PlayCorrectedCommand(App& app);

// WAV File / Keep Formants: turns the choice over and shows it as the item's check
// mark. A temporary file rendered the other way is stale, so the next Play Corrected renders
// anew. The choice is written to the preferences file for the next start; a write that fails
// changes nothing for this run (the choice is no reason to stop the user's work).
void ToggleKeepFormants(Configuration& config, std::uint32_t& flags, platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> CorrectCommandEntries();

}  // namespace vocara
