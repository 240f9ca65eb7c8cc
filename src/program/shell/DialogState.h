// What the dialogs keep over the run of the program: their last values, the one file-name
// buffer every file dialog shares, and the modeless dialogs that are open. Plain state.
#pragma once

#include <memory>
#include <string>

#include "engine/processing/Synthesis.h"
#include "engine/sas/SasRangeOps.h"
#include "engine/sas/ScaleSnap.h"
#include "platform/DialogPort.h"

namespace vocara {

// What the program keeps of the dialog for the whole run: the parameters survive closing and
// reopening it; the procedure outlives the dialog it drives.
struct SynthesisSession {
  SynthesisParameters parameters;
  platform::DialogHandle* dialog = nullptr;
  std::unique_ptr<platform::DialogProcedure> procedure;
};

struct DialogMemory {
  // The open General Settings dialog, so that keys and mouse in other windows can refresh its
  // note lists (FillSettingsControls); null while it is closed.
  platform::DialogHandle* settingsDialog = nullptr;
  // The values of the "Change SAS range" dialog, kept for the run of the program.
  SasRangeParams sasRangeParams;
  // The values of the Snap to Scale dialog, kept for the run of the program.
  ScaleSnapParams snapParams;
  // The Wave Synthesis dialog and its parameters, kept for the run of the program.
  SynthesisSession synthesis;
  // The name buffer of the one file dialog record all file dialogs share (at most 259
  // characters): a dialog that does not clear it starts with the last name chosen.
  std::string fileDialogName;
};

}  // namespace vocara
