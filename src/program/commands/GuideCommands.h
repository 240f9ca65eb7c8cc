// A guide melody in and the take's notes out, in the program: SAS File / Export Notes as MIDI...
// writes the take's notes (GuideMelody's TakeNotesAsMidi) into a Standard MIDI File the user
// names, whole or not at all; S&AS Range / Follow Guide... asks for a MIDI file and then the
// track, channel, pitch centre, drift, retune and timing, and runs SasFollowGuide over the SAS
// range (or the whole take) as one undo action, then says how many notes followed the guide and
// how many were left unpaired.
#pragma once

#include <span>

#include "platform/DialogPort.h"
#include "program/shell/CommandTable.h"

namespace vocara {

struct App;

// The Follow Guide dialog: track and channel (0 for all), pitch centre, drift, retune, timing.
platform::DialogTemplate FollowGuideDialogTemplate();

// The commands this module carries out, for the command table.
std::span<const CommandEntry> GuideCommandEntries();

}  // namespace vocara
