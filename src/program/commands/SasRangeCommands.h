// The S&AS Range menu and the whole-file operations of the SAS File menu in the program:
// Find, Set Left, Set Right, Select All, Time Correct Disable and Enable, Global Edit with the
// "Change SAS range" dialog, Silence and Global Clear. The frame work itself is in SasRangeOps, shared with
// `vocara-cli edit`; here are the dialog, the write-back before and the page read after, the undo record and
// the redraw.
#pragma once

#include <span>

#include "engine/sas/SasRangeOps.h"
#include "platform/DialogPort.h"
#include "platform/Platform.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;

// The "Change SAS range" dialog (template 3): five values and six check boxes. OK reads and
// clamps the fields into `params` and returns the ticked operations (SasRangeOps bits); Cancel
// returns 0 and keeps `params`.
unsigned RunSasRangeDialog(platform::Platform& ports, int ownerView, SasRangeParams& params);
platform::DialogTemplate SasRangeDialogTemplate();

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SasRangeCommandEntries();

}  // namespace vocara
