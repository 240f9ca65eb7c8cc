// SAS File / Build in the program.
#pragma once

#include <span>

#include "program/shell/CommandTable.h"

namespace vocara {

struct App;

// Build in the program: in busy mode, the save dialog "Build SAS as...", the refusal of
// the open SAS as the target, the WAV view fitted to the whole file, then the build with the
// WAV cursor as its progress display and Esc as its stop.
void SasBuildCommand(App& app);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> BuildCommandEntries();

}  // namespace vocara
