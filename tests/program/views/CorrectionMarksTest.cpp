// The marks in the SAS window's pitch pane (the correction report's, the notes as sung), checked
// on the pixels and on the texts handed to the text renderer.
#include <string>
#include <tuple>
#include <vector>

#include "program/shell/SasSession.h"
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

// The pitch pane's pixels and labels in one colour.
class PitchMarksTest : public ViewTest {
 protected:
  // The columns of the pitch pane holding a mark pixel on `row`, as [first, end) runs.
  std::vector<std::pair<int, int>> MarkedColumns(int row, platform::Rgb colour = CorrectionMarkColour) {
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < 640; ++x) {
      if (Pixel(SasView, x, row) != colour.Pixel()) continue;
      if (!runs.empty() && runs.back().second == x) {
        ++runs.back().second;
      } else {
        runs.emplace_back(x, x + 1);
      }
    }
    return runs;
  }
  std::vector<std::pair<int, std::string>> Labels(platform::Rgb colour = CorrectionMarkColour) {
    std::vector<std::pair<int, std::string>> labels;
    for (const DrawnText& text : fake.text.drawn)
      if (text.colour == colour) labels.emplace_back(text.x, text.text);
    return labels;
  }
  int Pixels(platform::Rgb colour) {
    int pixels = 0;
    for (int y = 0; y < 600; ++y)
      for (const auto& [first, end] : MarkedColumns(y, colour)) pixels += end - first;
    return pixels;
  }
  int Centre() { return (SasPitchTop(app.windows) + 600) / 2; }
};

class CorrectionMarksTest : public PitchMarksTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    OpenSas(3000);
    Resize(SasView, 640, 600);
    app.windows.sasView.lower.position = 87 - 12;  // note 12 on the pane's centre row
    app.session.correctionReport.notes = {
        Note(100, 200, 12, true, 12),     // on the centre row, labelled
        Note(300, 304, 13, true, -3),     // a semitone (25 rows) higher, too narrow for a label
        Note(400, 450, 12, false, 0),     // nothing found in the corrected file: no mark
        Note(580, 1700, 11, true, -250),  // runs past the page (624 columns)
        Note(2000, 2100, 30, true, 5),    // above the pane
    };
    app.session.correctionReportShown = true;
  }
};

using Runs = std::vector<std::pair<int, int>>;

TEST_F(CorrectionMarksTest, EachAchievedNoteIsALineAtItsPitchOverItsFramesOnThePage) {
  app.session.correctionReportShown = false;  // a report not (yet) whole shows nothing
  Paint(SasView);
  EXPECT_TRUE(MarkedColumns(Centre()).empty());
  app.session.correctionReportShown = true;
  Paint(SasView);
  EXPECT_EQ(std::tuple(MarkedColumns(Centre()), MarkedColumns(Centre() - 25), MarkedColumns(Centre() + 25)),
            std::tuple(Runs{{100, 200}}, Runs{{300, 304}}, Runs{{580, 624}}));
  EXPECT_EQ(Labels(), (std::vector<std::pair<int, std::string>>{{101, "+12"}, {581, "-250"}}));
  // Nothing anywhere else: the unachieved note and the one above the pane draw nothing.
  EXPECT_EQ(Pixels(CorrectionMarkColour), 100 + 4 + 44);

  // Scrolled on: the marks follow their frames, the label sits at the note's first column shown.
  fake.text.drawn.clear();
  app.session.sas.firstFrame = 150;
  SasReadPage(app.session);
  Paint(SasView);
  EXPECT_EQ(MarkedColumns(Centre()), (Runs{{1, 50}}));  // column 0: the inverted cursor line
  EXPECT_EQ(MarkedColumns(Centre() + 25), (Runs{{430, 624}}));
  EXPECT_EQ(Labels(), (std::vector<std::pair<int, std::string>>{{1, "+12"}, {431, "-250"}}));
}

// A take of two flat notes apart from silence: A1 +40 over frames 100 .. 400, and B1 -20 held
// over 740 .. 1000 after a scoop up from 700.
class NoteMarksTest : public PitchMarksTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    std::vector<SasFrame> frames(3000, FreshFrame(0, 0, 0));
    for (int i = 100; i < 400; ++i) frames[i] = FreshFrame(1240, -1000000000, 1000000000);
    for (int i = 700; i < 1000; ++i)
      frames[i] = FreshFrame(static_cast<std::uint16_t>(i < 740 ? 1280 + (i - 700) * 2 : 1380), -1000000000,
                             1000000000);
    OpenSasRecords(SasHeaderFor(100, 48000, 0, frames.size()), frames, EndLinks(300000));
    Resize(SasView, 640, 600);                     // a page of 624 frames
    app.windows.sasView.lower.position = 87 - 12;  // note 12 (A1) on the pane's centre row
  }
};

