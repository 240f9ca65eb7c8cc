// The command-line front end: subcommands over the same core operations the GUI runs.
//
// Exit codes: 0 success; 1 the operation failed, with the program's own message text alone on
// one line of the error stream; 2 a usage error, with the usage text on the error stream.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/MessageId.h"
#include "base/Progress.h"

namespace vocara {
struct WavDocument;
}

namespace vocara::cli {

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// The failure of an operation that writes `output`: a write that failed part way is "vocara-cli:
// could not write OUTPUT", any other message its own text. Returns ExitFailure.
int OutputFailure(std::ostream& err, MessageId id, const std::string& output);

// How a long operation that writes `output` ended: its message, "interrupted; OUTPUT was not
// written" after Ctrl-C, "could not write OUTPUT" when it failed; ExitSuccess when done.
int LongOperationExit(std::ostream& err, MessageId message, LongOperationResult result,
                      const std::string& output);

// A finite number the whole text spells (no spaces, no trailing characters); nullopt otherwise.
std::optional<double> ParseNumber(std::string_view text);

// Opens the recording at `path` into `wav`; on a refusal prints the program's message for it
// and returns false.
bool OpenWav(std::ostream& err, const std::string& path, WavDocument& wav);

// A decimal sample index, the whole text.
std::optional<std::uint32_t> ParseIndex(std::string_view text);

// "A:B" with decimal sample indices, A <= B.
struct SampleRange {
  std::uint32_t left = 0;
  std::uint32_t right = 0;
};
std::optional<SampleRange> ParseRange(std::string_view text);

// The arguments after a subcommand's name: names in order and options anywhere around them.
// Options listed in `valued` take the next argument as their value (the last one given counts);
// those in `flags` take none. Returns the problem ("unknown option", "needs a value"), empty
// when the arguments are sound.
struct ParsedArguments {
  std::vector<std::string> names;
  std::vector<std::pair<std::string, std::string>> values;  // in the order given
  std::vector<std::string> flags;
  const std::string* Value(std::string_view option) const;  // the last one given, or null
  bool Flag(std::string_view option) const;
};
std::string ParseArguments(const std::vector<std::string>& args,
                           std::initializer_list<std::string_view> valued,
                           std::initializer_list<std::string_view> flags, ParsedArguments& parsed);

// args are the arguments after the program name.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vocara::cli
