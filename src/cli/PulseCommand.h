// vocara-cli pulse: the Pulse Shape menu over a list of cursor positions.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// pulse IN.wav OUT.txt S1 [S2 ...]
//
// Shape+ with the WAV cursor at each S in turn (a position Shape+ ignores, too near either end,
// is ignored here as well), then Export Shape into OUT. A shape without form (nothing added,
// or only silence) writes nothing: "pulse shape is empty" and exit 1. IN itself is refused as
// OUT; OUT is otherwise replaced whole.
int PulseCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli
