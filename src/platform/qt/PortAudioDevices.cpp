#include "platform/qt/PortAudioDevices.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <deque>

#include "platform/qt/AudioTransfer.h"

namespace vocara::platform::qt {

// One open stream. The device callback touches only `transfer`, the atomics and the
// descriptor; everything else belongs to the interface thread.
class PortAudioStream {
 public:
  PortAudioStream(bool isOutput, const StreamFormat& format, int notifyView, int wake)
      : output(isOutput), view(notifyView), wakeFd(wake), transfer(format) {}

  const bool output;
  const int view;
  const int wakeFd;
  AudioTransfer transfer;
  PaStream* pa = nullptr;
  bool running = false;  // started, and not stopped by the program since
  bool failed = false;   // the device stopped it: buffers come straight back
  std::atomic<bool> stopping{true};
  std::atomic<bool> stoppedOnItsOwn{false};
  std::deque<AudioTransfer::Completion> givenBack;  // waiting to be delivered
};

namespace {

void Wake(int fd) {
  const std::uint64_t one = 1;
  const ssize_t written = write(fd, &one, sizeof one);
  static_cast<void>(written);  // a full counter still wakes the reader
}

int StreamCallback(const void* input, void* output, unsigned long frames,
                   const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags /*flags*/, void* user) {
  auto* stream = static_cast<PortAudioStream*>(user);
  bool posted = false;
  if (stream->output) {
    posted = stream->transfer.Play(static_cast<std::uint8_t*>(output), frames, time->currentTime,
                                   time->outputBufferDacTime);
  } else if (input != nullptr) {
    posted = stream->transfer.Record(static_cast<const std::uint8_t*>(input), frames);
  }
  if (posted) {
    Wake(stream->wakeFd);
  }
  return paContinue;
}

// Called whenever the stream becomes inactive, also when the program stops it.
void StreamFinished(void* user) {
  auto* stream = static_cast<PortAudioStream*>(user);
  if (!stream->stopping.load(std::memory_order_acquire)) {
    stream->stoppedOnItsOwn.store(true, std::memory_order_release);
    Wake(stream->wakeFd);
  }
}

bool Start(PortAudioStream& stream) {
  stream.stoppedOnItsOwn.store(false);
  stream.stopping.store(false, std::memory_order_release);
  if (Pa_StartStream(stream.pa) != paNoError) {
    stream.stopping.store(true);
    return false;
  }
  stream.running = true;
  return true;
}

// Afterwards the callback no longer runs, so the interface thread may empty the queues.
void Stop(PortAudioStream& stream) {
  stream.stopping.store(true, std::memory_order_release);
  Pa_AbortStream(stream.pa);
  stream.running = false;
}

bool IsStreamFormat(const StreamFormat& format) {
  return format.sampleRate > 0 &&
         (format.bitsPerSample == 16 || format.bitsPerSample == 24 || format.bitsPerSample == 32);
}

void IgnoreAlsaMessage(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                       const char* /*format*/, ...) {}

void IgnoreJackMessage(const char* /*message*/) {}

PaSampleFormat SampleFormat(int bitsPerSample) {
  switch (bitsPerSample) {
    case 24:
      return paInt24;
    case 32:
      return paInt32;
    default:
      return paInt16;
  }
}

bool IsSupported(int paDevice, const WaveFormatRecord& record, bool input) {
  const StreamFormat format = DecodeWaveFormat(record);
  const PaDeviceInfo* info = Pa_GetDeviceInfo(paDevice);
  if (info == nullptr) {
    return false;
  }
  PaStreamParameters parameters{};
  parameters.device = paDevice;
  parameters.channelCount = format.deviceChannels;
  parameters.sampleFormat = SampleFormat(format.bitsPerSample);
  parameters.suggestedLatency = input ? info->defaultLowInputLatency : info->defaultLowOutputLatency;
  parameters.hostApiSpecificStreamInfo = nullptr;
  const PaError result = input ? Pa_IsFormatSupported(&parameters, nullptr, format.sampleRate)
                               : Pa_IsFormatSupported(nullptr, &parameters, format.sampleRate);
  return result == paFormatIsSupported;
}

}  // namespace

PortAudioSession::PortAudioSession() {
  snd_lib_error_set_handler(&IgnoreAlsaMessage);
  jack_set_error_function(&IgnoreJackMessage);
  jack_set_info_function(&IgnoreJackMessage);
  ok_ = Pa_Initialize() == paNoError;
}

PortAudioSession::~PortAudioSession() {
  if (ok_) {
    Pa_Terminate();
  }
}

PortAudioDevices::PortAudioDevices(Delivery deliver)
    : deliver_(std::move(deliver)), wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (!session_.Ok()) {
    return;
  }
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex device = 0; device < count; ++device) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    if (info == nullptr) {
      continue;
    }
    const std::string name = info->name != nullptr ? info->name : "";
    if (info->maxInputChannels > 0) {
      inputs_.push_back(device);
      inputNames_.push_back(name);
    }
    if (info->maxOutputChannels > 0) {
      outputs_.push_back(device);
      outputNames_.push_back(name);
    }
  }
}

