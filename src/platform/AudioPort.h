// The audio devices as the core sees them: lists of input and output devices and a
// format query. Streams arrive with playback and recording.
#pragma once

#include <string>
#include <vector>

namespace vocara::platform {

struct AudioFormat {
  int sampleRate = 48000;
  int bitsPerSample = 16;  // 16, 24 or 32, integer PCM, mono
};

class AudioPort {
 public:
  virtual ~AudioPort() = default;
  virtual std::vector<std::string> InputDevices() = 0;
  virtual std::vector<std::string> OutputDevices() = 0;
  virtual bool IsInputFormatSupported(int device, const AudioFormat& format) = 0;
  virtual bool IsOutputFormatSupported(int device, const AudioFormat& format) = 0;
};

}  // namespace vocara::platform
