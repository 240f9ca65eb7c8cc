// Playing and recording through two alternating buffers per direction. The device hands each
// finished buffer back as a message to the WAV window; everything here runs on the interface
// thread between other messages, also while a long operation pumps them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/FileHandle.h"
#include "engine/wav/WavHeader.h"
#include "platform/AudioPort.h"
#include "platform/Message.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DeviceState.h"

namespace vocara {

struct App;
struct Screen;
struct WarningSwitch;
struct Devices;
struct OpenDocuments;
struct Commands;

// Starts playing samples first <= i < last of the WAV file `path` (last 0: to the end of its
// data) on the output device and format chosen in the audio settings. `positionBase` is the
// open recording's sample the file's first sample stands for. False when nothing plays: a
// missing or invalid file or a range outside its data say nothing, a device that refuses the
// format says "Not supported output format". A stream still playing out is stopped first.
bool PlayFile(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports,
              const std::string& path, std::uint32_t first, std::uint32_t last,
              std::uint32_t positionBase = 0);

// A buffer the output device is done with: refills it, or ends playback.
void OnOutputDone(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports,
                  const platform::Message& message);

// Records into `path`, created anew, with the input device and format chosen in the audio
// settings. False when the file cannot be created (silently) or the device refuses ("Not
// supported input format"; the empty file stays).
bool RecordStart(Commands& commands, OpenDocuments& docs, Devices& devices, platform::Platform& ports,
                 const std::string& path);

// A full input buffer: appended to the file and queued again; ends the recording after a
// Stop, when the file cannot take more, or when the device stopped.
void OnInputData(App& app, const platform::Message& message);

// WAV File / Record: the save dialog (asking before replacing a file, refusing the open WAV
// itself), closing the WAV, then RecordStart.
void RecordCommand(App& app);

// Stop: playback ends with the buffer that comes back next, or at once when it only plays
// out; a recording ends with the next buffer, which it keeps.
void StopCommand(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports);

// Space: while playing, the WAV cursor jumps to the play position, the view first fitted to
// the whole file when its scale is another.
void FollowPlayback(Screen& screen, Devices& devices, std::uint32_t& flags, platform::Platform& ports);

// When the program ends: a recording is finished as a whole file, playback stopped.
void CloseAudio(Commands& commands, WarningSwitch& warnings, Devices& devices, platform::Platform& ports);

// Why a command that plays did not: the output device's problem, when it has one.
std::string PlayRefusal(const CommandState& state, CommandId command);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> PlaybackCommandEntries();

}  // namespace vocara
