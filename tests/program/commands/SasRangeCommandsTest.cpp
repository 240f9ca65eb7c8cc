// The S&AS Range menu and Silence / Global Clear in the program: the range rules, the "Change
// SAS range" dialog, the write-back before and the page after, undo of each operation.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/commands/SasCommands.h"
#include "program/commands/SasRangeCommands.h"
#include "program/commands/SasUndo.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/SasSession.h"
#include "support/AppFixture.h"
#include "support/SasFiles.h"

namespace vocara::test {
namespace {

class SasRangeCommandsTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    // Frames 0..2999: quiet below 100 and from 200 on, loud (full scale / 2) in between.
    for (std::uint16_t i = 0; i < 3000; ++i) {
      const bool loud = i >= 100 && i < 200;
      frames.push_back(
          FreshFrame(static_cast<std::uint16_t>(1000 + i), loud ? -(1 << 30) : -5, loud ? 1 << 30 : 5));
    }
    path = WriteSasFile(dir.File("take.sas"), SasHeaderFor(100, 48000, 0, frames.size(), 3), frames,
                        {{0, 0}, {15000, 15500}, {300000, 300000}});
    SasOpenCommand(app, &path);
    ASSERT_TRUE(app.Has(SasOpen));
  }

  std::vector<SasFrame> frames;
  std::string path;
};

TEST_F(SasRangeCommandsTest, SetLeftSetRightSelectAllAndFindKeepTheRangeRule) {
  app.windows.geometry[SasView].drawnCursorX = app.windows.geometry[SasView].cursorX = 150;
  SelectSasRange(10, 20);
  const auto range = [this] {
    return std::tuple(app.session.sas.range.left, app.session.sas.range.right, app.Has(SasRangeSelected));
  };
  Command(SasView, 135);  // Set Left past the right end: the right end follows, the range is empty
  EXPECT_EQ(range(), std::tuple(150, 150, false));
  Command(SasView, 137);
  EXPECT_EQ(range(), std::tuple(0, 3000, true));  // Select All
  Command(SasView, 134);                          // Find on the loud note around the cursor
  EXPECT_EQ(range(), std::tuple(99, 200, true));
  app.windows.geometry[SasView].cursorX = 50;  // a quiet frame: empty range
  Command(SasView, 134);
  EXPECT_FALSE(app.Has(SasRangeSelected));
}

TEST_F(SasRangeCommandsTest, TheDialogShowsKeepsClampsAndDefaultsItsValues) {
  std::vector<std::string> shown;
  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    for (int id = 101; id <= 105; ++id) shown.push_back(dialog.GetText(id));
    dialog.SetText(101, "2500");
    dialog.SetText(102, "-77.9");
    dialog.SetText(103, "abc");
    procedure.OnCommand(dialog, platform::DialogOk);  // no box ticked: nothing is applied
  });
  SelectSasRange(0, 3000);
  Command(SasView, 140);
  EXPECT_EQ(shown, (std::vector<std::string>{"100", "0", "0", "100", "0"}));
  EXPECT_EQ(std::tuple(app.dialogs.sasRangeParams.scaleAmplitude, app.dialogs.sasRangeParams.transpose,
                       app.dialogs.sasRangeParams.disableAbove),
            std::tuple(1000.0, -77, 0.0));
  EXPECT_EQ(Saved(), frames);
  EXPECT_TRUE(app.session.undo.undo.empty());

  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    EXPECT_EQ(dialog.GetText(101), "1000");  // kept for the run
    dialog.SetChecked(106, true);
    procedure.OnCommand(dialog, 3);  // Default: initial values, boxes cleared, still open
    EXPECT_EQ(dialog.GetText(101), "100");
    EXPECT_FALSE(dialog.IsChecked(106));
    procedure.OnCommand(dialog, platform::DialogCancel);
  });
  Command(SasView, 140);
  EXPECT_EQ(app.dialogs.sasRangeParams, SasRangeParams{});
  EXPECT_EQ(SasRangeDialogTemplate().title, "Change SAS range");
}

TEST_F(SasRangeCommandsTest, GlobalEditWritesBackAppliesAndUndoes) {
  app.session.sas.page[5].targetAmplitude = 3;  // a page edit not yet written back
  app.flags |= SasPageDirty;
  app.flags |= CorrectedTempCurrent;
  SelectSasRange(0, 10);
  OkNextDialog({{102, "100"}}, {107});
  Command(SasView, 140);
  const std::vector<SasFrame> saved = Saved();
  // Written back before the operation; frame 10 outside the range; the page read again; Play Corrected
  // renders anew.
  EXPECT_EQ(std::tuple(saved[5].targetAmplitude, saved[9].targetPitch, saved[10].targetPitch,
                       app.session.sas.page[9].targetPitch, app.Has(CorrectedTempCurrent)),
            std::tuple(3u, std::uint16_t{1109}, std::uint16_t{1010}, std::uint16_t{1109}, false));
  Command(SasView, Id(CommandId::Undo));
  std::vector<SasFrame> expected = frames;
  expected[5].targetAmplitude = 3;  // the edit before the operation stays
  EXPECT_EQ(Saved(), expected);
}

TEST_F(SasRangeCommandsTest, GlobalClearDropsUnwrittenEditsAndUndoBringsThemBack) {
  app.session.sas.page[7].targetPitch = 4000;
  app.flags |= SasPageDirty;
  Command(SasView, 125);
  EXPECT_EQ(std::tuple(Saved(), ReadSasLinks(path)), std::tuple(frames, EndLinks(300000)));
  Command(SasView, Id(CommandId::Undo));
  EXPECT_EQ(std::tuple(app.session.sas.page[7].targetPitch, app.session.sas.links.size(),
                       ReadSasLinks(path).size()),
            std::tuple(std::uint16_t{4000}, 3u, 3u));
}

TEST_F(SasRangeCommandsTest, TimeCorrectionAndSilenceReachFramesOffThePage) {
  SelectSasRange(0, 3000);  // far more frames than the page's columns
  Command(SasView, 138);
  EXPECT_TRUE((Saved()[2999].targetPitch & 0x8000) && (app.session.sas.page[0].targetPitch & 0x8000));
  Command(SasView, 139);
  EXPECT_EQ(Saved(), frames);

  app.config.settings.silenceThreshold = 1;
  Command(SasView, 124);
  const std::vector<SasFrame> saved = Saved();
  EXPECT_EQ(std::tuple(saved[2999].targetAmplitude, saved[150].targetAmplitude,
                       app.dialogs.sasRangeParams.silenceBelow),
            std::tuple(0u, frames[150].targetAmplitude, 1));
  Command(SasView, Id(CommandId::Undo));
  EXPECT_EQ(Saved(), frames);
}

}  // namespace
}  // namespace vocara::test
