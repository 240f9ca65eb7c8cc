// vocara-cli build: analyses a WAV file into a new SAS file, as SAS File / Build does.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/Settings.h"
#include "cli/Cli.h"

namespace vocara::cli {

// Reports a usage problem (and where to find help) and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// build IN.wav OUT.sas [--settings FILE] [--instrument N|NAME|auto] [--lowest NOTE]
//                      [--highest NOTE] [--chunk PERIODS] [--threshold PERCENT]
//
// The settings start as the built-in ones, or as the record of the settings file given (176
// bytes, refused as a usage error when short or out of range); then the other options apply in
// the order given, as the Settings dialog applies its selections: an instrument (table index or
// name) sets the note range from the instrument table ("User Defined" keeps it); a lowest or
// highest note (index 0..87 or a name from A0 to C8) makes the instrument "User Defined" and
// pulls the other end along when they cross. Numbers are clamped to their ranges (instrument
// 0..68, notes 0..87, chunk 1..5 periods, threshold 5..100 percent), each change said on stderr
// after the run. OUT is replaced; IN itself is refused as OUT. A progress bar is drawn on stderr
// when it is a terminal; Ctrl-C stops the build and deletes OUT.
//
// --instrument auto takes the note range sung in IN (DetectNoteRange) at that place in the order,
// as User Defined with those notes; the range found is said on stderr, and a recording in which
// no notes are found is refused (exit 1) rather than built over a range that may name every note
// an octave off.
int BuildCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

// instruments: the instrument table, one line each: index TAB name TAB lowest note TAB highest
// note ("-" for User Defined, which has no range of its own).
int InstrumentsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       UsageReporter usage);

// The settings record of a settings file, taken only as a whole, as the program takes it at
// start: 176 bytes, an instrument that is not negative and a record the settings validation
// accepts; nothing otherwise. A field the Settings dialog would not keep (a whiteNoise that is
// no number or outside 0 .. 100) is limited as the dialog limits it (FitToDialogRanges) and
// noted in `adjusted`. Shared by the subcommands that take --settings.
std::optional<GeneralSettings> ReadSettingsFile(const std::string& path, Adjustments& adjusted);

// A note as an index 0..87 (clamped) or a name from A0 to C8 (ParseNoteName: sharps or flats,
// letters in either case).
std::optional<int> ParseNote(std::string_view text);
// The same for `option`, telling `adjusted` when an index was clamped.
std::optional<int> ReadNote(std::string_view option, std::string_view text, Adjustments& adjusted);

}  // namespace vocara::cli
