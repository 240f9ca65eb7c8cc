// vocara-cli import: the usage errors, the line that says what was converted, and a refusal
// that writes nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/SoundFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class ImportCommandTest : public CliFixture {
 protected:
  int Run(const std::vector<std::string>& args) { return CliFixture::Run({"import"}, args); }
  std::string input = WriteSound(dir.File("in.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 44100, 24,
                                 {1, -1, 2, -2, 3, -3, 4, -4});
  std::string output = dir.File("out.wav");
};

TEST_F(ImportCommandTest, SaysWhatWasReadAndWritten) {
  ASSERT_EQ(Run({input, output, "--channel", "right", "--bits", "16"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(err.str(),
            "vocara-cli: imported 2 channels of 24-bit WAV at 44100 Hz: channel 1 (right), 16 bits, 44100 "
            "Hz, 4 samples\n");
  EXPECT_EQ(out.str(), "");  // stdout stays free for a pipe's data
  EXPECT_EQ(ReadImportedWav(output).samples.size(), 4u);

  ASSERT_EQ(Run({input, output, "--rate", "48000"}), cli::ExitSuccess) << err.str();
  EXPECT_TRUE(err.str().find("mixed to mono, 24 bits, resampled to 48000 Hz") != std::string::npos)
      << err.str();
  // Quiet, after the command word: nothing said on success, the failure's message all the same.
  ASSERT_EQ(Run({input, output, "-q"}), cli::ExitSuccess);
  EXPECT_EQ(err.str() + out.str(), "");
  EXPECT_EQ(Run({"--quiet", dir.File("missing.wav"), output}), cli::ExitFailure);
  EXPECT_NE(err.str(), "");
}

TEST_F(ImportCommandTest, ARefusedInputWritesNothing) {
  const std::string text = WriteFile(dir.File("notes.txt"), "not a sound");
  EXPECT_EQ(Run({text, output}), cli::ExitFailure);
  EXPECT_TRUE(err.str().starts_with("vocara-cli: " + text + ": Not a sound file that can be imported: "))
      << err.str();
  EXPECT_EQ(out.str(), "");
  EXPECT_FALSE(std::filesystem::exists(output));
}

// A recording cut short: refused with the option that saves it named, or saved with what it
// kept said.
TEST_F(ImportCommandTest, ACutShortFileIsRefusedOrSalvaged) {
  const std::string whole = CanonicalWav(Format(2, 40000), Samples(2, std::vector<std::int32_t>(120000, 5)));
  const std::string cut = WriteFile(dir.File("cut.wav"), whole.substr(0, 44 + 2 * 93800 + 1));
  EXPECT_EQ(Run({cut, output}), cli::ExitFailure);
  EXPECT_EQ(err.str(),
            "vocara-cli: " + cut +
                ": The file is cut short: its sound data ends before the length its header gives.\n"
                "vocara-cli: " +
                cut + ": the file ends before its data does; `vocara-cli import " + cut + " " + output +
                " --salvage` keeps the 2.345 s that are there\n");
  EXPECT_FALSE(std::filesystem::exists(output));
  ASSERT_EQ(Run({cut, output, "--salvage"}), cli::ExitSuccess) << err.str();
  EXPECT_TRUE(err.str().starts_with("vocara-cli: " + cut +
                                    " is cut short: kept 2.345 s of 3.000 s\nvocara-cli: imported "));
  EXPECT_EQ(ReadImportedWav(output).samples, std::vector<std::int32_t>(93800, 5));
}

}  // namespace
}  // namespace vocara::test
