// What `vocara-cli --help` and `vocara-cli help CMD` say: one record per command, from which
// both the one-line-per-command summary and each command's own help are made, every line
// within 80 columns.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vocara::cli {

struct CommandHelp {
  std::string_view name;
  std::string_view summary;  // one line in the summary, after the name
  std::string_view usage;    // "vocara-cli NAME ...", lines each ending in '\n'
  std::string_view about;    // what it does, lines each ending in '\n'
  std::string_view options;  // "  --option VALUE   what, range (default)" lines; may be empty
  std::string_view example;  // one command line, ending in '\n'
};

// Every command, in the order the summary lists them.
std::span<const CommandHelp> CommandHelps();

// The record of `name`, or null.
const CommandHelp* FindCommandHelp(std::string_view name);

// The names the command line knows in the place of a command (the commands, --help,
// --version), for "did you mean".
std::span<const std::string_view> CommandWords();

// One command's help: its summary, usage, what it does, options and example.
std::string CommandHelpText(const CommandHelp& help);

// The summary: one line per command, the global options, where to read more.
std::string SummaryText();

}  // namespace vocara::cli
