#include "cli/Cli.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <limits>
#include <optional>
#include <sstream>

#include "base/BuildInfo.h"
#include "base/FileHandle.h"
#include "base/FileJournal.h"
#include "base/MessageId.h"
#include "base/NumberText.h"
#include "base/OutputFile.h"
#include "cli/BuildCommand.h"
#include "cli/CliInTune.h"
#include "cli/CliSpectrum.h"
#include "cli/CommandHelp.h"
#include "cli/CorrectCommand.h"
#include "cli/DenoiseCommand.h"
#include "cli/DidYouMean.h"
#include "cli/EditCommand.h"
#include "cli/FileProblems.h"
#include "cli/GenerateCommand.h"
#include "cli/ImportCommand.h"
#include "cli/PitchCommands.h"
#include "cli/PulseCommand.h"
#include "cli/SasInfoCommand.h"
#include "cli/TargetKind.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/RangeExport.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

constexpr const char* HelpPointer = "Try 'vocara-cli --help' for more information.\n";

int Failure(std::ostream& err, MessageId id) {
  err << MessageText(id) << '\n';
  return ExitFailure;
}

int Info(std::vector<std::string> args, std::ostream& out, std::ostream& err) {
  const auto json = std::find(args.begin(), args.end(), "--json");
  const bool asJson = json != args.end();
  if (asJson) args.erase(json);
  if (args.size() != 2) return UsageError(err, "info takes one file");
  if (StartsAsSasFile(args[1])) return SasInfo(args[1], out, err, asJson);
  WavDocument wav;
  if (const WavOpenResult opened = WavOpenDocument(wav, args[1]); opened.message != MessageId::None)
    return InputRefused(err, opened.message, args[1], FileKind::Any);
  const FormatFields& f = wav.header.fields;
  const auto n = [](auto value) { return std::to_string(value); };
  PrintFacts(out,
             {{"format", n(f.formatTag)},
              {"channels", n(f.channels)},
              {"rate", n(f.sampleRate)},
              {"block_align", n(f.blockAlign)},
              {"bits", n(f.bitsPerSample)},
              {"data_offset", n(wav.dataOffset)},
              {"samples", n(wav.sampleCount)},
              {"checksum", Hex8(wav.checksum), true}},
             asJson);
  return ExitSuccess;
}

bool IsHelpOption(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int UnknownCommand(std::ostream& err, const std::string& command) {
  return UsageError(err,
                    WithSuggestion("unknown command '" + command + "'", CloseNames(command, CommandWords())));
}

// help COMMAND: that command's help; the summary without one comes before.
int HelpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) return UsageError(err, "help takes one command");
  const CommandHelp* help = FindCommandHelp(args[1]);
  if (!help) return UnknownCommand(err, args[1]);
  out << CommandHelpText(*help);
  return ExitSuccess;
}

using RangeWriter = MessageId (*)(WavDocument&, const std::string&, std::uint32_t, std::uint32_t);

int WriteRange(const std::vector<std::string>& args, std::ostream& err, RangeWriter write,
               TargetKind writes) {
  if (args.size() != 4) return UsageError(err, args[0] + " takes IN OUT A:B");
  RangeArgument range;
  if (const std::string problem = ParseRange(args[3], range); !problem.empty())
    return UsageError(err, problem);
  WavDocument wav;
  if (!OpenWav(err, args[1], wav)) return ExitFailure;
  if (const std::string problem =
          FitRange(range, SampleScale(wav), wav.sampleCount, RangeUnit::Samples, args[1]);
      !problem.empty())
    return UsageError(err, problem);
  if (RefusesOtherKind(err, args[0], args[2], writes, {args[1]})) return ExitFailure;
  if (const MessageId failed = write(wav, args[2], range.left, range.right); failed != MessageId::None)
    return OutputFailure(err, failed, args[2]);
  return ExitSuccess;
}

}  // namespace

std::string Hex8(std::uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

int UsageError(std::ostream& err, const std::string& problem) {
  err << "vocara-cli: " << problem << '\n' << HelpPointer;
  return ExitUsage;
}

std::optional<std::uint32_t> ParseIndex(std::string_view text) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<long long> ParseInteger(std::string_view text) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<double> ParseFieldNumber(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  const std::size_t point = digits.find('.');
  const std::string_view whole = digits.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : digits.substr(point + 1);
  const auto allDigits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.size() + fraction.size() == 0 || !allDigits(whole) || !allDigits(fraction)) return std::nullopt;
  return ScanNumber(text);
}

