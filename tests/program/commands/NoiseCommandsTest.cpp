// Noise=, Noise+ and Remove Noise through the command handler: which lengths the profile takes,
// and the denoised file written whole or, after Esc, not at all.
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/wav/WavDocument.h"
#include "platform/Keys.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr std::uint32_t Count = 40959;  // Count + 1 is a multiple of the blocks' half length

class NoiseCommandsTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    wavPath = OpenWav16(UniformNoise(Count, 12));
  }
  std::ptrdiff_t FilesInDir() const {
    return std::distance(std::filesystem::directory_iterator(dir.Path()), {});
  }
  std::string wavPath;
};

// The settings' length is rounded as the Settings dialog rounds it, both for the capture and
// for whether the range can hold it.
TEST_F(NoiseCommandsTest, NoiseEqualsTakesTheRoundedLengthWhenTheRangeHoldsIt) {
  struct Case {
    std::int32_t setting;
    std::uint32_t range;
    std::uint32_t profile;  // 0: the range is too short, Noise= is refused
  } cases[] = {{3000, 2500, 2048}, {1 << 20, 32767, 0}, {1 << 20, 33000, 32768},
               {500, 1000, 0},     {500, 1024, 1024},   {16383, 8192, 8192}};
  for (const Case& c : cases) {
    app.docs.noise.length = 0;
    app.config.settings.noiseLength = c.setting;
    SelectWavRange(1, 1 + c.range);
    Command(WavView, 114);
    EXPECT_EQ(std::tuple(app.docs.noise.length, app.Has(NoiseSampleReady)),
              std::tuple(c.profile, c.profile > 0))
        << c.setting << " over " << c.range;
  }
}

TEST_F(NoiseCommandsTest, RemoveNoiseWritesEverySampleOrAfterEscNothing) {
  SelectWavRange(0, 8192);
  Command(WavView, 114);
  Command(WavView, 115);
  ASSERT_EQ(app.docs.noise.length, 1024u);
  const std::string output = dir.File("clean.wav");
  Command(WavView, 104, output);
  EXPECT_EQ(std::tuple(fake.desktop.messages.size(), app.Has(Busy)), std::tuple(0u, false));
  WavDocument written;
  ASSERT_EQ(WavOpenDocument(written, output).message, MessageId::None);
  EXPECT_EQ(std::tuple(written.sampleCount, written.header.fields.sampleRate), std::tuple(Count, 48000u));

  std::filesystem::remove(output);
  const std::ptrdiff_t files = FilesInDir();
  fake.pump.step = std::chrono::milliseconds(20);  // every block pumps
  fake.pump.onPump = [this] { Key(WavView, platform::key::Escape); };
  fake.desktop.fileAnswers = {output, wavPath};
  Command(WavView, 104);
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_EQ(FilesInDir(), files) << "no temporary file left";
  Command(WavView, 104);
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(fake.desktop.messages[0].text, "Opened file can not be overwritten");
  EXPECT_EQ(ReadFile(wavPath).size(), 44u + 2 * Count);
}

}  // namespace
}  // namespace vocara::test
