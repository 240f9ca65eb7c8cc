#include "cli/CorrectCommand.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/MessageId.h"
#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "cli/TargetKind.h"
#include "cli/TerminalProgress.h"
#include "engine/processing/Correct.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

struct Options {
  std::string wav;
  std::string sas;
  std::string output;
  std::optional<RangeArgument> range;
  std::optional<bool> timeCorrection;
  Formants formants = Formants::Shift;
};

// The arguments after "correct": three names in order, the options anywhere among them.
// Returns the problem, empty when the arguments are sound.
std::string ParseOptions(const std::vector<std::string>& args, Options& options) {
  ParsedArguments parsed;
  if (std::string problem = ParseArguments(args, {"--range", "--time-correction", "--formants"}, {}, parsed);
      !problem.empty())
    return problem;
  for (const auto& [arg, value] : parsed.values) {
    if (arg == "--time-correction") {
      if (value != "on" && value != "off") return "--time-correction takes on or off, not '" + value + "'";
      options.timeCorrection = value == "on";
      continue;
    }
    if (arg == "--formants") {
      if (value != "keep" && value != "shift") return "--formants takes keep or shift, not '" + value + "'";
      options.formants = value == "keep" ? Formants::Keep : Formants::Shift;
      continue;
    }
    RangeArgument range;
    if (std::string problem = ParseRange(value, range); !problem.empty()) return problem;
    options.range = range;
  }
  const std::vector<std::string>& names = parsed.names;
  if (names.size() != 3) return "correct takes IN.wav IN.sas OUT.wav";
  options.wav = names[0];
  options.sas = names[1];
  options.output = names[2];
  return {};
}

}  // namespace

int CorrectCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  Options options;
  if (const std::string problem = ParseOptions(args, options); !problem.empty()) return usage(err, problem);

  WavDocument wav;
  if (!OpenWav(err, options.wav, wav)) return ExitFailure;
  SasDocument sas;
  if (!OpenSas(err, options.sas, SasAccess::ReadOnly, sas)) return ExitFailure;
  if (!SasFitsWav(sas.header, wav)) return DoesNotFit(err, options.wav, wav, options.sas, sas.header);

  CorrectRequest request;
  request.start = 0;
  request.end = wav.sampleCount;
  request.mode = CorrectMode::Save;
  if (options.range) {
    if (const std::string problem = RangePastEnd(*options.range, wav.sampleCount, RangeUnit::Samples,
                                                 options.wav, RangeQuote::Unquoted);
        !problem.empty())
      return usage(err, problem);
    request.start = options.range->left;
    request.end = options.range->right;
    request.mode = CorrectMode::Play;
  }
  // Opening a SAS makes its stored settings live, so its own switch decides unless overridden.
  request.timeCorrection = options.timeCorrection.value_or(sas.header.settings.timeCorrection != 0);
  request.formants = options.formants;

  if (RefusesOtherKind(err, "correct", options.output, TargetKind::Wav, {options.wav, options.sas}))
    return ExitFailure;
  const bool drawBar = DrawsProgressBar(err);
  CorrectResult result;
  {
    const InterruptScope interruptible;
    result = Correct(wav, sas, request, options.output, TerminalProgress(err, "correcting", drawBar));
  }
  EndProgress(err, drawBar);
  const int exit = LongOperationExit(err, result.message, result.result, options.output);
  if (result.passesWavLimit)
    err << "vocara-cli: " << options.output
        << ": the corrected recording would pass the 4 GiB limit of a WAV file\n";
  return exit;
}

}  // namespace vocara::cli
