#include "platform/qt/AudioTransfer.h"

#include <algorithm>
#include <cstring>

namespace vocara::platform::qt {

AudioTransfer::AudioTransfer(const StreamFormat& format)
    : format_(format),
      sampleBytes_(static_cast<std::size_t>(std::max(format.bitsPerSample / 8, 1))),
      frameBytes_(sampleBytes_ * static_cast<std::size_t>(format.deviceChannels)) {}

bool AudioTransfer::QueueOutput(int buffer, const std::uint8_t* data, std::size_t length) {
  Queued queued;
  queued.buffer = buffer;
  queued.source = data;
  queued.size = length;
  return queue_.TryPush(queued);
}

bool AudioTransfer::QueueInput(int buffer, std::uint8_t* data, std::size_t capacity) {
  Queued queued;
  queued.buffer = buffer;
  queued.target = data;
  queued.size = capacity;
  return queue_.TryPush(queued);
}

bool AudioTransfer::TakeCompletion(Completion& completion) { return completions_.TryPop(completion); }

void AudioTransfer::Drop() {
  while (queue_.Size() > 0) {
    queue_.Pop();
  }
  Completion ignored;
  while (completions_.TryPop(ignored)) {
  }
  played_ = 0;
}

std::vector<AudioTransfer::Completion> AudioTransfer::TakeUnfinished() {
  std::vector<Completion> unfinished;
  Queued queued;
  while (queue_.TryPop(queued)) {
    unfinished.push_back({queued.buffer, queued.position, true});
  }
  played_ = 0;
  return unfinished;
}

bool AudioTransfer::Play(std::uint8_t* out, std::size_t frames, double now, double firstFrameSounds) {
  const bool timed = now > 0 && firstFrameSounds > 0;
  const double rate = format_.sampleRate;
  std::size_t frame = 0;
  while (frame < frames && played_ < queue_.Size()) {
    Queued& queued = queue_.Peek(played_);
    const std::size_t samples = std::min(frames - frame, (queued.size - queued.position) / sampleBytes_);
    const std::uint8_t* from = queued.source + queued.position;
    std::uint8_t* to = out + frame * frameBytes_;
    if (samples == 0) {
      // An empty buffer may come without memory.
    } else if (format_.deviceChannels == 1) {
      std::memcpy(to, from, samples * sampleBytes_);
    } else {
      // The mono samples sound in the chosen channel only.
      const std::size_t channelOffset = static_cast<std::size_t>(format_.channel) * sampleBytes_;
      std::memset(to, 0, samples * frameBytes_);
      for (std::size_t i = 0; i < samples; ++i) {
        std::memcpy(to + i * frameBytes_ + channelOffset, from + i * sampleBytes_, sampleBytes_);
      }
    }
    queued.position += samples * sampleBytes_;
    frame += samples;
    if (!Exhausted(queued)) {
      continue;
    }
    // An empty buffer keeps time 0: it is released right behind the buffer before it.
    if (timed && samples > 0) {
      queued.soundsOutAt = std::min(firstFrameSounds + static_cast<double>(frame) / rate, now + LongestDelay);
    }
    ++played_;
  }
  std::memset(out + frame * frameBytes_, 0, (frames - frame) * frameBytes_);

  bool posted = false;
  while (played_ > 0) {
    const Queued& oldest = queue_.Peek(0);
    // Without the host's clock a buffer counts as heard once it is handed over.
    if ((timed && oldest.soundsOutAt > now) ||
        !completions_.TryPush({oldest.buffer, oldest.position, false})) {
      break;
    }
    queue_.Pop();
    --played_;
    posted = true;
  }
  return posted;
}

bool AudioTransfer::Record(const std::uint8_t* in, std::size_t frames) {
  bool posted = false;
  std::size_t frame = 0;
  const std::size_t channelOffset = static_cast<std::size_t>(format_.channel) * sampleBytes_;
  // With no buffer queued the captured sound is dropped.
  while (queue_.Size() > 0) {
    Queued& queued = queue_.Peek(0);
    if (Exhausted(queued)) {
      // A full buffer waits for room among the completions and takes nothing meanwhile.
      if (!completions_.TryPush({queued.buffer, queued.position, false})) {
        break;
      }
      queue_.Pop();
      posted = true;
      continue;
    }
    if (frame == frames) {
      break;
    }
    const std::size_t samples = std::min(frames - frame, (queued.size - queued.position) / sampleBytes_);
    const std::uint8_t* from = in + frame * frameBytes_;
    std::uint8_t* to = queued.target + queued.position;
    if (format_.deviceChannels == 1) {
      std::memcpy(to, from, samples * sampleBytes_);
    } else {
      for (std::size_t i = 0; i < samples; ++i) {
        std::memcpy(to + i * sampleBytes_, from + i * frameBytes_ + channelOffset, sampleBytes_);
      }
    }
    queued.position += samples * sampleBytes_;
    frame += samples;
  }
  return posted;
}

}  // namespace vocara::platform::qt
