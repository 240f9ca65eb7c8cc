// The desktop program's command line: `vocara [FILE]`, --help and --version. It is read before
// the Qt application exists, so that --help and --version answer on a terminal without a display
// and no window ever starts for them.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vocara {

struct ProgramOptions {
  // Set when the command line was answered without starting the program: 0 after --help or
  // --version, 2 after a usage problem.
  std::optional<int> exitCode;
  // Otherwise the words joined by spaces, as the core takes them (CommandLineFileName).
  std::string commandLine;
};

// args are the words after the program name. --help (or -h) prints the usage to `out`, --version
// "vocara VERSION (DATE)"; any other word starting with '-' is an option unless it names a file
// (alone or as the whole joined name), and an unknown option is a usage problem on `err`:
// "vocara: unknown option 'WORD'" and a line pointing to --help. The first option decides.
ProgramOptions ReadProgramOptions(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vocara
