// The S&AS Range menu and the whole-file operations of the SAS File menu in the program:
// Find (134), Set Left (135), Set Right (136), Select All (137), Time Correct Disable (138) and
// Enable (139), Global Edit with the "Change SAS range" dialog (140), Silence (124) and Global
// Clear (125). The frame work itself is in SasRangeOps, shared with `vocara-cli edit`; here are
// the dialog, the write-back before and the page read after, the undo record and the redraw.
#pragma once

#include <span>

#include "engine/sas/SasRangeOps.h"
#include "platform/DialogPort.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;

// Commands 134 to 140, 124 and 125.
void SasRangeCommand(App& app, int view, int command);

// The "Change SAS range" dialog (template 3): five values and six check boxes. OK reads and
// clamps the fields into `params` and returns the ticked operations (SasRangeOps bits); Cancel
// returns 0 and keeps `params`.
unsigned RunSasRangeDialog(App& app, int ownerView, SasRangeParams& params);
platform::DialogTemplate SasRangeDialogTemplate();

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SasRangeCommandEntries();

}  // namespace vocara
