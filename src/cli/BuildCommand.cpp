#include "cli/BuildCommand.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string_view>
#include <utility>

#include "base/FileHandle.h"
#include "base/Instruments.h"
#include "base/MessageId.h"
#include "base/NumberText.h"
#include "base/Settings.h"
#include "cli/Cli.h"
#include "cli/TerminalProgress.h"
#include "engine/sas/SasBuild.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

int ClampIndex(long long value, int last) { return static_cast<int>(std::clamp<long long>(value, 0, last)); }

// A table index (clamped to the table, and said when it was) or a name from the table, letters
// in either case.
template <typename Names>
std::optional<int> ParseIndexOrName(std::string_view text, const Names& names, int count,
                                    std::string_view option = {}, Adjustments* adjusted = nullptr) {
  if (const std::optional<long long> index = ParseInteger(text)) {
    const int used = ClampIndex(*index, count - 1);
    if (adjusted) adjusted->Note(option, text, static_cast<double>(*index), used);
    return used;
  }
  for (int i = 0; i < count; ++i) {
    if (SameLetters(text, names(i))) return i;
  }
  return std::nullopt;
}

std::optional<int> ParseInstrument(std::string_view text, Adjustments& adjusted) {
  return ParseIndexOrName(
      text, [](int i) { return InstrumentTable[static_cast<std::size_t>(i)].name; }, InstrumentCount,
      "--instrument", &adjusted);
}

struct Request {
  std::string wav;
  std::string sas;
  GeneralSettings settings;
  Adjustments adjusted;
};

// The arguments after "build": two names in order, the options anywhere among them. Returns
// the problem, empty when the arguments are sound.
std::string ParseRequest(const std::vector<std::string>& args, Request& request) {
  ParsedArguments parsed;
  if (std::string problem = ParseArguments(
          args, {"--settings", "--instrument", "--lowest", "--highest", "--chunk", "--threshold"}, {},
          parsed);
      !problem.empty())
    return problem;
  const std::vector<std::string>& names = parsed.names;
  std::vector<std::pair<std::string, std::string>> options;
  std::optional<std::string> settingsFile;
  for (const auto& [arg, value] : parsed.values) {
    if (arg != "--settings") {
      options.emplace_back(arg, value);
    } else if (settingsFile) {
      return "--settings is given twice";
    } else {
      settingsFile = value;
    }
  }
  if (names.size() != 2) return "build takes IN.wav OUT.sas";
  request.wav = names[0];
  request.sas = names[1];

  GeneralSettings& s = request.settings;
  if (settingsFile) {
    const std::optional<GeneralSettings> loaded = ReadSettingsFile(*settingsFile);
    if (!loaded) return "'" + *settingsFile + "' is not a valid 176-byte settings file";
    s = *loaded;
  }
  // In the order given, with the Settings dialog's rules for its three lists.
  for (const auto& [option, value] : options) {
    if (option == "--instrument") {
      const std::optional<int> instrument = ParseInstrument(value, request.adjusted);
      if (!instrument) return "unknown instrument '" + value + "'";
      ChooseInstrument(s, *instrument);
    } else if (option == "--lowest" || option == "--highest") {
      const std::optional<int> note = ReadNote(option, value, request.adjusted);
      if (!note) return "'" + value + "' is not a note index 0..87 or a note name A0 .. C8";
      if (option == "--lowest") {
        ChooseLowestNote(s, *note);
      } else {
        ChooseHighestNote(s, *note);
      }
    } else {
      const std::optional<double> number = ParseNumber(value);
      if (!number) return option + " takes a number, not '" + value + "'";
      if (option == "--chunk") {
        s.chunkPeriods = request.adjusted.Clamp(option, value, *number, 1.0, 5.0);
      } else {
        s.baseNoteThreshold = request.adjusted.Clamp(option, value, *number, 5.0, 100.0);
      }
    }
  }
  return {};
}

// A bar redrawn in place whenever the percentage changes; Ctrl-C answers stop.
int Build(const Request& request, std::ostream& err) {
  WavDocument wav;
  if (!OpenWav(err, request.wav, wav)) return ExitFailure;

  const bool drawBar = DrawsProgressBar(err);
  SasBuildResult result;
  {
    const InterruptScope interruptible;
    result = SasBuildFile(wav, request.settings, request.sas, TerminalProgress(err, "building", drawBar));
  }
  if (drawBar) err << '\n';
  return LongOperationExit(err, result.message, result.result, request.sas);
}

}  // namespace

std::optional<int> ParseNote(std::string_view text) { return ParseIndexOrName(text, NoteName, NoteCount); }

std::optional<int> ReadNote(std::string_view option, std::string_view text, Adjustments& adjusted) {
  return ParseIndexOrName(text, NoteName, NoteCount, option, &adjusted);
}

// The window layout behind the record is not checked: there is no screen to check it against.
std::optional<GeneralSettings> ReadSettingsFile(const std::string& path) {
  FileHandle file = FileHandle::OpenForReading(path);
  std::array<std::uint8_t, SettingsFileSize> bytes{};
  if (!file.IsOpen() || file.Read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
  const GeneralSettings settings = GeneralSettings::Parse(
      std::span<const std::uint8_t, GeneralSettings::ByteSize>(bytes.data(), GeneralSettings::ByteSize));
  if (settings.instrument < 0 || !ValidateSettings(settings)) return std::nullopt;
  return settings;
}

int BuildCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  Request request;
  if (const std::string problem = ParseRequest(args, request); !problem.empty()) return usage(err, problem);
  return request.adjusted.Tell(err, Build(request, err));
}

}  // namespace vocara::cli