std::vector<std::string> PortAudioDevices::InputDevices() { return inputNames_; }

std::vector<std::string> PortAudioDevices::OutputDevices() { return outputNames_; }

bool PortAudioDevices::IsInputFormatSupported(int device, const WaveFormatRecord& format) {
  if (device < 0 || device >= static_cast<int>(inputs_.size())) {
    return false;
  }
  return IsSupported(inputs_[static_cast<std::size_t>(device)], format, true);
}

bool PortAudioDevices::IsOutputFormatSupported(int device, const WaveFormatRecord& format) {
  if (device < 0 || device >= static_cast<int>(outputs_.size())) {
    return false;
  }
  return IsSupported(outputs_[static_cast<std::size_t>(device)], format, false);
}

PortAudioDevices::~PortAudioDevices() {
  // Before PortAudio goes: no callback may outlive its stream.
  while (!streams_.empty()) {
    Close(streams_.begin()->first, streams_.begin()->second->output);
  }
  wakeNotifier_.reset();
  if (wakeFd_ >= 0) {
    close(wakeFd_);
  }
}

AudioHandle PortAudioDevices::OpenOutput(int device, const WaveFormatRecord& format, int notifyView) {
  if (device < 0 || device >= static_cast<int>(outputs_.size())) {
    return 0;
  }
  return Open(outputs_[static_cast<std::size_t>(device)], format, notifyView, true);
}

AudioHandle PortAudioDevices::OpenInput(int device, const WaveFormatRecord& format, int notifyView) {
  if (device < 0 || device >= static_cast<int>(inputs_.size())) {
    return 0;
  }
  return Open(inputs_[static_cast<std::size_t>(device)], format, notifyView, false);
}

AudioHandle PortAudioDevices::Open(int paDevice, const WaveFormatRecord& record, int notifyView,
                                   bool output) {
  const StreamFormat format = DecodeWaveFormat(record);
  const PaDeviceInfo* info = session_.Ok() ? Pa_GetDeviceInfo(paDevice) : nullptr;
  if (info == nullptr || wakeFd_ < 0 || !IsStreamFormat(format) || QCoreApplication::instance() == nullptr) {
    return 0;
  }
  PaStreamParameters parameters{};
  parameters.device = paDevice;
  parameters.channelCount = format.deviceChannels;
  parameters.sampleFormat = SampleFormat(format.bitsPerSample);
  // The program keeps two large buffers queued, so a generous device latency costs nothing
  // and rides out a busy machine.
  parameters.suggestedLatency = output ? info->defaultHighOutputLatency : info->defaultHighInputLatency;
  parameters.hostApiSpecificStreamInfo = nullptr;
  auto stream = std::make_unique<PortAudioStream>(output, format, notifyView, wakeFd_);
  if (Pa_OpenStream(&stream->pa, output ? nullptr : &parameters, output ? &parameters : nullptr,
                    format.sampleRate, paFramesPerBufferUnspecified, paClipOff, &StreamCallback,
                    stream.get()) != paNoError) {
    return 0;
  }
  Pa_SetStreamFinishedCallback(stream->pa, &StreamFinished);
  if (output && !Start(*stream)) {
    Pa_CloseStream(stream->pa);
    return 0;
  }
  if (!wakeNotifier_) {
    wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    QObject::connect(wakeNotifier_.get(), &QSocketNotifier::activated, [this] { DeliverCompletions(); });
  }
  const AudioHandle handle = nextHandle_++;
  streams_.emplace(handle, std::move(stream));
  return handle;
}

PortAudioStream* PortAudioDevices::Find(AudioHandle handle, bool output) {
  const auto found = streams_.find(handle);
  return found != streams_.end() && found->second->output == output ? found->second.get() : nullptr;
}

void PortAudioDevices::CheckAlive(PortAudioStream& stream) {
  if (stream.failed || !(stream.stoppedOnItsOwn.load(std::memory_order_acquire) ||
                         (stream.running && Pa_IsStreamActive(stream.pa) != 1))) {
    return;
  }
  Stop(stream);
  for (const AudioTransfer::Completion& unfinished : stream.transfer.TakeUnfinished()) {
    stream.givenBack.push_back(unfinished);
  }
  stream.failed = true;
  Wake(wakeFd_);
}

