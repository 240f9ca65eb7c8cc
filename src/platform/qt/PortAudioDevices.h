// The audio devices through PortAudio: the input and output device lists and the format
// query. A machine without any device simply lists none.
#pragma once

#include <string>
#include <vector>

#include "platform/AudioPort.h"

namespace vocara::platform::qt {

// Holds PortAudio initialised for its lifetime. The sound libraries' own diagnostics
// (ALSA's card probing, JACK's server search) are silenced first: the program reports
// device problems itself and prints nothing.
class PortAudioSession {
 public:
  PortAudioSession();
  ~PortAudioSession();
  PortAudioSession(const PortAudioSession&) = delete;
  PortAudioSession& operator=(const PortAudioSession&) = delete;

  bool Ok() const { return ok_; }

 private:
  bool ok_ = false;
};

class PortAudioDevices final : public AudioPort {
 public:
  PortAudioDevices();

  std::vector<std::string> InputDevices() override;
  std::vector<std::string> OutputDevices() override;
  bool IsInputFormatSupported(int device, const AudioFormat& format) override;
  bool IsOutputFormatSupported(int device, const AudioFormat& format) override;

 private:
  PortAudioSession session_;
  // PortAudio device indices of the listed devices, in list order.
  std::vector<int> inputs_;
  std::vector<int> outputs_;
  std::vector<std::string> inputNames_;
  std::vector<std::string> outputNames_;
};

}  // namespace vocara::platform::qt