std::string NumberText(double value) {
  std::array<char, 32> text{};
  const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() ? std::string(text.data(), end) : std::string("?");
}

std::string NotANumber(std::string_view option, std::string_view text) {
  return std::string(option) + ": '" + std::string(text) + "' is not a number";
}

std::string OutsideRange(std::string_view option, std::string_view text, double min, double max) {
  return std::string(option) + ": " + std::string(text) + " is outside " + NumberText(min) + " .. " +
         NumberText(max);
}

double Adjustments::Clamp(std::string_view option, std::string_view text, double given, double min,
                          double max) {
  const double used = ClampNumber(given, min, max);
  Note(option, text, given, used);
  return used;
}

void Adjustments::Note(std::string_view option, std::string_view text, double given, double used) {
  if (used == given) return;
  const std::string why = std::isnan(given)   ? "not a number"
                          : std::isinf(given) ? "not a finite number"
                                              : (used < given ? "above " : "below ") + NumberText(used);
  lines_.push_back("vocara-cli: " + std::string(option) + " " + std::string(text) + " is " + why +
                   "; using " + NumberText(used));
}

int Adjustments::Tell(std::ostream& err, int exit) const {
  if (exit != ExitUsage)
    for (const std::string& line : lines_) err << line << '\n';
  return exit;
}

bool OpenWav(std::ostream& err, const std::string& path, WavDocument& wav) {
  const MessageId refused = WavOpenDocument(wav, path).message;
  if (refused != MessageId::None) InputRefused(err, refused, path, FileKind::Wav);
  return refused == MessageId::None;
}

int LockedOut(std::ostream& err, MessageId id, const std::string& name) {
  err << MessageText(id) << "\nvocara-cli: " << name << ": locked by another process\n";
  return ExitFailure;
}

bool OpenSas(std::ostream& err, const std::string& path, SasAccess access, SasDocument& sas) {
  const MessageId refused = SasOpenDocument(sas, path, access);
  if (refused == MessageId::SasBusy) {
    LockedOut(err, refused, path);
  } else if (refused != MessageId::None) {
    InputRefused(err, refused, path, FileKind::Sas,
                 access == SasAccess::ReadWrite ? FileUse::Change : FileUse::Read);
  } else if (!sas.setAsideJournal.empty()) {
    err << "vocara-cli: " << JournalPath(path) << " was not written for " << path
        << " as it is now; set aside unapplied as " << sas.setAsideJournal << '\n';
  }
  return refused == MessageId::None;
}

std::optional<TimeValue> ParseTime(std::string_view text) {
  if (const std::optional<std::uint32_t> index = ParseIndex(text)) return TimeValue{*index, std::nullopt};
  if (!MeantAsSeconds(text) || text.starts_with('-')) return std::nullopt;
  const std::optional<double> seconds = ParseNumber(text.substr(0, text.size() - 1));
  if (!seconds || *seconds < 0) return std::nullopt;
  return TimeValue{0, *seconds};
}

bool MeantAsSeconds(std::string_view text) { return text.ends_with('s'); }

std::uint32_t TimeIndex(const TimeValue& time, TimeScale scale, TimeEdge edge) {
  if (!time.seconds) return time.index;
  const double units = *time.seconds * scale.rate / scale.unitLength;
  // A decimal time is seldom exact in binary (0.018 s x 48000 is 863.9999999999999): one within
  // a hair of a unit's start names that start, as typed.
  const double nearest = std::round(units);
  const double index = std::abs(units - nearest) <= 1e-9 + units * 1e-12 ? nearest
                       : edge == TimeEdge::End                           ? std::ceil(units)
                                                                         : std::floor(units);
  constexpr auto Last = std::numeric_limits<std::uint32_t>::max();
  return index >= Last ? Last : static_cast<std::uint32_t>(index);
}

TimeScale SampleScale(const WavDocument& wav) { return {wav.header.fields.sampleRate, 1}; }

TimeScale FrameScale(const SasDocument& sas) { return {sas.header.sampleRate, sas.header.frameLength}; }

