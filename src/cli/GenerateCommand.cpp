#include "cli/GenerateCommand.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include "cli/Cli.h"
#include "cli/TargetKind.h"
#include "engine/processing/Synthesis.h"

namespace vocara::cli {
namespace {

namespace s = synthesis;

// "F,A[,PHASE[,DUTY]]": between `least` and `most` numbers separated by commas.
std::optional<std::vector<double>> ParseList(std::string_view text, std::size_t least, std::size_t most) {
  std::vector<double> values;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::optional<double> value = ParseNumber(text.substr(0, comma));
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (values.size() < least || values.size() > most) return std::nullopt;
  return values;
}

// A value given: which parameter, and how the user wrote it, to say so if it is clamped.
struct Given {
  int index;
  std::string option;
  std::string text;
};

// "F,A,PHASE,DUTY" split at the commas (ParseList has checked the numbers).
std::vector<std::string> Parts(std::string_view text) {
  std::vector<std::string> parts;
  for (std::size_t comma = text.find(','); comma != std::string_view::npos; comma = text.find(',')) {
    parts.emplace_back(text.substr(0, comma));
    text.remove_prefix(comma + 1);
  }
  parts.emplace_back(text);
  return parts;
}

constexpr const char* PartNames[] = {"frequency", "amplitude", "phase", "duty"};

// The arguments after "generate". Returns the problem, empty when the arguments are sound.
std::string ParseArguments(const std::vector<std::string>& args, std::string& output, SynthesisParameters& p,
                           std::vector<Given>& values) {
  std::vector<std::string> names;
  int sines = 0;
  bool duration = false, square = false, triangle = false, noise = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      names.push_back(arg);
      continue;
    }
    if (arg != "--duration" && arg != "--sine" && arg != "--square" && arg != "--triangle" &&
        arg != "--noise")
      return "unknown option '" + arg + "'";
    if (i + 1 == args.size()) return arg + " needs a value";
    const std::string& value = args[++i];
    if (arg == "--duration" || arg == "--noise") {
      bool& given = arg == "--duration" ? duration : noise;
      if (given) return arg + " is given twice";
      given = true;
      const std::optional<double> number = ParseNumber(value);
      if (!number) return arg + " takes a number, not '" + value + "'";
      const int index = arg == "--duration" ? s::Duration : s::NoiseAmplitude;
      p[index] = *number;
      values.push_back({index, arg, value});
    } else if (arg == "--sine") {
      if (sines == s::SineCount) return "at most 10 --sine waves";
      const auto list = ParseList(value, 2, 3);
      if (!list) return "--sine takes F,A[,PHASE], not '" + value + "'";
      const int indices[] = {s::SineFrequency + sines, s::SineAmplitude + sines, s::SinePhase + sines};
      const std::vector<std::string> parts = Parts(value);
      for (std::size_t k = 0; k < list->size(); ++k) {
        p[indices[k]] = (*list)[k];
        values.push_back({indices[k], arg + " " + PartNames[k], parts[k]});
      }
      ++sines;
    } else {
      const bool isSquare = arg == "--square";
      bool& given = isSquare ? square : triangle;
      if (given) return arg + " is given twice";
      given = true;
      const auto list = ParseList(value, 2, 4);
      if (!list) return arg + " takes F,A[,PHASE[,DUTY]], not '" + value + "'";
      const int indices[] = {isSquare ? s::SquareFrequency : s::TriangleFrequency,
                             isSquare ? s::SquareAmplitude : s::TriangleAmplitude,
                             isSquare ? s::SquarePhase : s::TrianglePhase,
                             isSquare ? s::SquareDuty : s::TriangleDuty};
      const std::vector<std::string> parts = Parts(value);
      for (std::size_t k = 0; k < list->size(); ++k) {
        p[indices[k]] = (*list)[k];
        values.push_back({indices[k], arg + " " + PartNames[k], parts[k]});
      }
    }
  }
  if (names.size() != 1) return "generate takes OUT.wav";
  output = names[0];
  return {};
}

}  // namespace

int GenerateCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  std::string output;
  SynthesisParameters parameters;
  std::vector<Given> given;
  if (const std::string problem = ParseArguments(args, output, parameters, given); !problem.empty())
    return usage(err, problem);
  Adjustments adjusted;
  for (const Given& g : given) {
    const ParameterRange range = SynthesisRange(g.index);
    adjusted.Clamp(g.option, g.text, parameters[g.index], range.min, range.max);
  }
  ClampSynthesisParameters(parameters);
  NormaliseAmplitudes(parameters);
  if (RefusesOtherKind(err, "generate", output, TargetKind::Wav)) return adjusted.Tell(err, ExitFailure);
  if (const MessageId failed = GenerateWaveFile(parameters, output); failed != MessageId::None)
    return adjusted.Tell(err, OutputFailure(err, failed, output));
  return adjusted.Tell(err, ExitSuccess);
}

}  // namespace vocara::cli
