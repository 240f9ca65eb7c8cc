#include "cli/DenoiseCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "base/MessageId.h"
#include "base/NumberText.h"
#include "base/Settings.h"
#include "cli/BuildCommand.h"
#include "cli/Cli.h"
#include "cli/TargetKind.h"
#include "cli/TerminalProgress.h"
#include "engine/processing/NoiseProfile.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

struct Request {
  std::string wav;
  std::string output;
  std::vector<RangeArgument> ranges;  // the --noise range first, then the --add ranges
  GeneralSettings settings;
  Adjustments adjusted;
};

// The arguments after "denoise": two names in order, the options anywhere among them. Returns
// the problem, empty when the arguments are sound.
std::string ParseRequest(const std::vector<std::string>& args, Request& request) {
  ParsedArguments parsed;
  if (std::string problem = ParseArguments(
          args, {"--noise", "--add", "--noise-length", "--white-noise", "--gain", "--settings"}, {}, parsed);
      !problem.empty())
    return problem;
  const std::vector<std::string>& names = parsed.names;
  std::optional<RangeArgument> noise;
  std::vector<RangeArgument> added;
  std::optional<std::string> settingsFile;
  // The last value given of each, with its text.
  std::optional<std::pair<double, std::string>> noiseLength;
  std::optional<std::pair<double, std::string>> whiteNoise;
  std::optional<std::pair<double, std::string>> gain;
  for (const auto& [arg, value] : parsed.values) {
    if (arg == "--noise" || arg == "--add") {
      RangeArgument range;
      if (std::string problem = ParseRange(value, range); !problem.empty()) return problem;
      if (arg == "--add") {
        added.push_back(range);
      } else if (noise) {
        return "--noise is given twice";
      } else {
        noise = range;
      }
    } else if (arg == "--settings") {
      if (settingsFile) return "--settings is given twice";
      settingsFile = value;
    } else {
      const std::optional<double> number = ParseNumber(value);
      if (!number) return arg + " takes a number, not '" + value + "'";
      (arg == "--noise-length"  ? noiseLength
       : arg == "--white-noise" ? whiteNoise
                                : gain) = std::pair{*number, value};
    }
  }
  if (names.size() != 2) return "denoise takes IN.wav OUT.wav";
  if (!noise) return "denoise needs --noise A:B, a range of noise alone";
  request.wav = names[0];
  request.output = names[1];
  request.ranges.push_back(*noise);
  request.ranges.insert(request.ranges.end(), added.begin(), added.end());

  GeneralSettings& s = request.settings;
  if (settingsFile) {
    const std::optional<GeneralSettings> loaded = ReadSettingsFile(*settingsFile, request.adjusted);
    if (!loaded) return "'" + *settingsFile + "' is not a valid 176-byte settings file";
    s = *loaded;
  }
  // As the Settings dialog reads its fields: clamped, the length then rounded (anything below
  // 2048 gives 1024).
  Adjustments& adjusted = request.adjusted;
  if (noiseLength) {
    const double typed =
        adjusted.Clamp("--noise-length", noiseLength->second, noiseLength->first, 0.0, MaxNoiseLength);
    s.noiseLength = static_cast<std::int32_t>(NoiseLengthFor(static_cast<std::int32_t>(typed)));
  }
  if (whiteNoise)
    s.whiteNoise =
        adjusted.Clamp("--white-noise", whiteNoise->second, whiteNoise->first, settings_field::WhiteNoise);
  if (gain) s.noiseGain = adjusted.Clamp("--gain", gain->second, gain->first, settings_field::NoiseGain);
  return {};
}

int Denoise(const Request& request, std::ostream& err, UsageReporter usage) {
  WavDocument wav;
  if (!OpenWav(err, request.wav, wav)) return ExitFailure;

  // Noise= and Noise+ need a selected range that holds the noise sample length, and Remove
  // Noise a range that holds the profile: a stored length below 1024 still captures 1024.
  const GeneralSettings& s = request.settings;
  const std::uint32_t length = NoiseLengthFor(s.noiseLength);
  const std::int64_t shortest = std::max<std::int64_t>(s.noiseLength, length);
  for (const RangeArgument& range : request.ranges) {
    if (const std::string problem = RangePastEnd(range, wav.sampleCount, RangeUnit::Samples, request.wav);
        !problem.empty())
      return usage(err, problem);
    if (range.right == range.left || std::int64_t{range.right - range.left} < shortest) {
      return usage(err, "range '" + range.text + "' is shorter than the noise sample length " +
                            std::to_string(shortest));
    }
  }

  NoiseProfile profile;
  for (std::size_t i = 0; i < request.ranges.size(); ++i)
    CaptureNoise(profile, wav, request.ranges[i].left, request.ranges[i].right, length, i == 0);

  NoiseRemovalSettings settings;
  settings.whiteNoise = s.whiteNoise;
  settings.noiseGain = s.noiseGain;
  if (RefusesOtherKind(err, "denoise", request.output, TargetKind::Wav, {request.wav})) return ExitFailure;
  const bool drawBar = DrawsProgressBar(err);
  NoiseRemovalResult result;
  {
    const InterruptScope interruptible;
    result = RemoveNoise(wav, profile, settings, request.output, TerminalProgress(err, "denoising", drawBar));
  }
  EndProgress(err, drawBar);
  return LongOperationExit(err, result.message, result.result, request.output);
}

}  // namespace

int DenoiseCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  Request request;
  if (const std::string problem = ParseRequest(args, request); !problem.empty()) return usage(err, problem);
  return request.adjusted.Tell(err, Denoise(request, err, usage));
}

}  // namespace vocara::cli
