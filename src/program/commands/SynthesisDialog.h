// WAV File / Generate: the modeless "Wave Synthesis" dialog. Its 40 edit fields are the
// generator's parameters (control id = 101 + index); "Generate" writes "GeneratedTemp.wav" into
// the folder of temporary renders, "Save As..." a file the user names, and either way the new
// file is opened as the current WAV.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "engine/processing/Synthesis.h"
#include "platform/DialogPort.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogState.h"

namespace vocara {

struct App;

namespace synthesis_control {
inline constexpr int FirstField = 101;  // + parameter index
inline constexpr int Generate = 1;
inline constexpr int SaveAs = 4;
}  // namespace synthesis_control

inline constexpr const char* GeneratedTempName = "GeneratedTemp.wav";

// The layout of the dialog in dialog units.
platform::DialogTemplate SynthesisDialogTemplate();

// Generate: creates the dialog owned by `ownerView` when it is closed, otherwise brings it
// to the top.
void OpenSynthesisDialog(App& app, int ownerView);

// Writes the wave of the session's parameters (to the temporary file with GenerateToTemp,
// otherwise to a name the save dialog asks for) and opens it. The temporary file goes to the
// per-user cache folder (TemporaryRenderPath), never the current folder.
void GenerateWave(App& app);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> SynthesisCommandEntries();

}  // namespace vocara
