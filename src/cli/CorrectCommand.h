// vocara-cli correct: renders the corrected recording from a WAV file and its SAS file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Reports a usage problem followed by the usage text and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// correct IN.wav IN.sas OUT.wav [--range A:B] [--time-correction on|off]
//
// Without --range the whole recording is rendered (WAV File / Correct); with it the samples
// A <= i < B as Play Corrected renders a range (A = B gives one sample). Time correction
// follows the timeCorrection setting stored in the SAS unless the option says otherwise. A SAS
// that does not fit the WAV fails with "WAV and SAS files does not fit.". OUT is replaced; the
// input files themselves are refused as OUT. A progress bar is drawn on stderr when it is a
// terminal.
int CorrectCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli
