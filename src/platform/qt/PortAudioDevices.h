// The audio devices through PortAudio: the input and output device lists, the format
// query and the streams. A machine without any device simply lists none.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/AudioPort.h"
#include "platform/Message.h"

class QSocketNotifier;

namespace vocara::platform::qt {

class PortAudioStream;

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

// Each stream's device callback only moves bytes between the device and the queued buffers
// and posts what is done to a lock-free ring, then wakes the interface thread through an
// event descriptor. There the completions become WaveOutDone / WaveInData messages, handed to
// the delivery function in the order the buffers were queued. A stream that stops on its own
// gives every queued buffer back marked deviceFailed, so nobody waits on a dead device.
// A reset output stream keeps running, playing silence until new buffers come; a reset input
// stream waits for StartInput. Streams open only under a QCoreApplication, whose event loop
// carries the messages.
class PortAudioDevices final : public AudioPort {
 public:
  // Receives each finished buffer's message for the stream's window.
  using Delivery = std::function<void(int view, const Message& message)>;

  explicit PortAudioDevices(Delivery deliver = {});
  ~PortAudioDevices() override;
  PortAudioDevices(const PortAudioDevices&) = delete;
  PortAudioDevices& operator=(const PortAudioDevices&) = delete;
  void SetDelivery(Delivery deliver) { deliver_ = std::move(deliver); }

  std::vector<std::string> InputDevices() override;
  std::vector<std::string> OutputDevices() override;
  bool IsInputFormatSupported(int device, const WaveFormatRecord& format) override;
  bool IsOutputFormatSupported(int device, const WaveFormatRecord& format) override;
  AudioHandle OpenOutput(int device, const WaveFormatRecord& format, int notifyView) override;
  void QueueOutput(AudioHandle handle, int buffer, const std::uint8_t* data, std::size_t length) override;
  void ResetOutput(AudioHandle handle) override;
  void CloseOutput(AudioHandle handle) override;
  AudioHandle OpenInput(int device, const WaveFormatRecord& format, int notifyView) override;
  void QueueInput(AudioHandle handle, int buffer, std::uint8_t* data, std::size_t capacity) override;
  void StartInput(AudioHandle handle) override;
  void ResetInput(AudioHandle handle) override;
  void CloseInput(AudioHandle handle) override;

 private:
  AudioHandle Open(int paDevice, const WaveFormatRecord& record, int notifyView, bool output);
  PortAudioStream* Find(AudioHandle handle, bool output);
  // Notices a stream the device stopped without being asked, and gives its buffers back.
  void CheckAlive(PortAudioStream& stream);
  void GiveBack(PortAudioStream& stream, int buffer);
  void Reset(AudioHandle handle, bool output);
  void Close(AudioHandle handle, bool output);
  void DeliverCompletions();

  PortAudioSession session_;
  // PortAudio device indices of the listed devices, in list order.
  std::vector<int> inputs_;
  std::vector<int> outputs_;
  std::vector<std::string> inputNames_;
  std::vector<std::string> outputNames_;

  Delivery deliver_;
  // Written by the device callbacks after posting a completion; read on the interface thread.
  int wakeFd_ = -1;
  std::unique_ptr<QSocketNotifier> wakeNotifier_;
  std::map<AudioHandle, std::unique_ptr<PortAudioStream>> streams_;
  AudioHandle nextHandle_ = 1;
};

}  // namespace vocara::platform::qt
