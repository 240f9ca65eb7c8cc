#include "cli/EditCommand.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

#include "base/MessageId.h"
#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "cli/InPlaceChange.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"

namespace vocara::cli {
namespace {

// The menu entries that take the whole file and no values of their own.
enum class WholeFile { None, Silence, Clear };

struct Options {
  std::string sas;
  std::optional<RangeArgument> range;
  unsigned ops = 0;
  SasRangeFields fields;
  WholeFile whole = WholeFile::None;
  Adjustments adjusted;
};

// The dialog's edit fields: each option ticks its box and fills its field, whose range
// ClampSasRangeParams applies.
struct ValueOption {
  std::string_view name;
  unsigned op;
  double SasRangeFields::*field;
  double min;
  double max;
};

constexpr std::array<ValueOption, 5> ValueOptions{{
    {"--scale", SasRangeOps::ScaleAmplitude, &SasRangeFields::scaleAmplitude, MinScaleAmplitude,
     MaxScaleAmplitude},
    {"--transpose", SasRangeOps::Transpose, &SasRangeFields::transpose, MinTranspose, MaxTranspose},
    {"--disable-above", SasRangeOps::DisableTimeCorrection, &SasRangeFields::disableAbove, MinRangeThreshold,
     MaxRangeThreshold},
    {"--enable-below", SasRangeOps::EnableTimeCorrection, &SasRangeFields::enableBelow, MinRangeThreshold,
     MaxRangeThreshold},
    {"--silence-below", SasRangeOps::Silence, &SasRangeFields::silenceBelow, MinRangeThreshold,
     MaxRangeThreshold},
}};

// The arguments after "edit": one name, the options anywhere around it. Returns the problem,
// empty when the arguments are sound.
std::string ParseOptions(const std::vector<std::string>& args, Options& options) {
  std::vector<std::string> names;
  std::array<std::string, ValueOptions.size()> texts;  // the last one given of each
  bool editOptions = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto value = std::find_if(ValueOptions.begin(), ValueOptions.end(),
                                    [&arg](const ValueOption& option) { return option.name == arg; });
    if (value != ValueOptions.end() || arg == "--range") {
      if (i + 1 == args.size()) return arg + " needs a value";
      const std::string& text = args[++i];
      editOptions = true;
      if (value != ValueOptions.end()) {
        // Read as the dialog reads its field, but only a number as a whole.
        const std::optional<double> number = ParseFieldNumber(text);
        if (!number) return NotANumber(arg, text);
        options.fields.*(value->field) = *number;
        options.ops |= value->op;
        texts[static_cast<std::size_t>(value - ValueOptions.begin())] = text;
        continue;
      }
      RangeArgument range;
      if (std::string problem = ParseRange(text, range); !problem.empty()) return problem;
      options.range = range;
    } else if (arg == "--remove-links") {
      options.ops |= SasRangeOps::RemoveLinks;
      editOptions = true;
    } else if (arg == "--silence" || arg == "--clear") {
      const WholeFile whole = arg == "--silence" ? WholeFile::Silence : WholeFile::Clear;
      if (options.whole != WholeFile::None && options.whole != whole)
        return "--silence and --clear cannot be combined";
      options.whole = whole;
    } else if (arg.starts_with("--")) {
      return "unknown option '" + arg + "'";
    } else {
      names.push_back(arg);
    }
  }
  if (names.size() != 1) return "edit takes one IN.sas";
  if (options.whole != WholeFile::None && editOptions)
    return "--silence and --clear take the whole file and no other option";
  options.sas = names[0];
  // The transpose is also cut to whole cents; only the range is worth saying.
  for (std::size_t k = 0; k < ValueOptions.size(); ++k) {
    const ValueOption& option = ValueOptions[k];
    if ((options.ops & option.op) != 0)
      options.adjusted.Clamp(option.name, texts[k], options.fields.*(option.field), option.min, option.max);
  }
  return {};
}

int Edit(Options& options, std::ostream& err, UsageReporter usage);

}  // namespace

int EditCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  Options options;
  if (const std::string problem = ParseOptions(args, options); !problem.empty()) return usage(err, problem);
  return options.adjusted.Tell(err, Edit(options, err, usage));
}

namespace {

int Edit(Options& options, std::ostream& err, UsageReporter usage) {
  SasDocument sas;
  if (!OpenSas(err, options.sas, SasAccess::ReadWrite, sas)) return ExitFailure;
  const std::uint32_t frameCount = sas.header.frameCount;
  sas.shownFrameCount = frameCount;
  std::uint32_t first = 0;
  std::uint32_t end = frameCount;
  if (options.range) {
    if (const std::string problem =
            FitRange(*options.range, FrameScale(sas), frameCount, RangeUnit::Frames, options.sas);
        !problem.empty())
      return usage(err, problem);
    first = options.range->left;
    end = options.range->right;
  }

  SasRangeParams params;
  unsigned ops = options.ops;
  switch (options.whole) {
    case WholeFile::Silence:
      // Opening a SAS makes its stored settings live, so its own threshold is the one in force.
      params.silenceBelow = sas.header.settings.silenceThreshold;
      ops = SasRangeOps::Silence;
      break;
    case WholeFile::Clear:
      ops = SasRangeOps::ScaleAmplitude | SasRangeOps::Transpose | SasRangeOps::EnableTimeCorrection |
            SasRangeOps::RemoveLinks;
      break;
    case WholeFile::None:
      params = ClampSasRangeParams(options.fields);
      break;
  }
  if (ops == 0) return ExitSuccess;
  return ChangeInPlace(err, sas, options.sas,
                       [&](const ProgressCallback&) { return SasApplyRange(sas, first, end, ops, params); });
}

}  // namespace

}  // namespace vocara::cli
