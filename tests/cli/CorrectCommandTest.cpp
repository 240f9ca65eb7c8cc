// vocara-cli correct: the round trip with build, ranges, the fit refusal, time correction from
// the SAS's stored setting and from the option, and the formants.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "CliRun.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class CorrectCommandTest : public CliFixture {
 protected:
  CorrectCommandTest() {
    // A second of a 330 Hz tone with an overtone.
    for (int i = 0; i < 48000; ++i) {
      const double t = i / 48000.0;
      tone.push_back(static_cast<std::int32_t>(9000 * std::sin(2 * std::numbers::pi * 330 * t) +
                                               3000 * std::sin(2 * std::numbers::pi * 660 * t)));
    }
    wav = WriteWav16(dir.File("in.wav"), tone);
  }
  // Frames of hop 400 at A3 (a period of 218 samples) moved by `cents`, timeCorrection as stored.
  std::string MakeSas(int cents, std::int32_t timeCorrection, std::uint32_t checksumOffset = 0) {
    SasHeader header = SasHeaderFor(400, 48000, WavChecksum(wav) + checksumOffset, 120);
    header.settings.timeCorrection = timeCorrection;
    SasFrame frame = FreshFrame(3600, -1 << 30, 1 << 30);
    frame.targetPitch = static_cast<std::uint16_t>(3600 - cents);
    return WriteSasFile(dir.File("in.sas"), header, std::vector<SasFrame>(120, frame), EndLinks(48000));
  }
  double OutputSamples() { return (static_cast<double>(std::filesystem::file_size(output)) - 44) / 2; }

  std::vector<std::int32_t> tone;
  std::string wav;
  std::string output = dir.File("out.wav");
};

