// vocara-cli denoise: captures a noise profile from ranges of a WAV file and writes the
// recording with that noise removed, as WAV Range / Noise=, Noise+ and WAV File / Remove Noise do.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Reports a usage problem followed by the usage text and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// denoise IN.wav OUT.wav --noise A:B [--add A:B]... [--noise-length L] [--white-noise PERCENT]
//                        [--gain G] [--settings FILE]
//
// Noise= over the samples A <= i < B of --noise, Noise+ over each --add range in the order
// given, then Remove Noise of the whole recording into OUT. The settings are the built-in ones
// or FILE's (as build --settings takes it); the options set the noise sample length, white
// noise and gain as the Settings dialog takes them (length clamped to 1024..32768 and rounded
// down to a power of two, white noise 0..100 percent, gain 0..5). A range the program would not
// let the user capture from (empty, past the data, or shorter than the noise sample length) is
// a usage error. OUT is replaced; IN itself is refused as OUT. A progress bar is drawn on stderr
// when it is a terminal; Ctrl-C stops and leaves OUT as it was.
int DenoiseCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli
