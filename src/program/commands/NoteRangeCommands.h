// Detect Note Range (View menu): the analysed note range taken from the open recording, so that
// a Build names a low or high voice's notes in their own octave without choosing the notes by
// hand. The search itself is the engine's DetectNoteRange.
#pragma once

#include <cstdint>
#include <span>

#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;

// The gate: a recording open and not busy.
bool DetectNoteRangeUsable(std::uint32_t flags);

// Detect Note Range: the range sung in the recording in busy mode (Esc stops it and changes nothing),
// then set as the MFT window's L and R keys set it (instrument User Defined, the MFT redrawn, an
// open Settings dialog refreshed). A recording without notes leaves the range as it was and
// says so. Refused by the gate.
void DetectNoteRangeFromRecording(App& app);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> NoteRangeCommandEntries();

}  // namespace vocara
