// The road a musician takes, through the real window procedure and mouse handler on the fake
// platform: a recording analysed and opened with its SAS, a freehand pitch stroke, a time link
// and an in-range pitch shift drawn with the mouse, then Correct. The SAS holds exactly those
// edits, and the rendered recording is the input up to the first edit and differs inside it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/views/ViewFixture.h"
#include "support/SoundFiles.h"

namespace vocara::test {
namespace {

using platform::MessageKind;
using platform::Point;

constexpr std::uint32_t Rate = 22050;
constexpr int PitchRow = 400;  // in the pitch pane of a 640 x 600 SAS window

class EditScenarioTest : public ViewTest {
 protected:
  void Mouse(MessageKind kind, Point at, bool ctrl = false) { AppTest::Mouse(kind, SasView, at, ctrl); }
  void Drag(Point from, Point to, bool ctrl = false) {
    Mouse(MessageKind::LeftDown, from, ctrl);
    for (int step = 1; step <= 4; ++step)
      Mouse(MessageKind::MouseMove,
            {from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4}, ctrl);
    Mouse(MessageKind::LeftUp, to, ctrl);
  }
};

TEST_F(EditScenarioTest, MouseEditsThenCorrectChangeTheRecordingWhereTheEditsAre) {
  const std::string wav = WriteWav16(dir.File("take.wav"), Sine16(220, Rate, 2), Rate);
  const std::string sas = dir.File("take.sas");
  ASSERT_TRUE(BuildSas(wav, sas));
  OpenDocumentByName(app, wav);
  OpenDocumentByName(app, sas);
  ASSERT_TRUE(app.Has(WavOpen | SasOpen | WavSasMatch));
  Resize(SasView, 640, 600);
  const std::vector<SasFrame> analysed = ReadSasFrames(sas);
  const std::uint32_t hop = ReadSasHeader(sas).frameLength;

  Command(SasView, 132);  // Freehand: a pitch stroke over columns 50 .. 80
  Drag({50, PitchRow}, {80, PitchRow});
  // Set Time Link: the cursor at column 200, then a click on the ruler above it, a link that pins
  // frame 200 where it is (one that moved it would retime everything from the start).
  Command(SasView, 129);
  Drag({200, 150}, {200, 150});
  Drag({200, 40}, {200, 40});
  Command(SasView, 131);  // In Range: columns 300 .. 340 selected, the pitch pane dragged down
  Drag({300, 150}, {340, 150}, true);
  Drag({320, PitchRow}, {320, PitchRow + 40});
  ASSERT_EQ(app.session.sas.range.left, 300);
  ASSERT_EQ(app.session.sas.range.right, 340);

  const std::string out = dir.File("corrected.wav");
  Command(WavView, 105, out);
  ASSERT_TRUE(fake.desktop.messages.empty());

  // The file holds exactly the edits: the stroke, the link, the shifted range.
  const std::vector<SasFrame> edited = ReadSasFrames(sas);
  ASSERT_EQ(edited.size(), analysed.size());
  for (std::size_t i = 0; i < edited.size(); ++i) {
    const bool stroke = i >= 50 && i <= 80;
    const bool shifted = i >= 300 && i < 340;
    EXPECT_EQ(edited[i].targetPitch != analysed[i].targetPitch, stroke || shifted) << "frame " << i;
    EXPECT_EQ(edited[i].targetAmplitude, analysed[i].targetAmplitude) << "frame " << i;
  }
  EXPECT_EQ(ReadSasLinks(sas), (std::vector<TimeLink>{{0, 0}, {200 * hop, 200 * hop}, {2 * Rate, 2 * Rate}}));

  // The render: the input untouched before the stroke, changed inside it.
  const std::vector<std::int32_t> input = Stored16(wav);
  const std::vector<std::int32_t> output = Stored16(out);
  ASSERT_GT(output.size(), 80u * hop);
  const std::size_t strokeStart = 50 * hop;
  EXPECT_TRUE(std::equal(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(strokeStart - hop),
                         output.begin()));
  EXPECT_FALSE(std::equal(input.begin() + static_cast<std::ptrdiff_t>(strokeStart),
                          input.begin() + static_cast<std::ptrdiff_t>(80 * hop),
                          output.begin() + static_cast<std::ptrdiff_t>(strokeStart)));
}

}  // namespace
}  // namespace vocara::test
