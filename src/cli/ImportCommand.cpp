#include "cli/ImportCommand.h"

#include <cstdio>
#include <optional>
#include <string_view>

#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "cli/TargetKind.h"
#include "cli/TerminalProgress.h"
#include "engine/wav/Import.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

struct Options {
  std::string input;
  std::string output;
  ImportOptions import;
};

std::string ParseChannel(const std::string& value, int& channel) {
  if (value == "mix") {
    channel = ImportMix;
  } else if (value == "left") {
    channel = 0;
  } else if (value == "right") {
    channel = 1;
  } else {
    const std::optional<std::uint32_t> n = ParseIndex(value);
    // libsndfile's files hold at most a few thousand channels; larger numbers are no channel.
    if (!n || *n > 65535)
      return "--channel takes left, right, mix or a channel number from 0, not '" + value + "'";
    channel = static_cast<int>(*n);
  }
  return {};
}

// The arguments after "import": two names in order, the options anywhere among them.
// Returns the problem, empty when the arguments are sound.
std::string ParseOptions(const std::vector<std::string>& args, Options& options) {
  ParsedArguments parsed;
  if (std::string problem = ParseArguments(args, {"--channel", "--bits", "--rate"}, {"--salvage"}, parsed);
      !problem.empty())
    return problem;
  for (const auto& [option, value] : parsed.values) {
    if (option == "--channel") {
      if (std::string problem = ParseChannel(value, options.import.channel); !problem.empty()) return problem;
    } else if (option == "--bits") {
      const std::optional<std::uint32_t> bits = ParseIndex(value);
      if (!bits || (*bits != 16 && *bits != 24 && *bits != 32))
        return "--bits takes 16, 24 or 32, not '" + value + "'";
      options.import.bits = *bits;
    } else {
      const std::optional<std::uint32_t> rate = ParseIndex(value);
      if (!rate) {
        if (ParseFieldNumber(value)) return "--rate takes a whole number of Hz, not '" + value + "'";
        return NotANumber(option, value);
      }
      if (*rate < MinimumSampleRate || *rate > MaximumSampleRate)
        return OutsideRange(option, value, MinimumSampleRate, MaximumSampleRate);
      options.import.rate = *rate;
    }
  }
  options.import.salvage = parsed.Flag("--salvage");
  if (parsed.names.size() != 2) return "import takes IN OUT.wav";
  options.input = parsed.names[0];
  options.output = parsed.names[1];
  return {};
}

std::string Plural(std::uint64_t n, std::string_view one) {
  return std::to_string(n) + " " + std::string(one) + (n == 1 ? "" : "s");
}

// "imported 2 channels of 24-bit FLAC at 44100 Hz: mixed to mono, 24 bits, 44100 Hz, 441000
// samples"
std::string Summary(const ImportResult& result, int channel) {
  const ImportSource& source = result.source;
  std::string line = "imported " + Plural(static_cast<std::uint64_t>(source.channels), "channel") + " of " +
                     source.description + " at " + std::to_string(source.rate) + " Hz: ";
  if (source.channels > 1 && channel == ImportMix) {
    line += "mixed to mono, ";
  } else if (source.channels > 1) {
    line += "channel " + std::to_string(channel);
    if (source.channels == 2) line += channel == 0 ? " (left)" : " (right)";
    line += ", ";
  }
  line += std::to_string(result.bits) + " bits, ";
  if (result.rate != source.rate) line += "resampled to ";
  line += std::to_string(result.rate) + " Hz, " + Plural(result.samples, "sample");
  if (result.clipped > 0) line += "; " + Plural(result.clipped, "sample") + " beyond full scale clipped";
  if (result.notANumber > 0)
    line += "; " + Plural(result.notANumber, "sample") + (result.notANumber == 1 ? " was" : " were") +
            " NaN, written as 0";
  return line;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

int ImportCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  Options options;
  if (const std::string problem = ParseOptions(args, options); !problem.empty()) return usage(err, problem);

  if (RefusesOtherKind(err, "import", options.output, TargetKind::Wav, {options.input})) return ExitFailure;
  const bool drawBar = DrawsProgressBar(err);
  ImportResult result;
  {
    const InterruptScope interruptible;
    result = ImportToWav(options.input, options.output, options.import,
                         TerminalProgress(err, "importing", drawBar));
  }
  EndProgress(err, drawBar);
  // The input did not open: the program's message, then which file and why.
  if (result.message == MessageId::InvalidFileHandle && result.source.channels == 0)
    return InputRefused(err, result.message, options.input, FileKind::Any);
  if (!result.refusal.empty()) {
    err << "vocara-cli: " << options.input << ": " << result.refusal << '\n';
    if (result.cut && !options.import.salvage)
      err << "vocara-cli: " << options.input << ": the file ends before its data does; `vocara-cli import "
          << options.input << ' ' << options.output << " --salvage` keeps the "
          << Seconds(result.cut->KeptSeconds()) << " s that are there\n";
    return ExitFailure;
  }
  if (const int exit = LongOperationExit(err, result.message, result.result, options.output);
      exit != ExitSuccess)
    return exit;
  if (result.cut)
    err << "vocara-cli: " << options.input << " is cut short: kept " << Seconds(result.cut->KeptSeconds())
        << " s of " << Seconds(result.cut->AnnouncedSeconds()) << " s\n";
  err << "vocara-cli: " << Summary(result, options.import.channel) << '\n';
  return ExitSuccess;
}

}  // namespace vocara::cli