std::string ParseRange(std::string_view text, RangeArgument& range) {
  const std::size_t colon = text.find(':');
  std::optional<TimeValue> left;
  std::optional<TimeValue> right;
  if (colon != std::string_view::npos) {
    left = ParseTime(text.substr(0, colon));
    right = ParseTime(text.substr(colon + 1));
  }
  // Ends of the same kind are in order or not already; a number and seconds are compared on
  // the file (FitRange).
  const bool mixed = left && right && left->seconds.has_value() != right->seconds.has_value();
  if (!left || !right ||
      (!mixed && (left->seconds ? *left->seconds > *right->seconds : left->index > right->index))) {
    if (colon != std::string_view::npos &&
        (MeantAsSeconds(text.substr(0, colon)) || MeantAsSeconds(text.substr(colon + 1))))
      return "range '" + std::string(text) + "' is not A:B with A <= B, each a whole number" +
             std::string(OrSeconds);
    return "range '" + std::string(text) + "' is not A:B with whole numbers A <= B";
  }
  range = RangeArgument{std::string(text), left->index, right->index, left->seconds, right->seconds};
  return {};
}

std::string FitRange(RangeArgument& range, TimeScale scale, std::uint32_t count, RangeUnit unit,
                     std::string_view name, RangeQuote quote) {
  if (range.leftSeconds) range.left = TimeIndex({0, range.leftSeconds}, scale);
  if (range.rightSeconds) range.right = TimeIndex({0, range.rightSeconds}, scale, TimeEdge::End);
  // The same instant at both ends is an empty range, wherever it falls in a frame.
  if (range.leftSeconds && range.rightSeconds && *range.leftSeconds == *range.rightSeconds)
    range.right = range.left;
  if (range.left > range.right)
    return "range '" + range.text + "' is not A:B with A <= B, each a whole number" + std::string(OrSeconds);
  return RangePastEnd(range, count, unit, name, quote);
}

std::string RangePastEnd(const RangeArgument& range, std::uint32_t count, RangeUnit unit,
                         std::string_view name, RangeQuote quote) {
  if (range.right <= count) return {};
  std::ostringstream problem;
  problem << "range ";
  if (quote == RangeQuote::Quoted) problem << '\'' << range.text << "' ";
  problem << "ends past the " << count << (unit == RangeUnit::Samples ? " samples of " : " frames of ")
          << name;
  return problem.str();
}

int LongOperationExit(std::ostream& err, MessageId message, LongOperationResult result,
                      const std::string& output) {
  if (message != MessageId::None) return OutputFailure(err, message, output);
  if (result == LongOperationResult::Cancelled) {
    err << "vocara-cli: interrupted; " << output << " was not written\n";
    return ExitFailure;
  }
  if (result != LongOperationResult::Done) return OutputFailure(err, MessageId::OutputWriteFailed, output);
  return ExitSuccess;
}

int OutputFailure(std::ostream& err, MessageId id, const std::string& output) {
  if (id == MessageId::FileBusy || id == MessageId::SasBusy) return LockedOut(err, id, output);
  if (id == MessageId::OutputWriteFailed) {
    err << "vocara-cli: could not write " << output << '\n';
    // Part way: the system's reason kept from the write that failed, else what the disk or the
    // folder shows now (the temporary file is gone with its bytes).
    std::optional<std::string> problem = WriteProblem();
    if (!problem) problem = OutputProblem(output);
    if (problem) err << "vocara-cli: " << output << ": " << *problem << '\n';
    return ExitFailure;
  }
  Failure(err, id);
  if (id == MessageId::InvalidFileHandle || id == MessageId::NotARegularFile) ExplainOutput(err, output);
  return ExitFailure;
}

namespace {
thread_local std::vector<std::string> lastOptions;
}  // namespace

const std::vector<std::string>& LastParsedOptions() { return lastOptions; }

const std::string* ParsedArguments::Value(std::string_view option) const {
  for (auto it = values.rbegin(); it != values.rend(); ++it)
    if (it->first == option) return &it->second;
  return nullptr;
}

bool ParsedArguments::Flag(std::string_view option) const {
  return std::find(flags.begin(), flags.end(), option) != flags.end();
}

std::string ParseArguments(const std::vector<std::string>& args,
                           std::initializer_list<std::string_view> valued,
                           std::initializer_list<std::string_view> flags, ParsedArguments& parsed) {
  lastOptions.assign(valued.begin(), valued.end());
  lastOptions.insert(lastOptions.end(), flags.begin(), flags.end());
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      parsed.names.push_back(arg);
    } else if (std::find(valued.begin(), valued.end(), arg) != valued.end()) {
      if (i + 1 == args.size()) return arg + " needs a value";
      parsed.values.emplace_back(arg, args[++i]);
    } else if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
      parsed.flags.push_back(arg);
    } else {
      const std::vector<std::string_view> known(lastOptions.begin(), lastOptions.end());
      return WithSuggestion("unknown option '" + arg + "'", CloseNames(arg, known));
    }
  }
  return {};
}

