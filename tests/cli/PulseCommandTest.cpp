// vocara-cli pulse: the file Shape+ at each position and Export Shape write, and its refusals.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CliRun.h"
#include "engine/processing/PulseShape.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class PulseCommandTest : public CliFixture {
 protected:
  PulseCommandTest() {
    std::vector<std::int32_t> values(300);
    for (std::size_t i = 0; i < values.size(); ++i)
      values[i] = static_cast<std::int32_t>((i * 37) % 101) * 300 - 15000;
    wav = WriteWav16(dir.File("in.wav"), values);
    silence = WriteFile(dir.File("silence.wav"), CanonicalWav(Format(2), std::string(600, '\0')));
  }
  int Run(const std::vector<std::string>& args) { return CliFixture::Run({"pulse"}, args); }

  std::string wav;
  std::string silence;
  std::string output = dir.File("shape.txt");
};

TEST_F(PulseCommandTest, WritesWhatTheMenuWritesIgnoringPositionsNearTheEnds) {
  ASSERT_EQ(Run({wav, output, "30", "31", "150", "270", "269"}), cli::ExitSuccess) << err.str();
  WavDocument document;
  ASSERT_EQ(WavOpenDocument(document, wav).message, MessageId::None);
  PulseShape shape;
  for (const std::uint32_t at : {31u, 150u, 269u}) AddPulse(shape, document, at);
  ASSERT_TRUE(NormalisePulseShape(shape));
  EXPECT_EQ(ReadFile(output), PulseShapeText(shape));
}

TEST_F(PulseCommandTest, RefusalsWriteNothing) {
  // Silence, and positions too near the ends.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{silence, output, "100"}, {wav, output, "5", "290"}}) {
    EXPECT_EQ(Run(args), cli::ExitFailure) << args.back();
    EXPECT_NE(err.str().find("pulse shape is empty\n"), std::string::npos) << err.str();
    EXPECT_FALSE(std::filesystem::exists(output));
  }
}

}  // namespace
}  // namespace vocara::test
