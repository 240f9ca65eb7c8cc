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
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "generate");
    return CliFixture::Run(args);
  }
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
  SynthesisParameters p;
  p[s::Duration] = 1.5;
  p[s::SineFrequency] = 440;
  p[s::SineAmplitude] = 80;
  p[s::SinePhase] = 90;
  p[s::SineFrequency + 1] = 1000;
  p[s::SineAmplitude + 1] = 40;
  p[s::SquareFrequency] = 250;
  p[s::SquareAmplitude] = 30;
  p[s::SquarePhase] = -10;
  p[s::SquareDuty] = 25;
  p[s::TriangleFrequency] = 20000;
  p[s::TriangleAmplitude] = 10;
  p[s::NoiseAmplitude] = 20;
  NormaliseAmplitudes(p);
  EXPECT_EQ(ReadFile(wavOut), Engine(p));

  ASSERT_EQ(Run({wavOut}), cli::ExitSuccess);
  EXPECT_EQ(ReadFile(wavOut), Engine(SynthesisParameters()));
  EXPECT_EQ(ReadFile(wavOut).size(), 44u + 2 * 240000);
}

}  // namespace
}  // namespace vocara::test
