// The command-line front end: subcommands over the same core operations the GUI runs.
//
// Exit codes: 0 success; 1 the operation failed, with the program's own message text alone on
// one line of the error stream; 2 a usage error, with the usage text on the error stream.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// args are the arguments after the program name.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vocara::cli
