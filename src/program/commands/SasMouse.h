// The mouse in the four windows: left-button presses, moves and releases.
//
// In the WAV, FFT and MFT windows the cursor follows the mouse, and with Ctrl held a rubber band
// selects a range (samples, frequencies, the analysis note range). In the SAS window the mouse
// is the editor: by edit mode it moves the cursor, sets or deletes time links, scales or shifts
// the SAS range, draws target amplitudes or pitches freehand or erases corrections; pressing on
// the pane splitter moves it in every mode. Edits change the page and the link table in memory
// and set SasPageDirty; they reach the file with the next write-back.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "base/Geometry.h"
#include "engine/sas/SasDocument.h"
#include "platform/Message.h"
#include "program/shell/CommandTable.h"
#include "program/shell/ViewState.h"

namespace vocara {

struct App;
struct Screen;
struct WindowStates;

// True from the press that started a drag in any window to its release. Meanwhile the window
// procedure refuses whatever could write back, read again or move the SAS page under the drag.

// Ends a held drag as its release would (the edit recorded, the capture released); the later
// release finds nothing held. For what cannot be refused, like a window resized under the drag.
void EndMouseDrag(App& app);

// The handler of MouseMove, LeftDown and LeftUp for the window `view`; the window procedure
// passes them while the program is not busy.
void SasMouse(App& app, int view, const platform::Message& message);

// Shows the edit mode in its three places: its toolbar button pressed and the others released,
// the radio mark on its Edit Mode item, its name in the SAS status strip.
void ShowEditMode(Screen& screen, std::uint32_t& flags, platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SasMouseCommandEntries();

}  // namespace vocara
