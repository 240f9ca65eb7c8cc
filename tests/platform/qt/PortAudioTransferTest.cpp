// The stream's byte work without a device: the callback is called by hand with chosen frame
// counts and host times.
#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "platform/qt/AudioTransfer.h"

namespace vocara::platform::qt::test {
namespace {

StreamFormat Format(int bits, int deviceChannels = 1, int channel = 0) {
  return StreamFormat{48000, bits, deviceChannels, channel};
}

std::vector<std::uint8_t> Counting(std::size_t count, std::uint8_t first = 1) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

std::vector<int> Completed(AudioTransfer& transfer) {
  std::vector<int> buffers;
  AudioTransfer::Completion completion;
  while (transfer.TakeCompletion(completion)) buffers.push_back(completion.buffer);
  return buffers;
}

TEST(PortAudioTransferTest, PlayedBuffersComeBackInOrderOnceTheDeviceHasSoundedThem) {
  AudioTransfer transfer(Format(16));
  const auto first = Counting(6);        // 3 samples
  const auto second = Counting(4, 100);  // 2 samples
  ASSERT_TRUE(transfer.QueueOutput(1, first.data(), first.size()));
  ASSERT_TRUE(transfer.QueueOutput(2, second.data(), second.size()));
  std::vector<std::uint8_t> out(8, 0xEE);

  // Sounds 0.5 s after now: both are handed over, neither is heard yet.
  EXPECT_FALSE(transfer.Play(out.data(), 4, 10.0, 10.5));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 100, 101}));
  EXPECT_FALSE(transfer.Play(out.data(), 4, 10.1, 10.6));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{102, 103, 0, 0, 0, 0, 0, 0}));
  // The first ended at 10.5 + 3 frames, the second at 10.6 + 1 frame.
  EXPECT_TRUE(transfer.Play(out.data(), 4, 10.5 + 3.0 / 48000, 11.0));
  EXPECT_EQ(Completed(transfer), std::vector<int>{1});
  EXPECT_FALSE(transfer.Play(out.data(), 4, 10.6, 11.1));
  EXPECT_TRUE(transfer.Play(out.data(), 4, 10.6 + 1.0 / 48000, 11.1));
  AudioTransfer::Completion completion;
  ASSERT_TRUE(transfer.TakeCompletion(completion));
  EXPECT_EQ(std::tuple(completion.buffer, completion.bytes, completion.deviceFailed),
            std::tuple(2, 4u, false));
}

TEST(PortAudioTransferTest, EmptyBuffersAndHostsWithoutAClockDoNotWait) {
  AudioTransfer transfer(Format(16));
  std::vector<std::uint8_t> out(8);
  const auto sound = Counting(4);
  // Alone, an empty buffer is done at once; behind another, when that one is heard.
  transfer.QueueOutput(1, nullptr, 0);
  EXPECT_TRUE(transfer.Play(out.data(), 4, 5.0, 5.2));
  EXPECT_EQ(Completed(transfer), std::vector<int>{1});
  transfer.QueueOutput(2, sound.data(), sound.size());
  EXPECT_FALSE(transfer.Play(out.data(), 4, 5.1, 5.3));
  transfer.QueueOutput(3, nullptr, 0);
  EXPECT_FALSE(transfer.Play(out.data(), 4, 5.2, 5.4));
  EXPECT_TRUE(transfer.Play(out.data(), 4, 5.31, 5.5));
  EXPECT_EQ(Completed(transfer), (std::vector<int>{2, 3}));
  // A host clock that runs away still lets the buffer come back.
  transfer.QueueOutput(4, sound.data(), sound.size());
  transfer.Play(out.data(), 4, 6.0, 100.0);
  EXPECT_TRUE(transfer.Play(out.data(), 4, 6.0 + AudioTransfer::LongestDelay, 101.0));
  EXPECT_EQ(Completed(transfer), std::vector<int>{4});
  // Without times the buffer is done when handed over.
  transfer.QueueOutput(5, sound.data(), sound.size());
  EXPECT_TRUE(transfer.Play(out.data(), 4, 0, 0));
  EXPECT_EQ(Completed(transfer), std::vector<int>{5});
}

