// The sound devices: the input and output choice of the run, and the streams playing and
// recording through two alternating buffers per direction. Plain state; the audio commands
// drive it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/FileHandle.h"
#include "engine/wav/WavHeader.h"
#include "platform/AudioPort.h"

namespace vocara {

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

// About a second of sound at 48000 Hz, 16 bits; a multiple of 2, 3 and 4, so that every
// buffer holds whole samples of every supported width.
inline constexpr std::size_t AudioBufferBytes = 98304;

struct AudioBufferPair {
  alignas(64) std::array<std::array<std::uint8_t, AudioBufferBytes>, 2> data{};
};

struct PlaybackState {
  FileHandle file;  // a second handle on the file being played
  std::uint64_t dataOffset = 0;
  std::uint32_t dataSize = 0;
  unsigned blockAlign = 2;
  std::uint32_t playPos = 0;  // the next sample to be queued
  std::uint32_t playEnd = 0;  // the sample playback ends at, exclusive
  // The open recording's sample that sample 0 of the played file stands for: the start of the
  // rendered range when the corrected file plays, 0 otherwise.
  std::uint32_t positionBase = 0;
  platform::AudioHandle device = 0;  // the last stream opened; kept after closing
  bool deviceOpen = false;
  int queued = 0;        // buffers the device holds
  int expected = 0;      // the buffer to come back next
  bool stopped = false;  // Stop was asked for: the end cuts the sound instead of playing it out
  std::unique_ptr<AudioBufferPair> buffers;  // allocated at the first playback
};

struct RecordingState {
  FileHandle file;
  std::string path;
  WavHeader header;  // its data size counts the bytes recorded so far
  platform::AudioHandle device = 0;
  bool deviceOpen = false;
  int expected = 0;
  std::unique_ptr<AudioBufferPair> buffers;
};

struct Devices {
  AudioDeviceChoice audioChoice;
  // The choice of the last successful OK in the Audio Device Settings dialog (the defaults
  // until then); Cancel returns to it.
  AudioDeviceChoice audioChoiceSaved;
  PlaybackState playback;
  RecordingState recording;
  int lostBuffers = 0;  // buffers that came back out of order since the last start
  // Why the last probe found a direction unusable ("No audio output device"); empty when usable.
  std::string outputProblem;
  std::string inputProblem;
};

}  // namespace vocara
