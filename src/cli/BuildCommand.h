// vocara-cli build: analyses a WAV file into a new SAS file, as SAS File / Build does.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Reports a usage problem followed by the usage text and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// build IN.wav OUT.sas [--settings FILE] [--instrument N|NAME] [--lowest NOTE] [--highest NOTE]
//                      [--chunk PERIODS] [--threshold PERCENT]
//
// The settings start as the built-in ones, or as the record of the settings file given (176
// bytes, refused as a usage error when short or out of range); then the other options apply in
// the order given, as the Settings dialog applies its selections: an instrument (table index or
// name) sets the note range from the instrument table ("User Defined" keeps it); a lowest or
// highest note (index 0..87 or a name from A0 to C8) makes the instrument "User Defined" and
// pulls the other end along when they cross. Numbers are clamped to their ranges (instrument
// 0..68, notes 0..87, chunk 1..5 periods, threshold 5..100 percent). OUT is replaced; IN
// itself is refused as OUT. A progress bar is drawn on stderr when it is a terminal; Ctrl-C
// stops the build and deletes OUT.
int BuildCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli
