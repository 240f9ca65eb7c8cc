// The correction report's marks in the SAS window's pitch pane, checked on the pixels and on the
// texts handed to the text renderer.
#include <string>
#include <vector>

#include "program/views/CorrectionMarks.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"
#include "program/views/ViewFixture.h"

namespace vocara::test {
namespace {

// A note of the report: frames first <= i < end, achieved at `note` (on the pitch grid).
NoteReport Note(std::uint32_t first, std::uint32_t end, int note, bool achieved, double error) {
  return {.firstFrame = first, .endFrame = end, .note = note, .achieved = achieved, .errorCents = error};
}

class CorrectionMarksTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    OpenSas(3000);
    Resize(SasView, 640, 600);
    app.sasView.lower.position = 87 - 12;  // note 12 on the pane's centre row
    app.correctionReport.notes = {
        Note(100, 200, 12, true, 12),     // on the centre row, labelled
        Note(300, 304, 13, true, -3),     // a semitone (25 rows) higher, too narrow for a label
        Note(400, 450, 12, false, 0),     // nothing found in the corrected file: no mark
        Note(580, 1700, 11, true, -250),  // runs past the page (624 columns)
        Note(2000, 2100, 30, true, 5),    // above the pane
    };
    app.correctionReportShown = true;
  }
  // The columns of the pitch pane holding a mark pixel on `row`, as [first, end) runs.
  std::vector<std::pair<int, int>> MarkedColumns(int row) {
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < 640; ++x) {
      if (Pixel(SasView, x, row) != CorrectionMarkColour.Pixel()) continue;
      if (!runs.empty() && runs.back().second == x) {
        ++runs.back().second;
      } else {
        runs.emplace_back(x, x + 1);
      }
    }
    return runs;
  }
  std::vector<std::pair<int, std::string>> Labels() {
    std::vector<std::pair<int, std::string>> labels;
    for (const DrawnText& text : fake.text.drawn)
      if (text.colour == CorrectionMarkColour) labels.emplace_back(text.x, text.text);
    return labels;
  }
  int Centre() { return (SasPitchTop(app) + 600) / 2; }
};

using Runs = std::vector<std::pair<int, int>>;

TEST_F(CorrectionMarksTest, EachAchievedNoteIsALineAtItsPitchOverItsFramesOnThePage) {
  app.correctionReportShown = false;  // a report not (yet) whole shows nothing
  Paint(SasView);
  EXPECT_TRUE(MarkedColumns(Centre()).empty());
  app.correctionReportShown = true;
  Paint(SasView);
  EXPECT_EQ(MarkedColumns(Centre()), (Runs{{100, 200}}));
  EXPECT_EQ(MarkedColumns(Centre() - 25), (Runs{{300, 304}}));
  EXPECT_EQ(MarkedColumns(Centre() + 25), (Runs{{580, 624}}));
  EXPECT_EQ(Labels(), (std::vector<std::pair<int, std::string>>{{101, "+12"}, {581, "-250"}}));
  // Nothing anywhere else: the unachieved note and the one above the pane draw nothing.
  int pixels = 0;
  for (int y = 0; y < 600; ++y) pixels += static_cast<int>(MarkedColumns(y).size());
  EXPECT_EQ(pixels, 3);

  // Scrolled on: the marks follow their frames, the label sits at the note's first column shown.
  fake.text.drawn.clear();
  app.sas.firstFrame = 150;
  SasReadPage(app);
  Paint(SasView);
  EXPECT_EQ(MarkedColumns(Centre()), (Runs{{1, 50}}));  // column 0: the inverted cursor line
  EXPECT_EQ(MarkedColumns(Centre() + 25), (Runs{{430, 624}}));
  EXPECT_EQ(Labels(), (std::vector<std::pair<int, std::string>>{{1, "+12"}, {431, "-250"}}));
}

}  // namespace
}  // namespace vocara::test
