// vocara-cli edit: each option ticks its operation with the value read and clamped as the
// dialog reads it, and the file written is exactly the engine's: Silence with the file's own
// threshold, Global Clear as the menu runs it (what it restores: SasRangeOpsTest); no operation
// changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.h"
#include "engine/sas/SasRangeOps.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// Amplitudes 0, 2^29 .. 5 x 2^29: frames 0 to 3 lie below 50 % of full scale.
std::vector<SasFrame> Analysed() {
  std::vector<SasFrame> frames;
  for (int i = 0; i < 6; ++i)
    frames.push_back(FreshFrame(static_cast<std::uint16_t>(500 + 1000 * i), -(i << 28), i << 28));
  frames[5] = FreshFrame(8000, -(5 << 28), 5 << 28);
  return frames;
}

class EditCommandTest : public CliFixture {
 protected:
  // The analysed frames with two of them edited, four links, a silence threshold of 50 %.
  std::string Write(const std::string& path) {
    std::vector<SasFrame> frames = Analysed();
    frames[1].targetPitch = 900 | TimeCorrectionOffBit;
    frames[2].targetAmplitude = 5;
    return WriteSasFile(path, header, frames, {{0, 0}, {150, 200}, {320, 330}, {600, 600}});
  }
  int Run(const std::vector<std::string>& args) { return CliFixture::Run({"edit", Write(sas)}, args); }
  // The same change made by the engine on a fresh copy.
  std::string Engine(std::uint32_t first, std::uint32_t end, unsigned ops, const SasRangeParams& params) {
    SasDocument document;
    EXPECT_EQ(SasOpenDocument(document, Write(dir.File("engine.sas"))), MessageId::None);
    EXPECT_TRUE(SasApplyRange(document, first, end, ops, params));
    return ReadFile(dir.File("engine.sas"));
  }

  std::string sas = dir.File("in.sas");
  SasHeader header = SasHeaderFor(100, 48000, 0x1234, 6, 4, {.silenceThreshold = 50});
};

// Each case against the engine's own result on the same file; no operation leaves it as it was.
TEST_F(EditCommandTest, OptionsTickTheirOperationsWithTheFieldsClampedValues) {
  using Op = SasRangeOps;
  struct Case {
    std::vector<std::string> args;
    unsigned ops = 0;
    SasRangeParams params = {};
    std::uint32_t first = 0, end = 6;
  } cases[] = {
      {{"--transpose", "5000"}, Op::Transpose, {100, 1200}},
      {{"--scale", "0"}, Op::ScaleAmplitude, {0}},
      {{"--scale", "150", "--transpose", "-50.7"}, Op::ScaleAmplitude | Op::Transpose, {150, -50}},
      {{"--enable-below", "100", "--disable-above", "0"},
       Op::DisableTimeCorrection | Op::EnableTimeCorrection},
      {{"--range", "2:4", "--silence-below", "200", "--remove-links"},
       Op::Silence | Op::RemoveLinks,
       {100, 0, 0, 100, 100},
       2,
       4},
      {{"--remove-links", "--range", "3:3"}, Op::RemoveLinks, {}, 3, 3},
      {{}},
      {{"--range", "1:2"}},
      {{"--silence"}, Op::Silence, {100, 0, 0, 100, 50}},  // the file's own threshold
      {{"--clear"}, Op::ScaleAmplitude | Op::Transpose | Op::EnableTimeCorrection | Op::RemoveLinks},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Run(c.args), cli::ExitSuccess) << ::testing::PrintToString(c.args) << err.str();
    EXPECT_EQ(ReadFile(sas), Engine(c.first, c.end, c.ops, c.params)) << ::testing::PrintToString(c.args);
  }
}

}  // namespace
}  // namespace vocara::test
