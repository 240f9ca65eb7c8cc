// The audio devices as the core sees them: lists of input and output devices, a format
// query, and double-buffered streams that report each finished buffer as a message to a
// window (WaveOutDone / WaveInData), so that all buffer logic runs on the interface thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vocara::platform {

// A 40-byte wave format record, laid out as the extensible wave format of the classic
// desktop: tag, channels, rate, bytes per second, block align, bits, extension size, valid
// bits, channel mask, sub-format. Little-endian.
using WaveFormatRecord = std::array<std::uint8_t, 40>;

inline constexpr std::uint16_t WaveFormatPcm = 1;
inline constexpr std::uint16_t WaveFormatExtensible = 0xFFFE;

// What a device stream needs from a record.
struct StreamFormat {
  int sampleRate = 48000;
  int bitsPerSample = 16;  // 16, 24 or 32, integer PCM, packed little-endian samples
  // 1: a mono stream. 2: the extensible format's channel mask places the mono samples in one
  // channel of a two-channel stream (silence in the other), or takes one channel of a
  // two-channel input.
  int deviceChannels = 1;
  int channel = 0;  // 0 left, 1 right; meaningful with two device channels
};

inline std::uint32_t RecordField(const WaveFormatRecord& record, std::size_t offset, std::size_t size) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= std::uint32_t{record[offset + i]} << (8 * i);
  return value;
}

inline StreamFormat DecodeWaveFormat(const WaveFormatRecord& record) {
  StreamFormat format;
  format.sampleRate = static_cast<int>(RecordField(record, 4, 4));
  format.bitsPerSample = static_cast<int>(RecordField(record, 14, 2));
  if (RecordField(record, 0, 2) == WaveFormatExtensible && RecordField(record, 16, 2) >= 22) {
    format.deviceChannels = 2;
    format.channel = (RecordField(record, 20, 4) & 2) != 0 && (RecordField(record, 20, 4) & 1) == 0 ? 1 : 0;
  }
  return format;
}

// An open stream; 0 is never a valid handle. Handles are not reused within a run.
using AudioHandle = std::intptr_t;

class AudioPort {
 public:
  virtual ~AudioPort() = default;
  // Devices are numbered by their position in these lists.
  virtual std::vector<std::string> InputDevices() = 0;
  virtual std::vector<std::string> OutputDevices() = 0;
  virtual bool IsInputFormatSupported(int device, const WaveFormatRecord& format) = 0;
  virtual bool IsOutputFormatSupported(int device, const WaveFormatRecord& format) = 0;

  // Opens and starts an output stream on `device`; finished buffers come back as WaveOutDone
  // messages to window `notifyView`, in the order they were queued. 0 when the device
  // cannot be opened with the format.
  virtual AudioHandle OpenOutput(int device, const WaveFormatRecord& format, int notifyView) = 0;
  // Queues `length` bytes (whole samples) as buffer `buffer`. The program leaves the memory
  // alone until the buffer comes back. A buffer comes back once its last sample has been
  // played; an empty one as soon as the buffers before it are done. With no buffer queued
  // the device plays silence.
  virtual void QueueOutput(AudioHandle handle, int buffer, const std::uint8_t* data, std::size_t length) = 0;
  // Stops the sound at once and drops every queued buffer; no message comes for them.
  virtual void ResetOutput(AudioHandle handle) = 0;
  // Closes the stream; no message for it is delivered afterwards.
  virtual void CloseOutput(AudioHandle handle) = 0;

  // Opens an input stream (not yet running); full buffers come back as WaveInData messages
  // with the number of bytes they hold.
  virtual AudioHandle OpenInput(int device, const WaveFormatRecord& format, int notifyView) = 0;
  virtual void QueueInput(AudioHandle handle, int buffer, std::uint8_t* data, std::size_t capacity) = 0;
  virtual void StartInput(AudioHandle handle) = 0;
  // Stops capturing and drops the queued buffers; no message comes for them.
  virtual void ResetInput(AudioHandle handle) = 0;
  virtual void CloseInput(AudioHandle handle) = 0;
};

}  // namespace vocara::platform
