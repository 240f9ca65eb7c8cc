#include "program/dispatch/ProgramOptions.h"

#include <filesystem>
#include <system_error>

#include "base/BuildInfo.h"
#include "program/dispatch/StartUp.h"

namespace vocara {
namespace {

constexpr const char* Usage =
    "usage: vocara [FILE]\n"
    "\n"
    "Vocara, a sound editor for mono WAV recordings of one voice, built around pitch\n"
    "correction. FILE, a WAV recording or its SAS analysis, opens at start.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version and release date\n"
    "\n"
    "Settings: vocara.INI beside the program, or $XDG_CONFIG_HOME/vocara/vocara.INI\n"
    "(~/.config/vocara/vocara.INI) when the program's folder is not writable.\n"
    "The manual page vocara(1) describes the windows and the road from a recording to its\n"
    "corrected copy; vocara-cli --help lists the same operations without a window.\n";

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

}  // namespace

ProgramOptions ReadProgramOptions(const std::vector<std::string>& args, std::ostream& out,
                                  std::ostream& err) {
  ProgramOptions options;
  for (const std::string& word : args) {
    if (!options.commandLine.empty()) options.commandLine += ' ';
    options.commandLine += word;
  }
  for (const std::string& word : args) {
    if (word.empty() || word[0] != '-') continue;
    if (word == "--help" || word == "-h") {
      out << Usage;
      options.exitCode = 0;
      return options;
    }
    if (word == "--version") {
      out << VersionLine("vocara") << '\n';
      options.exitCode = 0;
      return options;
    }
    // A file whose name starts with '-' opens as any other; a name with spaces arrives in words.
    if (Exists(word) || Exists(CommandLineFileName(options.commandLine))) continue;
    err << "vocara: unknown option '" << word << "'\n"
        << "Try 'vocara --help' for more information.\n";
    options.exitCode = 2;
    return options;
  }
  return options;
}

}  // namespace vocara
