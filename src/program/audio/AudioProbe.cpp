#include "program/audio/AudioProbe.h"

#include <algorithm>
#include <string_view>

#include "base/MessageId.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/views/Render.h"

namespace vocara {
namespace {

// The integer-PCM sub-format identifier 00000001-0000-0010-8000-00AA00389B71 as stored.
constexpr std::array<std::uint8_t, 16> PcmSubFormat{0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

void Put(platform::WaveFormatRecord& record, std::size_t offset, std::size_t size, std::uint32_t value) {
  for (std::size_t i = 0; i < size; ++i) record[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <typename Index, std::size_t N>
std::size_t Clamped(Index index, const std::array<const char*, N>&) {
  return static_cast<std::size_t>(std::clamp<std::int64_t>(static_cast<std::int64_t>(index), 0, N - 1));
}

// Greyed sound commands say why in their tooltips, and the WAV window's status strip says it
// while it has nothing else to say.
void ExplainDevices(Screen& screen, Devices& devices, platform::Platform& ports, std::string_view output,
                    std::string_view input) {
  if (devices.outputProblem == output && devices.inputProblem == input) return;
  devices.outputProblem = output;
  devices.inputProblem = input;
  platform::WindowPort& windows = ports.windows;
  for (const CommandId command : {CommandId::Play, CommandId::PlayRange, CommandId::PlayCorrected})
    windows.SetCommandNote(Id(command), devices.outputProblem);
  windows.SetCommandNote(Id(CommandId::Record), devices.inputProblem);
  // Stop has something to end as long as one direction works.
  windows.SetCommandNote(Id(CommandId::Stop), devices.inputProblem.empty() ? "" : devices.outputProblem);
  // Said once in the WAV strip (a refusal said before no longer holds), then after its fields
  // where there is room.
  ShowStatusNotice(screen, WavView,
                   std::string(devices.outputProblem.empty() ? devices.inputProblem : devices.outputProblem));
}

}  // namespace

platform::WaveFormatRecord AudioFormatRecord(std::uint16_t format, std::int32_t rate,
                                             std::uint16_t sampleSize, std::uint32_t channel) {
  const bool extensible = Clamped(format, AudioFormatTexts) == 1;
  const std::uint32_t sampleRate = static_cast<std::uint32_t>(AudioRates[Clamped(rate, AudioRateTexts)]);
  const auto blockAlign = static_cast<std::uint32_t>(Clamped(sampleSize, AudioSampleSizeTexts) + 2);
  platform::WaveFormatRecord record{};
  Put(record, 0, 2, extensible ? platform::WaveFormatExtensible : platform::WaveFormatPcm);
  Put(record, 2, 2, 1);
  Put(record, 4, 4, sampleRate);
  Put(record, 8, 4, blockAlign * sampleRate);
  Put(record, 12, 2, blockAlign);
  Put(record, 14, 2, blockAlign * 8);
  Put(record, 16, 2, extensible ? 22 : 0);
  Put(record, 18, 2, blockAlign * 8);
  Put(record, 20, 4, Clamped(channel, AudioChannelTexts) == 1 ? 2 : 1);
  std::copy(PcmSubFormat.begin(), PcmSubFormat.end(), record.begin() + 24);
  return record;
}

platform::WaveFormatRecord InputFormatRecord(const AudioDeviceChoice& choice) {
  return AudioFormatRecord(choice.inFormat, choice.inRate, choice.inSampleSize, choice.inChannel);
}

platform::WaveFormatRecord OutputFormatRecord(const AudioDeviceChoice& choice) {
  return AudioFormatRecord(choice.outFormat, choice.outRate, choice.outSampleSize, choice.outChannel);
}

AudioProbeResult AudioProbe(App& app, const AudioDeviceChoice& choice) {
  platform::AudioPort& audio = app.ports.audio;
  AudioProbeResult result;
  const auto inputs = audio.InputDevices();
  result.record = !inputs.empty() && choice.inDevice >= 0 &&
                  static_cast<std::size_t>(choice.inDevice) < inputs.size() &&
                  audio.IsInputFormatSupported(choice.inDevice, InputFormatRecord(choice));
  const auto outputs = audio.OutputDevices();
  result.play = !outputs.empty() && choice.outDevice >= 0 &&
                static_cast<std::size_t>(choice.outDevice) < outputs.size() &&
                audio.IsOutputFormatSupported(choice.outDevice, OutputFormatRecord(choice));
  const auto set = [&app](std::uint32_t bit, bool on) {
    app.flags = on ? (app.flags | bit) : (app.flags & ~bit);
  };
  if (!app.devices.recording.deviceOpen) set(RecordAvailable, result.record);
  if (!app.devices.playback.deviceOpen) set(PlayAvailable, result.play);
  UpdateCommandStates(app.commands);
  ExplainDevices(app.screen, app.devices, app.ports,
                 outputs.empty() ? "No audio output device"
                 : result.play   ? ""
                                 : MessageText(MessageId::NotSupportedOutputFormat),
                 inputs.empty()  ? "No audio input device"
                 : result.record ? ""
                                 : MessageText(MessageId::NotSupportedInputFormat));
  return result;
}

}  // namespace vocara
