#include "platform/qt/PortAudioDevices.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <cstdarg>

namespace vocara::platform::qt {

namespace {

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

bool IsSupported(int paDevice, const AudioFormat& format, bool input) {
  const PaDeviceInfo* info = Pa_GetDeviceInfo(paDevice);
  if (info == nullptr) {
    return false;
  }
  PaStreamParameters parameters{};
  parameters.device = paDevice;
  parameters.channelCount = 1;
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

PortAudioDevices::PortAudioDevices() {
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

bool PortAudioDevices::IsInputFormatSupported(int device, const AudioFormat& format) {
  if (device < 0 || device >= static_cast<int>(inputs_.size())) {
    return false;
  }
  return IsSupported(inputs_[static_cast<std::size_t>(device)], format, true);
}

bool PortAudioDevices::IsOutputFormatSupported(int device, const AudioFormat& format) {
  if (device < 0 || device >= static_cast<int>(outputs_.size())) {
    return false;
  }
  return IsSupported(outputs_[static_cast<std::size_t>(device)], format, false);
}

}  // namespace vocara::platform::qt
