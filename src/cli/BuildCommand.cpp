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
#include "cli/DidYouMean.h"
#include "cli/TargetKind.h"
#include "cli/TerminalProgress.h"
#include "engine/sas/NoteRangeDetection.h"
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

// "--instrument auto": the note range sung in IN.wav, as if the instrument were User Defined
// with the notes chosen by hand.
constexpr std::string_view AutoInstrument = "auto";

struct Request {
  std::string wav;
  std::string sas;
  GeneralSettings settings;
  Adjustments adjusted;
  bool detectRange = false;  // --instrument auto was given
  std::string edgeNote;      // what auto found at the edges of its range, said after the build
};

// The arguments after "build": two names in order, the options anywhere among them. Returns
// the problem, empty when the arguments are sound. `detected` is the range for --instrument
// auto; without it the range is left for a second pass once the recording is open (the other
// options are checked before the file is read).
std::string ParseRequest(const std::vector<std::string>& args, Request& request,
                         const NoteRangeResult* detected = nullptr) {
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
    const std::optional<GeneralSettings> loaded = ReadSettingsFile(*settingsFile, request.adjusted);
    if (!loaded) return "'" + *settingsFile + "' is not a valid 176-byte settings file";
    s = *loaded;
  }
  // In the order given, with the Settings dialog's rules for its three lists.
  for (const auto& [option, value] : options) {
    if (option == "--instrument" && SameLetters(value, AutoInstrument)) {
      request.detectRange = true;
      ChooseInstrument(s, UserDefinedInstrument);
      if (detected) {
        s.lowestNote = detected->lowestNote;
        s.highestNote = detected->highestNote;
      }
    } else if (option == "--instrument") {
      const std::optional<int> instrument = ParseInstrument(value, request.adjusted);
      if (!instrument)
        return WithSuggestion("unknown instrument '" + value + "' (vocara-cli instruments lists them)",
                              CloseInstruments(value));
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
        s.chunkPeriods = request.adjusted.Clamp(option, value, *number, settings_field::ChunkPeriods);
      } else {
        s.baseNoteThreshold =
            request.adjusted.Clamp(option, value, *number, settings_field::BaseNoteThreshold);
      }
    }
  }
  return {};
}

// The range for --instrument auto, said on stderr; a recording without notes is refused rather
// than built over a guessed range whose note names could be an octave off.
int DetectRange(WavDocument& wav, const std::vector<std::string>& args, Request& request, std::ostream& err) {
  const bool drawBar = DrawsProgressBar(err);
  NoteRangeResult range;
  {
    const InterruptScope interruptible;
    range = DetectNoteRange(wav, request.settings, TerminalProgress(err, "finding notes", drawBar));
  }
  EndProgress(err, drawBar);
  if (range.result != LongOperationResult::Done)
    return LongOperationExit(err, MessageId::None, range.result, request.sas);
  if (!range.found) {
    err << "vocara-cli: no notes found in " << request.wav
        << "; choose the range with --instrument, --lowest or --highest\n";
    return ExitFailure;
  }
  err << "vocara-cli: note range " << NoteName(range.lowestNote) << " .. " << NoteName(range.highestNote)
      << " found in " << request.wav << '\n';
  // Again in order, so a --lowest or --highest after auto still has the last word.
  Request detected;
  ParseRequest(args, detected, &range);
  // Notes at an edge of the range: the SAS is still built, but the range may cut the voice off.
  if (range.highEdge)
    detected.edgeNote = "vocara-cli: notes reach the edge of the range found (" +
                        std::string(NoteName(range.highestNote)) + "); the highest may be higher\n";
  if (range.lowEdge)
    detected.edgeNote += "vocara-cli: notes reach the edge of the range found (" +
                         std::string(NoteName(range.lowestNote)) + "); the lowest may be lower\n";
  request = std::move(detected);
  return ExitSuccess;
}

// A bar redrawn in place whenever the percentage changes; Ctrl-C answers stop.
int Build(Request& request, const std::vector<std::string>& args, std::ostream& err) {
  WavDocument wav;
  if (!OpenWav(err, request.wav, wav)) return ExitFailure;
  if (RefusesOtherKind(err, "build", request.sas, TargetKind::Sas, {request.wav})) return ExitFailure;
  if (request.detectRange) {
    if (const int exit = DetectRange(wav, args, request, err); exit != ExitSuccess) return exit;
  }

  const bool drawBar = DrawsProgressBar(err);
  SasBuildResult result;
  {
    const InterruptScope interruptible;
    result = SasBuildFile(wav, request.settings, request.sas, TerminalProgress(err, "building", drawBar));
  }
  EndProgress(err, drawBar);
  const int exit = LongOperationExit(err, result.message, result.result, request.sas);
  if (exit == ExitSuccess) err << request.edgeNote;
  return exit;
}

}  // namespace

// An index as the table's, a name as a note name in any spelling (sharps or flats).
std::optional<int> ParseNote(std::string_view text) {
  if (!ParseInteger(text)) return ParseNoteName(text);
  return ParseIndexOrName(text, NoteName, NoteCount);
}

std::optional<int> ReadNote(std::string_view option, std::string_view text, Adjustments& adjusted) {
  if (!ParseInteger(text)) return ParseNoteName(text);
  return ParseIndexOrName(text, NoteName, NoteCount, option, &adjusted);
}

// The window layout behind the record is not checked: there is no screen to check it against.
std::optional<GeneralSettings> ReadSettingsFile(const std::string& path, Adjustments& adjusted) {
  FileHandle file = FileHandle::OpenForReading(path);
  std::array<std::uint8_t, SettingsFileSize> bytes{};
  if (!file.IsOpen() || file.Read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
  GeneralSettings settings = GeneralSettings::Parse(
      std::span<const std::uint8_t, GeneralSettings::ByteSize>(bytes.data(), GeneralSettings::ByteSize));
  if (settings.instrument < 0 || !ValidateSettings(settings)) return std::nullopt;
  for (const SettingsCorrection& fixed : FitToDialogRanges(settings))
    adjusted.Note("settings " + path + ": " + std::string(fixed.field), NumberText(fixed.given), fixed.given,
                  fixed.used);
  return settings;
}

int BuildCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  Request request;
  if (const std::string problem = ParseRequest(args, request); !problem.empty()) return usage(err, problem);
  const int exit = Build(request, args, err);
  return request.adjusted.Tell(err, exit);
}

int InstrumentsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       UsageReporter usage) {
  if (args.size() != 1) return usage(err, "instruments takes no arguments");
  for (int i = 0; i < InstrumentCount; ++i) {
    const Instrument& entry = InstrumentTable[static_cast<std::size_t>(i)];
    // User Defined has no range of its own: the notes chosen stay as they are.
    const std::string_view lowest = entry.lowestNote < 0 ? "-" : NoteName(entry.lowestNote);
    const std::string_view highest = entry.highestNote < 0 ? "-" : NoteName(entry.highestNote);
    out << i << '\t' << entry.name << '\t' << lowest << '\t' << highest << '\n';
  }
  return ExitSuccess;
}

}  // namespace vocara::cli
