// The device lists and format queries; the machine may have no sound device at all.
#include <gtest/gtest.h>

#include "platform/qt/PortAudioDevices.h"

namespace vocara::platform::qt::test {
namespace {

TEST(PortAudioDevicesTest, ListsNamedDevicesAndRejectsUnknownOnes) {
  PortAudioDevices devices;
  const auto inputs = devices.InputDevices();
  const auto outputs = devices.OutputDevices();
  for (const auto& name : inputs) {
    EXPECT_FALSE(name.empty());
  }
  const AudioFormat cd{44100, 16};
  EXPECT_FALSE(devices.IsInputFormatSupported(-1, cd));
  EXPECT_FALSE(devices.IsInputFormatSupported(static_cast<int>(inputs.size()), cd));
  EXPECT_FALSE(devices.IsOutputFormatSupported(static_cast<int>(outputs.size()), cd));
  // A rate no device offers is refused, where there is a device to ask.
  if (!outputs.empty()) {
    EXPECT_FALSE(devices.IsOutputFormatSupported(0, AudioFormat{1, 16}));
  }
}

TEST(PortAudioDevicesTest, SessionsCanFollowEachOther) {
  std::size_t first = 0;
  {
    PortAudioDevices devices;
    first = devices.OutputDevices().size();
  }
  PortAudioDevices again;
  EXPECT_EQ(again.OutputDevices().size(), first);
}

}  // namespace
}  // namespace vocara::platform::qt::test