TEST_F(NoteMarksTest, EachNoteAsSungIsALineAtItsCentreOverItsHeldFramesOfThePageShown) {
  // The held part of a note: inside its frames, after a scoop into it.
  const auto held = [this](std::uint32_t after, std::uint32_t before) {
    EXPECT_EQ(app.session.pageNotes.notes.size(), 1u);
    if (app.session.pageNotes.notes.size() != 1) return std::pair<int, int>{};
    const NoteReport& note = app.session.pageNotes.notes[0];
    EXPECT_GE(note.heldFirst, after);
    EXPECT_LE(note.heldEnd, before);
    EXPECT_LT(note.heldFirst + 100, note.heldEnd);
    return std::pair<int, int>(note.heldFirst - app.session.sas.firstFrame,
                               note.heldEnd - app.session.sas.firstFrame);
  };
  using LabelList = std::vector<std::pair<int, std::string>>;
  Paint(SasView);
  const auto [first, end] = held(100, 400);  // the second note starts past the page
  EXPECT_EQ(MarkedColumns(Centre() - 10, NoteMarkColour), (Runs{{first, end}}));  // 40 cents: 10 rows
  EXPECT_EQ(Labels(NoteMarkColour), (LabelList{{first + 1, "A1 +40"}}));
  EXPECT_EQ(Pixels(NoteMarkColour), end - first);

  // The listing is kept from paint to paint: a paint does not list the notes again.
  app.session.pageNotes.notes.clear();
  Paint(SasView);
  EXPECT_EQ(Pixels(NoteMarkColour), 0);

  // A page read lists them again: only the scooped note is on the page now.
  fake.text.drawn.clear();
  app.session.sas.firstFrame = 500;
  SasReadPage(app.session);
  Paint(SasView);
  const auto [next, nextEnd] = held(740, 1000);
  EXPECT_EQ(MarkedColumns(Centre() - 45, NoteMarkColour), (Runs{{next, nextEnd}}));  // B1 -20: 45 rows
  EXPECT_EQ(Labels(NoteMarkColour), (LabelList{{next + 1, "B1 -20"}}));
  EXPECT_EQ(Pixels(NoteMarkColour), nextEnd - next);
}

TEST_F(NoteMarksTest, ShowNotesTurnsTheMarksOffAndCorrectionMarksTakePrecedence) {
  EXPECT_TRUE(fake.windows.menuEnabled[Id(CommandId::ShowNotes)]);
  EXPECT_TRUE(fake.windows.menuChecked[Id(CommandId::ShowNotes)]);
  Paint(SasView);
  EXPECT_GT(Pixels(NoteMarkColour), 0);
  Command(WavView, Id(CommandId::ShowNotes));
  EXPECT_FALSE(fake.windows.menuChecked[Id(CommandId::ShowNotes)]);
  fake.text.drawn.clear();
  Paint(SasView);
  EXPECT_EQ(std::tuple(Pixels(NoteMarkColour), Labels(NoteMarkColour).empty()), std::tuple(0, true));

  Command(WavView, Id(CommandId::ShowNotes));
  EXPECT_TRUE(fake.windows.menuChecked[Id(CommandId::ShowNotes)]);
  app.session.correctionReport.notes = {Note(100, 400, 12, true, -40)};
  app.session.correctionReportShown = true;
  Paint(SasView);
  EXPECT_EQ(std::tuple(Pixels(NoteMarkColour), MarkedColumns(Centre())), std::tuple(0, (Runs{{100, 400}})));

  Command(WavView, 122);  // SAS closed: nothing to mark
  EXPECT_FALSE(fake.windows.menuEnabled[Id(CommandId::ShowNotes)]);
  Command(WavView, Id(CommandId::ShowNotes));
  EXPECT_TRUE(fake.windows.menuChecked[Id(CommandId::ShowNotes)]);
}

}  // namespace
}  // namespace vocara::test
