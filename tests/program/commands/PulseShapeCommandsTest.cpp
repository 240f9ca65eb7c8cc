// Shape+ and Export Shape through the command handler: when the commands are usable, what the
// save dialog asks, and which outcomes keep the added pulses.
#include <string>
#include <vector>

#include "engine/processing/PulseShape.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class PulseShapeCommandsTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    std::vector<std::int32_t> samples(200);
    for (std::size_t i = 0; i < samples.size(); ++i)
      samples[i] = static_cast<std::int32_t>(i % 23) * 700 - 8000;
    OpenWav16(samples);
  }
  void ShapeAt(std::uint32_t cursor) {
    app.docs.wav.cursor = cursor;
    Command(WavView, 118);
  }
  // What one export of the pulse at `cursor` writes.
  std::string ExpectedText(std::uint32_t cursor) {
    PulseShape shape;
    AddPulse(shape, app.docs.wav, cursor);
    NormalisePulseShape(shape);
    return PulseShapeText(shape);
  }
};

// Export Shape is usable once a pulse is added (which cursors add one: PulseShapeTest), writes
// once and is disabled again.
TEST_F(PulseShapeCommandsTest, ExportWritesOnceThenIsDisabled) {
  ShapeAt(30);
  EXPECT_EQ(std::tuple(app.Has(PulseShapeReady), Enabled(119)), std::tuple(false, false));
  ShapeAt(100);
  ShapeAt(100);
  const std::string output = dir.File("shape.txt");
  app.dialogs.fileDialogName = "left over";
  Command(WavView, 119, output);
  EXPECT_EQ(Describe(fake.desktop.fileRequests.back()),
            "Save Pulse Shape | Text file (*.txt)=*.txt, All Files (*.*)=*.* | txt |  | pathMustExist "
            "hideReadOnly");
  EXPECT_EQ(ReadFile(output), ExpectedText(100));
  EXPECT_EQ(std::tuple(app.Has(PulseShapeReady), Enabled(119), app.docs.pulseShape.values[0]),
            std::tuple(false, false, 0.0));
}

TEST_F(PulseShapeCommandsTest, FailedWriteKeepsTheShapeAndCancelDiscardsIt) {
  ShapeAt(100);
  Command(WavView, 119, dir.File("no/such/folder.txt"));
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(fake.desktop.messages[0].text, "Invalid File Handle");
  EXPECT_TRUE(Enabled(119));

  const std::string output = dir.File("retry.txt");
  Command(WavView, 119, output);
  EXPECT_EQ(ReadFile(output), ExpectedText(100));

  ShapeAt(100);
  fake.desktop.fileAnswers = {};
  Command(WavView, 119);
  EXPECT_FALSE(Enabled(119));
}

}  // namespace
}  // namespace vocara::test