TEST_F(CorrectCommandTest, BuildThenCorrectGivesTheRecordingBack) {
  const std::string sas = dir.File("tone.sas");
  ASSERT_EQ(Run({"build", wav, sas}), cli::ExitSuccess) << err.str();
  ASSERT_EQ(Run({"correct", wav, sas, output}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(ReadFile(output), ReadFile(wav));
  // A range as Play Corrected renders it; A:A gives one sample.
  ASSERT_EQ(Run({"correct", "--range", "1000:2500", wav, sas, output}), cli::ExitSuccess);
  EXPECT_EQ(ReadFile(output),
            CanonicalWav(Format(2), Samples(2, {tone.begin() + 1000, tone.begin() + 2500})));
  ASSERT_EQ(Run({"correct", wav, sas, output, "--range", "7:7"}), cli::ExitSuccess);
  EXPECT_EQ(OutputSamples(), 1);
}

TEST_F(CorrectCommandTest, ASasThatDoesNotFitIsRefusedNamingBothChecksums) {
  EXPECT_EQ(Run({"correct", wav, MakeSas(0, -1, 1), output}), cli::ExitFailure);
  EXPECT_EQ(err.str(), "WAV and SAS files does not fit.\nvocara-cli: " + dir.File("in.sas") +
                           ": made from another recording than " + wav + " (its WAV checksum 0x001e0001, " +
                           wav + "'s 0x001e0000)\n");
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(CorrectCommandTest, TimeCorrectionFollowsTheSasUnlessTheOptionOverrides) {
  // 100 cents up: without time correction 2^(-1/12) as long; with it, within a period and a
  // frame's drift (23 samples) of the input's length.
  const double resampled = 47999 * std::exp2(-100 / 1200.0) + 1;
  const std::string off = MakeSas(-100, 0);
  ASSERT_EQ(Run({"correct", wav, off, output}), cli::ExitSuccess);
  EXPECT_NEAR(OutputSamples(), resampled, 2);
  ASSERT_EQ(Run({"correct", wav, off, output, "--time-correction", "on"}), cli::ExitSuccess);
  EXPECT_NEAR(OutputSamples(), 48000, 218 + 23);
  const std::string on = MakeSas(-100, -1);
  ASSERT_EQ(Run({"correct", wav, on, output}), cli::ExitSuccess);
  EXPECT_NEAR(OutputSamples(), 48000, 218 + 23);
  ASSERT_EQ(Run({"correct", wav, on, output, "--time-correction", "off"}), cli::ExitSuccess);
  EXPECT_NEAR(OutputSamples(), resampled, 2);
}

// Frames whose targets lie 25 octaves below their sources (as a damaged or random SAS can
// ask): the output would pass the largest WAV. Nothing is written and the reason is given (with
// time correction on or off: CorrectTest).
TEST_F(CorrectCommandTest, AnOutputPastTheLargestWavIsRefusedAndTheOldFileKept) {
  SasFrame frame = FreshFrame(30000, -1 << 30, 1 << 30);
  frame.targetPitch = 0;
  const std::string sas =
      WriteSasFile(dir.File("stretched.sas"), SasHeaderFor(400, 48000, WavChecksum(wav), 120),
                   std::vector<SasFrame>(120, frame), EndLinks(48000));
  WriteFile(output, "the previous file");
  EXPECT_EQ(Run({"correct", wav, sas, output}), cli::ExitFailure);
  EXPECT_EQ(err.str(), "vocara-cli: could not write " + output + "\nvocara-cli: " + output +
                           ": the corrected recording would pass the 4 GiB limit of a WAV file\n");
  EXPECT_TRUE(ReadFile(output) == "the previous file") << "size " << ReadFile(output).size();
}

// --formants: shift is the default render byte for byte; keep follows the same timeline (the
// same length; with time correction off too: KeepFormantsTest), and report measures its pitch.
TEST_F(CorrectCommandTest, KeepingTheFormantsFollowsTheSameTimelineAndReportMeasuresIt) {
  const std::string sas = MakeSas(-100, -1);
  ASSERT_EQ(Run({"correct", wav, sas, output}), cli::ExitSuccess);
  const std::string shifted = ReadFile(output);
  ASSERT_EQ(Run({"correct", wav, sas, output, "--formants", "shift"}), cli::ExitSuccess);
  EXPECT_EQ(ReadFile(output), shifted);
  ASSERT_EQ(Run({"correct", wav, sas, output, "--formants", "keep"}), cli::ExitSuccess);
  EXPECT_EQ(OutputSamples(), (shifted.size() - 44) / 2.0);
  EXPECT_NE(ReadFile(output), shifted);
  ASSERT_EQ(Run({"report", wav, sas, output, "--formants", "keep"}), cli::ExitSuccess) << err.str();
  EXPECT_NE(out.str().find("A#3"), std::string::npos) << out.str();
}

// --formant-shift keeps the formants whatever --formants says (0 is plain keep), a value past
// 1200 cents renders as 1200 and says so, and a word is a usage error.
TEST_F(CorrectCommandTest, AFormantShiftImpliesKeepAndIsClamped) {
  const std::string sas = MakeSas(-100, -1);
  ASSERT_EQ(Run({"correct", wav, sas, output, "--formants", "keep"}), cli::ExitSuccess);
  const std::string kept = ReadFile(output);
  ASSERT_EQ(Run({"correct", wav, sas, output, "--formant-shift", "0", "--formants", "keep"}),
            cli::ExitSuccess);
  EXPECT_EQ(ReadFile(output), kept);
  ASSERT_EQ(Run({"correct", wav, sas, output, "--formant-shift", "1200"}), cli::ExitSuccess);
  const std::string highest = ReadFile(output);
  EXPECT_NE(highest, kept);
  ASSERT_EQ(Run({"correct", wav, sas, output, "--formants", "shift", "--formant-shift", "5000"}),
            cli::ExitSuccess);
  EXPECT_EQ(ReadFile(output), highest);
  EXPECT_NE(err.str().find("--formant-shift 5000"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"correct", wav, sas, output, "--formant-shift", "up"}), cli::ExitUsage);
}

}  // namespace
}  // namespace vocara::test
