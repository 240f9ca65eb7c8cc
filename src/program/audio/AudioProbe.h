// The input and output device and format chosen for the run, and the probe that decides
// whether recording and playback are possible with them.
#pragma once

#include <array>
#include <cstdint>

#include "platform/AudioPort.h"
#include "program/shell/DeviceState.h"

namespace vocara {

struct App;

// The four tables the choice indexes, in the order the dialog lists them.
inline constexpr std::array<const char*, 8> AudioRateTexts{"44100",  "48000",  "88200",  "96000",
                                                           "176400", "192000", "352800", "384000"};
inline constexpr std::array<const char*, 3> AudioSampleSizeTexts{"16", "24", "32"};
inline constexpr std::array<const char*, 2> AudioFormatTexts{"PCM", "PCM Ext"};
inline constexpr std::array<const char*, 2> AudioChannelTexts{"Left", "Right"};

// The 40-byte format record of one direction: format tag by the format choice, one
// channel, the rate, block align = sample-size index + 2, the extension (announced only
// for "PCM Ext") with the channel mask and the integer-PCM sub-format.
platform::WaveFormatRecord AudioFormatRecord(std::uint16_t format, std::int32_t rate,
                                             std::uint16_t sampleSize, std::uint32_t channel);
platform::WaveFormatRecord InputFormatRecord(const AudioDeviceChoice& choice);
platform::WaveFormatRecord OutputFormatRecord(const AudioDeviceChoice& choice);

struct AudioProbeResult {
  bool record = false;  // the input device accepts the input format
  bool play = false;    // the output device accepts the output format
};

// Asks the devices whether they accept the choice, sets RecordAvailable and PlayAvailable from
// the answers, then re-evaluates command enabling. A direction in use keeps its bits: while
// recording RecordAvailable is the stop request, and a stream that plays gives PlayAvailable
// back itself when it closes.
AudioProbeResult AudioProbe(App& app, const AudioDeviceChoice& choice);

}  // namespace vocara
