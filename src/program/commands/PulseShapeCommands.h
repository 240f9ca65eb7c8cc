// The Pulse Shape menu: Shape+ (F9) adds the 60 samples around the WAV cursor to the shape the
// App keeps, Export Shape (F10) writes it normalised. The shape itself is engine code
// (PulseShape.h).
#pragma once

#include <span>

#include "program/shell/CommandTable.h"

namespace vocara {

struct App;
struct DialogMemory;
struct OpenDocuments;
struct Commands;

// Shape+. A cursor too near either end adds nothing and changes no state.
void AddPulseCommand(Commands& commands, OpenDocuments& docs);

// Export Shape. A shape without form (all elements equal) exports nothing and stays. Otherwise
// "Save Pulse Shape" asks for the name: a cancelled dialog discards the shape, a written file
// clears it for the next one. A file that cannot be created or written says so and keeps the
// raw sums for another try, so that the user's additions are not lost with nothing saved.
void ExportPulseShapeCommand(Commands& commands, OpenDocuments& docs, DialogMemory& dialogs,
                             platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> PulseShapeCommandEntries();

}  // namespace vocara
