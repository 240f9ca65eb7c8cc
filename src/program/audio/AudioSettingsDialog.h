// The modal Audio Device Settings dialog: picks the input and output device and the format
// used with each. Every list change goes straight into the live choice (App::audioChoice);
// OK keeps it only when both devices accept their format, Cancel returns to the choice of
// the last successful OK and probes the devices with it again.
#pragma once

#include <span>

#include "platform/DialogPort.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;

// Control ids of the dialog.
namespace audio_control {
inline constexpr int InputDevice = 101;  // drop-down list, the input devices in device-number order
inline constexpr int InputRate = 102;
inline constexpr int InputSampleSize = 103;
inline constexpr int InputChannel = 104;
inline constexpr int InputFormat = 105;
inline constexpr int OutputDevice = 106;  // drop-down list, the output devices in device-number order
inline constexpr int OutputRate = 107;
inline constexpr int OutputSampleSize = 108;
inline constexpr int OutputChannel = 109;
inline constexpr int OutputFormat = 110;
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
}  // namespace audio_control

// The layout of the dialog in dialog units.
platform::DialogTemplate AudioSettingsDialogTemplate();

// Runs the dialog modally, owned by the window `ownerView`.
void RunAudioSettingsDialog(App& app, int ownerView);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> AudioSettingsCommandEntries();

}  // namespace vocara
