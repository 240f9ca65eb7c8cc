// Noise removal inside the program: capturing the noise profile from the WAV range (WAV Range /
// Noise= and Noise+) and writing a denoised copy of the recording (WAV File / Remove Noise).
// The capture and the removal themselves are engine functions (NoiseProfile.h).
#pragma once

#include <span>

#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct DialogMemory;
struct Screen;
struct Configuration;
struct OpenDocuments;
struct Commands;

// Noise= (reset) starts the profile again with the settings' noise length as the Settings
// dialog rounds it; Noise+ adds the range to the profile at its own length. Either way the
// profile is ready and the commands follow.
void CaptureNoiseCommand(Commands& commands, OpenDocuments& docs, Configuration& config, bool reset);

// Remove Noise, in busy mode: "Save denoised" asks for the name (cancel does nothing; the open
// WAV is refused), the WAV view shows the whole file with its cursor as progress display, and
// Esc stops the run, leaving no file.
void RemoveNoiseCommand(Screen& screen, Commands& commands, Configuration& config, DialogMemory& dialogs,
                        platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> NoiseCommandEntries();

}  // namespace vocara
