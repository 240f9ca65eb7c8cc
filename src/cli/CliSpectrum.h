// vocara-cli spectrum, peaks and notes: what the FFT and MFT windows compute with the WAV cursor
// at a given sample, as text.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Reports a usage problem followed by the usage text and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// spectrum IN.wav --at S [--fft N] [--window K]
//
// The spectrum of N samples centred on sample S (0 .. the sample count; zeros outside the
// data) with window function K (0 .. 7, in the order of the window buttons): one line per bin
// k = 0 .. N/2, "k TAB frequency TAB amplitude", the frequency k x rate / N in Hz and the
// amplitude in percent of full scale, both with 6 fixed decimals. N is a power of two from
// 1024 to 1048576 (default 1024), K defaults to 0 (square).
int SpectrumCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    UsageReporter usage);

// peaks IN.wav OUT.txt --at S [--fft N] [--window K] [--mark BIN]... [--settings FILE]
//
// "Find and save peaks" on that spectrum: each --mark in order as the T key marks a bin (only
// bins at least as strong as both neighbours, each once, at most 1000); a bin outside
// 1 .. N/2 - 1 is a usage error. OUT gets exactly the bytes of the peak file (CR LF lines), whole
// or not at all; IN itself is refused as OUT. The silence threshold is the built-in one or
// FILE's.
int PeaksCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

// notes IN.wav --at S [--settings FILE] [--lowest NOTE] [--highest NOTE]
//
// The note spectrum at sample S with the settings' note range (notes as for build, applied in
// order after the file): 88 lines "NAME TAB strength" from A0 to C8 (6 fixed decimals, left-
// aligned sample units; keys outside the analysed range 0), then "detected=NAME" and
// "fine=CENTS" (1 fixed decimal).
int NotesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 UsageReporter usage);

}  // namespace vocara::cli
