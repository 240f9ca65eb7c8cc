// The input and output device and format chosen for the run, and the probe that decides
// whether recording and playback are possible with them.
#pragma once

#include <array>
#include <cstdint>

#include "platform/AudioPort.h"

namespace vocara {

struct App;

inline constexpr std::array<int, 8> AudioRates{44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};

struct AudioDeviceChoice {
  std::int32_t inDevice = 0;
  std::int32_t inRate = 1;         // index into AudioRates
  std::uint16_t inSampleSize = 0;  // 16, 24, 32 bits
  std::uint16_t inFormat = 0;      // "PCM", "PCM Ext"
  std::uint32_t inChannel = 0;     // "Left", "Right"
  std::int32_t outDevice = 0;
  std::int32_t outRate = 1;
  std::uint16_t outSampleSize = 0;
  std::uint16_t outFormat = 0;
  std::uint32_t outChannel = 0;
};

platform::AudioFormat InputFormatOf(const AudioDeviceChoice& choice);
platform::AudioFormat OutputFormatOf(const AudioDeviceChoice& choice);

// Sets RecordAvailable and PlayAvailable from what the devices accept, then re-evaluates
// command enabling.
void AudioProbe(App& app, const AudioDeviceChoice& choice);

}  // namespace vocara
