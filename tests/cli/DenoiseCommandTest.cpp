// vocara-cli denoise: the captures and the removal it runs for its options (against the engine
// calls themselves), the Settings dialog's clamps, the refusals and the usage errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.h"
#include "base/Settings.h"
#include "engine/processing/NoiseProfile.h"
#include "engine/wav/WavDocument.h"
#include "support/SettingsFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class DenoiseCommandTest : public CliFixture {
 protected:
  DenoiseCommandTest() { wav = WriteWav16(dir.File("in.wav"), UniformNoise(48000, 12, 12345)); }
  int Run(const std::vector<std::string>& args) { return CliFixture::Run({"denoise", wav, output}, args); }
  // What Noise= over the first range, Noise+ over the others and Remove Noise write.
  std::string Expected(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& ranges,
                       std::uint32_t length, double gain, double white) {
    WavDocument document;
    WavOpenDocument(document, wav);
    NoiseProfile profile;
    for (std::size_t i = 0; i < ranges.size(); ++i)
      CaptureNoise(profile, document, ranges[i].first, ranges[i].second, length, i == 0);
    const std::string expected = dir.File("expected.wav");
    RemoveNoise(document, profile, {white, gain}, expected, nullptr);
    return ReadFile(expected);
  }

  std::string wav;
  std::string output = dir.File("out.wav");
};

TEST_F(DenoiseCommandTest, OptionsReachTheCapturesAndTheRemoval) {
  ASSERT_EQ(Run({"--noise", "0:4800"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(ReadFile(output), Expected({{0, 4800}}, 1024, 1.0, 0.0));

  ASSERT_EQ(Run({"--add", "30000:40000", "--noise", "1000:9000", "--add", "20000:24000", "--noise-length",
                 "3000", "--gain", "2.5", "--white-noise", "0.01"}),
            cli::ExitSuccess)
      << err.str();
  EXPECT_EQ(ReadFile(output), Expected({{1000, 9000}, {30000, 40000}, {20000, 24000}}, 2048, 2.5, 0.01));

  // Clamped as the dialog clamps them: length 1024 .. 32768, gain 0 .. 5, white noise 0 .. 100.
  ASSERT_EQ(Run({"--noise", "0:40000", "--noise-length", "1e9", "--gain", "99", "--white-noise", "-3"}),
            cli::ExitSuccess);
  EXPECT_EQ(ReadFile(output), Expected({{0, 40000}}, 32768, 5.0, 0.0));

  // A settings file gives the values the options do not.
  const std::string file =
      WriteFile(dir.File("vocara.INI"),
                SettingsFileBytes({.noiseGain = 0.5, .noiseLength = 4096}, WindowLayout::Defaults()));
  ASSERT_EQ(Run({"--noise", "0:5000", "--settings", file, "--white-noise", "0.02"}), cli::ExitSuccess);
  EXPECT_EQ(ReadFile(output), Expected({{0, 5000}}, 4096, 0.5, 0.02));
}

}  // namespace
}  // namespace vocara::test
