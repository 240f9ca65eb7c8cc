// The in-tune subcommands: snap, note, midi, guide, reanalyse, repair and report.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CorrectCommand.h"

namespace vocara::cli {

// snap IN.sas --key KEY --scale chromatic|major|minor|harmonic-minor|custom:0,2,4,5,7,9,11
//      [--reference HZ] [--centre P] [--drift P] [--retune MS] [--range A:B]
// Snap to Scale on frames A <= i < B (all by default), in place; values read and clamped as the
// dialog reads them.
int SnapCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

// note IN.sas (--at FRAME | --range A:B) (--move CENTS | --to NOTE) [--vibrato P] [--drift P]
//      [--retune MS]
// The note holding FRAME, or every note starting in frames A <= i < B, shaped (vibrato and drift
// from the pitch as sung, the note kept where it stands) and then moved by CENTS or onto NOTE, in
// place. No note there is a failure that changes nothing.
int NoteCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

// midi IN.sas OUT.mid [--bend]
// The take's notes as a Standard MIDI File (GuideMelody, StandardMidiFile), written whole or not
// at all. A take without notes is a failure that writes nothing.
int MidiCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

// guide IN.sas GUIDE.mid [--track N] [--channel N] [--centre P] [--drift P] [--retune MS]
//       [--timing P] [--range A:B]
// The take follows the guide's melody (SasFollowGuide) on frames A <= i < B, in place; the notes
// left unpaired, and those whose time link could not be set, are listed on stderr.
int GuideCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

// reanalyse IN.wav IN.sas [--range A:B] --lowest NOTE --highest NOTE
// Re-analyse Range on frames A <= i < B (all by default), in place.
int ReanalyseCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

// repair IN.wav IN.sas [--range A:B]
// Repair Octave Jumps on frames A <= i < B, in place; prints "repaired F frames in J jumps".
int RepairCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  UsageReporter usage);

// report IN.wav IN.sas OUT.wav [--range A:B] [--time-correction on|off] [--json]
// How in tune OUT (rendered by correct with the same range and time correction) came out.
int ReportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  UsageReporter usage);

}  // namespace vocara::cli
