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

TEST(AudioFormatRecordTest, DefaultChoiceIsPlainPcmAt48kHz16Bits) {
  const WaveFormatRecord expected{0x01, 0x00,              // format tag 1
                                  0x01, 0x00,              // one channel
                                  0x80, 0xBB, 0x00, 0x00,  // 48000 Hz
                                  0x00, 0x77, 0x01, 0x00,  // 96000 bytes per second
                                  0x02, 0x00,              // block align 2
                                  0x10, 0x00,              // 16 bits
                                  0x00, 0x00,              // extension not announced
                                  0x10, 0x00,              // valid bits
                                  0x01, 0x00, 0x00, 0x00,  // front left
                                  0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  const AudioDeviceChoice defaults;
  EXPECT_EQ(InputFormatRecord(defaults), expected);
  EXPECT_EQ(OutputFormatRecord(defaults), expected);
}

TEST(AudioFormatRecordTest, ExtensibleRecordsCarryTheChannelMask) {
  const WaveFormatRecord left24{0xFE, 0xFF,              // format tag 0xFFFE
                                0x01, 0x00,              // one channel
                                0x44, 0xAC, 0x00, 0x00,  // 44100 Hz
                                0xCC, 0x04, 0x02, 0x00,  // 132300 bytes per second
                                0x03, 0x00,              // block align 3
                                0x18, 0x00,              // 24 bits
                                0x16, 0x00,              // extension size 22
                                0x18, 0x00,              // valid bits
                                0x01, 0x00, 0x00, 0x00,  // front left
                                0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  EXPECT_EQ(AudioFormatRecord(1, 0, 1, 0), left24);

  const WaveFormatRecord right32{0xFE, 0xFF,              // format tag 0xFFFE
                                 0x01, 0x00,              // one channel
                                 0x00, 0xDC, 0x05, 0x00,  // 384000 Hz
                                 0x00, 0x70, 0x17, 0x00,  // 1536000 bytes per second
                                 0x04, 0x00,              // block align 4
                                 0x20, 0x00,              // 32 bits
                                 0x16, 0x00,              // extension size 22
                                 0x20, 0x00,              // valid bits
                                 0x02, 0x00, 0x00, 0x00,  // front right
                                 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  EXPECT_EQ(AudioFormatRecord(1, 7, 2, 1), right32);

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
  AudioDeviceChoice choice;
  choice.inDevice = 2;
  AudioProbe(app, choice);
  ExpectAvailable(false, true);
  choice.inDevice = 1;
  choice.outDevice = -1;
  AudioProbe(app, choice);
  ExpectAvailable(true, false);
}

TEST_F(AudioProbeTest, EachDeviceIsAskedAboutItsOwnDirectionsRecord) {
  AudioDeviceChoice choice;
  choice.inDevice = 1;
  choice.inRate = 3;
  choice.inFormat = 1;
  choice.outRate = 7;
  choice.outSampleSize = 2;
  choice.outChannel = 1;
  choice.outFormat = 1;
  AudioProbe(app, choice);
  EXPECT_EQ(fake.audio.inputQueries, std::vector<WaveFormatRecord>{AudioFormatRecord(1, 3, 0, 0)});
  EXPECT_EQ(fake.audio.outputQueries, std::vector<WaveFormatRecord>{AudioFormatRecord(1, 7, 2, 1)});
}

}  // namespace
}  // namespace vocara::test
