// What the dialogs keep over the run of the program: their last values, the one file-name
// buffer every file dialog shares, and the modeless dialogs that are open. Plain state.
#pragma once

#include <memory>
#include <string>

#include "engine/processing/GuideMelody.h"
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

// The values of the Shape Notes dialog: the pitch centre's share toward the nearest note of the
// last Snap to Scale's scale (not set: each note stays where its targets stand), the share of
// the slow drift taken out and the vibrato kept, in percent.
struct NoteShapeParams {
  bool moveCentre = false;
  double centre = 100;
  double drift = 0;
  double vibrato = 100;
};

// The values of the Follow Guide dialog: the guide's track and channel (0: all) and how far the
// take follows it.
struct GuideDialogValues {
  int track = 0;
  int channel = 0;
  GuideParams params;
};

struct DialogMemory {
  // The open General Settings dialog, so that keys and mouse in other windows can refresh its
  // note lists (FillSettingsControls); null while it is closed.
  platform::DialogHandle* settingsDialog = nullptr;
  // The values of the "Change SAS range" dialog, kept for the run of the program.
  SasRangeParams sasRangeParams;
  // The values of the Snap to Scale dialog, kept for the run of the program.
  ScaleSnapParams snapParams;
  // The values of the Shape Notes dialog, kept for the run of the program.
  NoteShapeParams noteShape;
  // The values of the Follow Guide dialog, kept for the run of the program.
  GuideDialogValues guide;
  // The Wave Synthesis dialog and its parameters, kept for the run of the program.
  SynthesisSession synthesis;
  // The name buffer of the one file dialog record all file dialogs share (at most 259
  // characters): a dialog that does not clear it starts with the last name chosen.
  std::string fileDialogName;
};

}  // namespace vocara