TEST(PortAudioTransferTest, ExtendedFormatsUseOnlyTheChosenChannelOfTheDevice) {
  for (const int bits : {16, 24, 32}) {
    for (const int channel : {0, 1}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, channel " << channel);
      const std::size_t sample = static_cast<std::size_t>(bits / 8);
      const auto mono = Counting(3 * sample);
      AudioTransfer player(Format(bits, 2, channel));
      player.QueueOutput(1, mono.data(), mono.size());
      std::vector<std::uint8_t> frames(4 * 2 * sample, 0xEE);
      player.Play(frames.data(), 4, 0, 0);
      for (std::size_t frame = 0; frame < 4; ++frame) {
        for (std::size_t byte = 0; byte < sample; ++byte) {
          const std::size_t played = frame < 3 ? mono[frame * sample + byte] : 0;
          EXPECT_EQ(frames[(2 * frame + channel) * sample + byte], played);
          EXPECT_EQ(frames[(2 * frame + 1 - channel) * sample + byte], 0);
        }
      }

      // Recording takes that channel back out, into buffer after buffer.
      AudioTransfer recorder(Format(bits, 2, channel));
      EXPECT_FALSE(recorder.Record(frames.data(), 4));  // nowhere to go: dropped
      std::vector<std::uint8_t> first(2 * sample), second(2 * sample);
      recorder.QueueInput(1, first.data(), first.size());
      recorder.QueueInput(2, second.data(), second.size());
      EXPECT_TRUE(recorder.Record(frames.data(), 3));
      EXPECT_EQ(first, std::vector<std::uint8_t>(mono.begin(), mono.begin() + 2 * sample));
      EXPECT_EQ(Completed(recorder), std::vector<int>{1});
      EXPECT_TRUE(recorder.Record(frames.data() + 3 * 2 * sample, 1));
      std::vector<std::uint8_t> rest(mono.begin() + 2 * sample, mono.end());
      rest.resize(2 * sample, 0);
      EXPECT_EQ(second, rest);
    }
  }
}

TEST(PortAudioTransferTest, NoBufferIsLostWhenTheQueuesFillUp) {
  AudioTransfer transfer(Format(16));
  std::vector<std::uint8_t> out(4);
  for (int buffer = 0; buffer < static_cast<int>(AudioTransfer::QueueSize); ++buffer)
    ASSERT_TRUE(transfer.QueueOutput(buffer, nullptr, 0));
  EXPECT_FALSE(transfer.QueueOutput(99, nullptr, 0));
  transfer.Play(out.data(), 2, 0, 0);
  // The interface thread is slow to collect: the next round waits in the queue.
  for (int buffer = 8; buffer < 16; ++buffer) transfer.QueueOutput(buffer, nullptr, 0);
  transfer.Play(out.data(), 2, 0, 0);
  EXPECT_EQ(Completed(transfer).size(), 8u);
  transfer.Play(out.data(), 2, 0, 0);
  const std::vector<int> later = Completed(transfer);
  EXPECT_EQ(later, (std::vector<int>{8, 9, 10, 11, 12, 13, 14, 15}));

  // A dead device gives back what it held, with how far it got; Drop forgets all.
  const auto sound = Counting(8);
  std::vector<std::uint8_t> capture(8);
  AudioTransfer recorder(Format(16));
  recorder.QueueInput(1, capture.data(), capture.size());
  recorder.QueueInput(2, capture.data(), capture.size());
  recorder.Record(sound.data(), 3);
  const auto unfinished = recorder.TakeUnfinished();
  ASSERT_EQ(unfinished.size(), 2u);
  EXPECT_EQ(
      std::tuple(unfinished[0].buffer, unfinished[0].bytes, unfinished[0].deviceFailed, unfinished[1].buffer),
      std::tuple(1, 6u, true, 2));
  transfer.QueueOutput(21, nullptr, 0);
  transfer.QueueOutput(20, sound.data(), sound.size());
  transfer.Play(out.data(), 2, 0, 0);
  transfer.Drop();
  transfer.Play(out.data(), 2, 0, 0);
  EXPECT_TRUE(Completed(transfer).empty());
}

}  // namespace
}  // namespace vocara::platform::qt::test