void PortAudioDevices::GiveBack(PortAudioStream& stream, int buffer) {
  stream.givenBack.push_back({buffer, 0, true});
  Wake(wakeFd_);
}

void PortAudioDevices::QueueOutput(AudioHandle handle, int buffer, const std::uint8_t* data,
                                   std::size_t length) {
  PortAudioStream* stream = Find(handle, true);
  if (stream == nullptr) {
    return;
  }
  CheckAlive(*stream);
  // A full queue means the caller lost count of its buffers; it gets this one back rather
  // than waiting for it forever.
  if (stream->failed || !stream->transfer.QueueOutput(buffer, data, length)) {
    GiveBack(*stream, buffer);
  }
}

void PortAudioDevices::QueueInput(AudioHandle handle, int buffer, std::uint8_t* data, std::size_t capacity) {
  PortAudioStream* stream = Find(handle, false);
  if (stream == nullptr) {
    return;
  }
  CheckAlive(*stream);
  if (stream->failed || !stream->transfer.QueueInput(buffer, data, capacity)) {
    GiveBack(*stream, buffer);
  }
}

void PortAudioDevices::StartInput(AudioHandle handle) {
  PortAudioStream* stream = Find(handle, false);
  if (stream == nullptr || stream->running || stream->failed) {
    return;
  }
  if (!Start(*stream)) {
    stream->stoppedOnItsOwn.store(true);
    CheckAlive(*stream);
  }
}

void PortAudioDevices::ResetOutput(AudioHandle handle) { Reset(handle, true); }

void PortAudioDevices::ResetInput(AudioHandle handle) { Reset(handle, false); }

void PortAudioDevices::Reset(AudioHandle handle, bool output) {
  PortAudioStream* stream = Find(handle, output);
  if (stream == nullptr) {
    return;
  }
  Stop(*stream);
  stream->transfer.Drop();
  stream->givenBack.clear();
  stream->failed = false;
  // An output stream stays ready for the next buffers, as after opening; an input stream waits
  // for StartInput.
  if (output && !Start(*stream)) {
    stream->stoppedOnItsOwn.store(true);
    CheckAlive(*stream);
  }
}

void PortAudioDevices::CloseOutput(AudioHandle handle) { Close(handle, true); }

void PortAudioDevices::CloseInput(AudioHandle handle) { Close(handle, false); }

void PortAudioDevices::Close(AudioHandle handle, bool output) {
  PortAudioStream* stream = Find(handle, output);
  if (stream == nullptr) {
    return;
  }
  Stop(*stream);
  Pa_CloseStream(stream->pa);
  streams_.erase(handle);
}

void PortAudioDevices::DeliverCompletions() {
  std::uint64_t wakes = 0;
  const ssize_t got = read(wakeFd_, &wakes, sizeof wakes);
  static_cast<void>(got);  // nothing to read is fine: the rings are what counts
  std::vector<AudioHandle> handles;
  for (const auto& entry : streams_) {
    handles.push_back(entry.first);
  }
  // The window procedure may queue, reset or close streams while a message is delivered, so
  // each stream is looked up again after every message.
  for (const AudioHandle handle : handles) {
    const auto entry = streams_.find(handle);
    if (entry == streams_.end()) {
      continue;
    }
    PortAudioStream* stream = entry->second.get();
    CheckAlive(*stream);
    // Buffers given back during delivery wait for the next round, so a program that keeps
    // queueing into a dead stream still lets the event loop run.
    std::size_t givenBackNow = stream->givenBack.size();
    for (;;) {
      const auto found = streams_.find(handle);
      if (found == streams_.end()) {
        break;
      }
      stream = found->second.get();
      AudioTransfer::Completion completion;
      if (!stream->transfer.TakeCompletion(completion)) {
        if (givenBackNow == 0 || stream->givenBack.empty()) {
          break;
        }
        completion = stream->givenBack.front();
        stream->givenBack.pop_front();
        --givenBackNow;
      }
      Message message;
      message.kind = stream->output ? MessageKind::WaveOutDone : MessageKind::WaveInData;
      message.device = handle;
      message.buffer = completion.buffer;
      message.bytes = completion.bytes;
      message.deviceFailed = completion.deviceFailed;
      if (deliver_) {
        deliver_(stream->view, message);
      }
    }
  }
}

}  // namespace vocara::platform::qt
