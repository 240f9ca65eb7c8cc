// The byte work of one open sound stream. The interface thread queues the program's buffers;
// the device's callback plays or fills them and posts a completion for each one that is
// done. The two sides meet only in lock-free rings, so the callback never waits, allocates or
// locks, and all buffer logic stays on the interface thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/AudioPort.h"
#include "platform/qt/SpscRing.h"

namespace vocara::platform::qt {

class AudioTransfer {
 public:
  // The program keeps two buffers queued per stream; the rest is headroom.
  static constexpr std::size_t QueueSize = 8;
  // Longest a played buffer waits for the device to sound it. Device latencies are far
  // shorter; a later time is a clock the host got wrong, and the buffer must come back anyway.
  static constexpr double LongestDelay = 1.0;

  struct Completion {
    int buffer = 0;
    std::size_t bytes = 0;  // played or recorded
    bool deviceFailed = false;
  };

  explicit AudioTransfer(const StreamFormat& format);

  // Interface thread. False when the queue is full; the buffer is not taken then.
  bool QueueOutput(int buffer, const std::uint8_t* data, std::size_t length);
  bool QueueInput(int buffer, std::uint8_t* data, std::size_t capacity);
  bool TakeCompletion(Completion& completion);

  // Interface thread, only while the device callback cannot run. Drop forgets every queued
  // buffer and completion; TakeUnfinished hands the queued buffers back, in order, marked as
  // failed and with the bytes transferred so far.
  void Drop();
  std::vector<Completion> TakeUnfinished();

  // Device callback. `out` / `in` hold `frames` interleaved device frames. The times are the
  // host's clock now and when the first frame of `out` reaches the converter; 0 when the host
  // does not know them. True when a completion was posted.
  bool Play(std::uint8_t* out, std::size_t frames, double now, double firstFrameSounds);
  bool Record(const std::uint8_t* in, std::size_t frames);

 private:
  struct Queued {
    int buffer = 0;
    const std::uint8_t* source = nullptr;  // playback
    std::uint8_t* target = nullptr;        // recording
    std::size_t size = 0;
    // The callback's own from here on.
    std::size_t position = 0;
    double soundsOutAt = 0;  // when its last frame has been played
  };

  // Whether fewer bytes than a whole sample are left to transfer.
  bool Exhausted(const Queued& queued) const { return queued.size - queued.position < sampleBytes_; }

  StreamFormat format_;
  std::size_t sampleBytes_;
  std::size_t frameBytes_;
  SpscRing<Queued, QueueSize> queue_;
  SpscRing<Completion, QueueSize> completions_;
  // Callback: how many of the oldest queued buffers have been handed to the device whole and
  // wait only to be heard.
  std::size_t played_ = 0;
};

}  // namespace vocara::platform::qt