namespace {

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return UsageError(err, "no command");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || (command == "help" && args.size() == 1)) {
    out << SummaryText();
    return ExitSuccess;
  }
  // Before the command reads its arguments, so that its own parsing stays as it is.
  if (const CommandHelp* help = FindCommandHelp(command);
      help && std::any_of(args.begin() + 1, args.end(), IsHelpOption)) {
    out << CommandHelpText(*help);
    return ExitSuccess;
  }
  if (command == "help") return HelpCommand(args, out, err);
  if (command == "--version") {
    out << VersionLine("vocara-cli") << '\n';
    return ExitSuccess;
  }
  if (command == "info") return Info(args, out, err);
  if (command == "save-range") return WriteRange(args, err, WriteRangeAsWav, TargetKind::Wav);
  if (command == "export-text") return WriteRange(args, err, WriteRangeAsText, TargetKind::Text);
  if (command == "build") return BuildCommand(args, err, UsageError);
  if (command == "instruments") return InstrumentsCommand(args, out, err, UsageError);
  if (command == "correct") return CorrectCommand(args, err, UsageError);
  if (command == "edit") return EditCommand(args, err, UsageError);
  if (command == "spectrum") return SpectrumCommand(args, out, err, UsageError);
  if (command == "peaks") return PeaksCommand(args, err, UsageError);
  if (command == "notes") return NotesCommand(args, out, err, UsageError);
  if (command == "denoise") return DenoiseCommand(args, err, UsageError);
  if (command == "generate") return GenerateCommand(args, err, UsageError);
  if (command == "pulse") return PulseCommand(args, err, UsageError);
  if (command == "snap") return SnapCommand(args, err, UsageError);
  if (command == "note") return NoteCommand(args, err, UsageError);
  if (command == "midi") return MidiCommand(args, err, UsageError);
  if (command == "guide") return GuideCommand(args, err, UsageError);
  if (command == "reanalyse") return ReanalyseCommand(args, err, UsageError);
  if (command == "repair") return RepairCommand(args, out, err, UsageError);
  if (command == "report") return ReportCommand(args, out, err, UsageError);
  if (command == "import") return ImportCommand(args, err, UsageError);
  if (command == "pitch") return PitchCommand(args, out, err, UsageError);
  if (command == "plot") return PlotCommand(args, err, UsageError);
  return UnknownCommand(err, command);
}

// A failure to say the results after a file was replaced does not undo the file: the run
// stays a success and says what it could not say.
int StandardOutputFailed(std::ostream& err, int error, int exit, bool fileReplaced) {
  err << "vocara-cli: could not write to standard output";
  if (error != 0) err << ": " << std::strerror(error);
  if (fileReplaced && exit == ExitSuccess) err << "; the output file was written";
  err << '\n';
  if (fileReplaced) return exit;
  return exit == ExitSuccess ? ExitFailure : exit;
}

unsigned committedAtStart = 0;

}  // namespace

bool QuietOption(std::string_view arg) { return arg == "-q" || arg == "--quiet"; }

std::string_view CommandWord(const std::vector<std::string>& args) {
  for (const std::string& arg : args)
    if (!QuietOption(arg)) return arg;
  return {};
}

bool ChangesInPlace(std::string_view command) {
  for (const std::string_view changer : {"edit", "snap", "note", "guide", "reanalyse", "repair"})
    if (command == changer) return true;
  return false;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  committedAtStart = CommittedOutputs();
  TakeWriteError();  // a reason left by an earlier run in this process is not this run's
  // Quiet: what the run says on stderr is kept back and said only when it failed.
  std::vector<std::string> words;
  std::copy_if(args.begin(), args.end(), std::back_inserter(words),
               [](const std::string& arg) { return !QuietOption(arg); });
  std::ostringstream keptBack;
  const bool quiet = words.size() != args.size();
  const int exit = Dispatch(words, out, quiet ? keptBack : err);
  if (exit != ExitSuccess) err << keptBack.str();
  // A write that failed earlier left its errno; a failure now sets its own.
  if (out) errno = 0;
  out.flush();
  if (out) return exit;
  return StandardOutputFailed(err, errno, exit, CommittedOutputs() != committedAtStart);
}

int RunProcess(const std::vector<std::string>& args, std::ostream& err) {
  const int exit = RunCli(args, std::cout, err);
  if (!std::cout) return exit;  // said already
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return StandardOutputFailed(err, errno, exit, CommittedOutputs() != committedAtStart);
  return exit;
}

}  // namespace vocara::cli
