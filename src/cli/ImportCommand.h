// vocara-cli import: any sound file libsndfile reads, as the mono WAV the program opens.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Reports a usage problem followed by the usage text and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// import IN OUT.wav [--channel left|right|mix|N] [--bits 16|24|32] [--rate HZ] [--salvage]
//
// Reads IN (WAV of any encoding, AIFF, FLAC, Ogg, ...) and writes OUT as a mono integer-PCM
// WAV: the mean of all channels, or channel N alone (numbered from 0: left is 0, right 1); the
// source's depth where it is 16, 24 or 32 bits, else 16 (8-bit and companded sources) or 24
// (float and lossy ones); the source's rate unless --rate asks for another or the program
// would refuse it (ImportRateFor). On success one line on `err` says what was read and what
// was written. OUT is replaced; IN itself is refused as OUT. A progress bar is drawn on stderr
// when it is a terminal, and Ctrl-C stops with nothing written. A file cut short is refused,
// with a second line naming --salvage and the seconds it would keep; with --salvage the whole
// frames that are there are written and stderr says how many seconds of how many were kept.
int ImportCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli
