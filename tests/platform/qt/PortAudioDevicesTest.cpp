// The device lists and format queries; the machine may have no sound device at all.
#include <gtest/gtest.h>

#include "platform/qt/PortAudioDevices.h"
#include "program/audio/AudioProbe.h"

namespace vocara::platform::qt::test {
namespace {

TEST(PortAudioDevicesTest, ListsNamedDevicesAndRejectsUnknownOnes) {
  PortAudioDevices devices;
  const auto inputs = devices.InputDevices();
  const auto outputs = devices.OutputDevices();
  for (const auto& name : inputs) EXPECT_FALSE(name.empty());
  const WaveFormatRecord cd = AudioFormatRecord(0, 0, 0, 0);
  EXPECT_FALSE(devices.IsInputFormatSupported(-1, cd));
  EXPECT_FALSE(devices.IsInputFormatSupported(static_cast<int>(inputs.size()), cd));
  EXPECT_FALSE(devices.IsOutputFormatSupported(static_cast<int>(outputs.size()), cd));
  // A rate no device offers is refused, where there is a device to ask.
  if (!outputs.empty()) {
    EXPECT_FALSE(devices.IsOutputFormatSupported(0, [] {
      WaveFormatRecord odd = AudioFormatRecord(0, 0, 0, 0);
      odd[4] = 1;
      odd[5] = odd[6] = odd[7] = 0;
      return odd;
    }()));
  }
}

}  // namespace
}  // namespace vocara::platform::qt::test
