#include "cli/PulseCommand.h"

#include <cstdint>
#include <optional>

#include "base/MessageId.h"
#include "cli/Cli.h"
#include "cli/TargetKind.h"
#include "engine/processing/PulseShape.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {

int PulseCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  if (args.size() < 4) return usage(err, "pulse takes IN.wav OUT.txt and at least one sample position");
  std::vector<TimeValue> positions;
  for (std::size_t i = 3; i < args.size(); ++i) {
    const std::optional<TimeValue> position = ParseTime(args[i]);
    if (!position)
      return usage(err, "position '" + args[i] + "' is not a whole sample number" +
                            std::string(MeantAsSeconds(args[i]) ? OrSeconds : ""));
    positions.push_back(*position);
  }

  WavDocument wav;
  if (!OpenWav(err, args[1], wav)) return ExitFailure;
  PulseShape shape;
  for (const TimeValue& position : positions) AddPulse(shape, wav, TimeIndex(position, SampleScale(wav)));
  if (!NormalisePulseShape(shape)) {
    err << "pulse shape is empty\n";
    return ExitFailure;
  }
  if (RefusesOtherKind(err, "pulse", args[2], TargetKind::Text, {args[1]})) return ExitFailure;
  if (const MessageId failed = WritePulseShape(wav, shape, args[2]); failed != MessageId::None)
    return OutputFailure(err, failed, args[2]);
  return ExitSuccess;
}

}  // namespace vocara::cli
