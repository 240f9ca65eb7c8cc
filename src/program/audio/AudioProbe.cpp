#include "program/audio/AudioProbe.h"

#include <algorithm>

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"

namespace vocara {
namespace {

platform::AudioFormat FormatOf(std::int32_t rate, std::uint16_t sampleSize) {
  platform::AudioFormat format;
  const auto rateIndex = static_cast<std::size_t>(std::clamp<std::int32_t>(rate, 0, AudioRates.size() - 1));
  format.sampleRate = AudioRates[rateIndex];
  format.bitsPerSample = 16 + 8 * std::min<int>(sampleSize, 2);
  return format;
}

}  // namespace

platform::AudioFormat InputFormatOf(const AudioDeviceChoice& choice) {
  return FormatOf(choice.inRate, choice.inSampleSize);
}

platform::AudioFormat OutputFormatOf(const AudioDeviceChoice& choice) {
  return FormatOf(choice.outRate, choice.outSampleSize);
}

void AudioProbe(App& app, const AudioDeviceChoice& choice) {
  platform::AudioPort& audio = app.ports.audio;
  app.flags |= RecordAvailable | PlayAvailable;
  const auto inputs = audio.InputDevices();
  if (inputs.empty() || choice.inDevice < 0 || static_cast<std::size_t>(choice.inDevice) >= inputs.size() ||
      !audio.IsInputFormatSupported(choice.inDevice, InputFormatOf(choice))) {
    app.flags &= ~static_cast<std::uint32_t>(RecordAvailable);
  }
  const auto outputs = audio.OutputDevices();
  if (outputs.empty() || choice.outDevice < 0 ||
      static_cast<std::size_t>(choice.outDevice) >= outputs.size() ||
      !audio.IsOutputFormatSupported(choice.outDevice, OutputFormatOf(choice))) {
    app.flags &= ~static_cast<std::uint32_t>(PlayAvailable);
  }
  UpdateCommandStates(app);
}

}  // namespace vocara
