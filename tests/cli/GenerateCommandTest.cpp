// vocara-cli generate: the bytes the dialog's generator writes for the same clamped and
// normalised parameters, the defaults, the refusals and the usage errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliRun.h"
#include "engine/processing/Synthesis.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace s = synthesis;

class GenerateCommandTest : public CliFixture {
 protected:
  int Run(const std::vector<std::string>& args) { return CliFixture::Run({"generate"}, args); }
  std::string Engine(const SynthesisParameters& p) {
    const std::string path = dir.File("engine.wav");
    EXPECT_EQ(GenerateWaveFile(p, path), MessageId::None);
    return ReadFile(path);
  }
  std::string wavOut = dir.File("out.wav");
};

TEST_F(GenerateCommandTest, WritesWhatTheDialogWrites) {
  ASSERT_EQ(Run({wavOut, "--duration", "1.5", "--sine", "440,80,90", "--sine", "1000,40", "--square",
                 "250,30,-10,25", "--triangle", "99999,10", "--noise", "20"}),
            cli::ExitSuccess)
      << err.str();
  // The triangle's frequency clamped to 20000 Hz.
  const std::pair<int, double> fields[] = {
      {s::Duration, 1.5},        {s::SineFrequency, 440},       {s::SineAmplitude, 80},
      {s::SinePhase, 90},        {s::SineFrequency + 1, 1000},  {s::SineAmplitude + 1, 40},
      {s::SquareFrequency, 250}, {s::SquareAmplitude, 30},      {s::SquarePhase, -10},
      {s::SquareDuty, 25},       {s::TriangleFrequency, 20000}, {s::TriangleAmplitude, 10},
      {s::NoiseAmplitude, 20}};
  SynthesisParameters p;
  for (const auto& [index, value] : fields) p[index] = value;
  NormaliseAmplitudes(p);
  EXPECT_EQ(ReadFile(wavOut), Engine(p));

  ASSERT_EQ(Run({wavOut}), cli::ExitSuccess);
  EXPECT_EQ(ReadFile(wavOut), Engine(SynthesisParameters()));
  EXPECT_EQ(ReadFile(wavOut).size(), 44u + 2 * 240000);
}

}  // namespace
}  // namespace vocara::test
