// The wave format records built from the device choice, byte for byte, and the probe that
// turns the devices' answers into the Record and Play availability.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/audio/AudioProbe.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"

namespace vocara::test {
namespace {

using platform::WaveFormatRecord;

// --- The format records ---

// A record from its fields, each little-endian in its place: format tag, one channel, rate, bytes per
// second, block align, bits, extension size, valid bits, channel mask, then the PCM subformat GUID.
WaveFormatRecord Record(std::uint16_t tag, std::uint32_t rate, std::uint32_t bytesPerSecond,
                        std::uint16_t block, std::uint16_t bits, std::uint16_t extension,
                        std::uint16_t validBits, std::uint32_t mask) {
  WaveFormatRecord record{};
  std::size_t at = 0;
  const auto put = [&](std::uint32_t value, int bytes) {
    for (int k = 0; k < bytes; ++k) record[at++] = static_cast<std::uint8_t>(value >> (8 * k));
  };
  put(tag, 2), put(1, 2), put(rate, 4), put(bytesPerSecond, 4), put(block, 2), put(bits, 2);
  put(extension, 2), put(validBits, 2), put(mask, 4);
  for (const std::uint8_t b :
       {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
    record[at++] = b;
  EXPECT_EQ(at, record.size());
  return record;
}

TEST(AudioFormatRecordTest, DefaultChoiceIsPlainPcmAt48kHz16BitsAndExtensibleRecordsCarryTheMask) {
  // 96000 bytes per second, the extension not announced, front left.
  const WaveFormatRecord expected = Record(1, 48000, 96000, 2, 16, 0, 16, 1);
  const AudioDeviceChoice defaults;
  EXPECT_EQ(std::tuple(InputFormatRecord(defaults), OutputFormatRecord(defaults)),
            std::tuple(expected, expected));
  EXPECT_EQ(AudioFormatRecord(1, 0, 1, 0), Record(0xFFFE, 44100, 132300, 3, 24, 22, 24, 1));    // front left
  EXPECT_EQ(AudioFormatRecord(1, 7, 2, 1), Record(0xFFFE, 384000, 1536000, 4, 32, 22, 32, 2));  // front right

  // Plain PCM keeps the mask in the unannounced extension, where the device ignores it.
  const WaveFormatRecord pcmRight = AudioFormatRecord(0, 1, 0, 1);
  EXPECT_EQ(platform::RecordField(pcmRight, 16, 2), 0u);
  EXPECT_EQ(platform::RecordField(pcmRight, 20, 4), 2u);
  EXPECT_EQ(platform::DecodeWaveFormat(pcmRight).deviceChannels, 1);
}

// --- The probe ---

class AudioProbeTest : public AppTest {
 protected:
  void SetUp() override {
    fake.audio.inputs = {"Microphone", "Line In"};
    fake.audio.outputs = {"Speakers", "Headphones"};
    ASSERT_TRUE(ProgramStart(app, ""));
    app.flags |= WavOpen;  // so that Play (106) can follow PlayAvailable
    fake.audio.inputQueries.clear();
    fake.audio.outputQueries.clear();
  }

  // Record (101) and Play (106) as the menu shows them after a probe.
  void ExpectAvailable(bool record, bool play) {
    EXPECT_EQ(std::tuple(app.Has(RecordAvailable), app.Has(PlayAvailable), fake.windows.menuEnabled[101],
                         fake.windows.menuEnabled[106]),
              std::tuple(record, play, record, play));
  }
};

TEST_F(AudioProbeTest, FlagsFollowTheDevicesAndTheirAnswers) {
  struct Case {
    const char* what;
    bool inputs;
    bool outputs;
    bool inputTakes;
    bool outputTakes;
    bool record;
    bool play;
  };
  const Case cases[] = {
      {"both usable", true, true, true, true, true, true},
      {"no input device", false, true, true, true, false, true},
      {"no output device", true, false, true, true, true, false},
      {"input format refused", true, true, false, true, false, true},
      {"output format refused", true, true, true, false, true, false},
      {"both refused", true, true, false, false, false, false},
      {"back to usable", true, true, true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fake.audio.inputs = c.inputs ? std::vector<std::string>{"Microphone"} : std::vector<std::string>{};
    fake.audio.outputs = c.outputs ? std::vector<std::string>{"Speakers"} : std::vector<std::string>{};
    fake.audio.inputFormatSupported = c.inputTakes;
    fake.audio.outputFormatSupported = c.outputTakes;
    AudioProbe(app, AudioDeviceChoice{});
    ExpectAvailable(c.record, c.play);
  }
}

TEST_F(AudioProbeTest, ADeviceNumberPastTheListIsUnavailable) {
  AudioProbe(app, {.inDevice = 2});
  ExpectAvailable(false, true);
  AudioProbe(app, {.inDevice = 1, .outDevice = -1});
  ExpectAvailable(true, false);
}

TEST_F(AudioProbeTest, EachDeviceIsAskedAboutItsOwnDirectionsRecord) {
  AudioProbe(app, {.inDevice = 1,
                   .inRate = 3,
                   .inFormat = 1,
                   .outRate = 7,
                   .outSampleSize = 2,
                   .outFormat = 1,
                   .outChannel = 1});
  EXPECT_EQ(fake.audio.inputQueries, std::vector<WaveFormatRecord>{AudioFormatRecord(1, 3, 0, 0)});
  EXPECT_EQ(fake.audio.outputQueries, std::vector<WaveFormatRecord>{AudioFormatRecord(1, 7, 2, 1)});
}

}  // namespace
}  // namespace vocara::test
