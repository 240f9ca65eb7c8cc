// Undo and redo of SAS edits: page edits and link changes, across write-backs and scrolling,
// the redo list dropped by a new edit, the budget, the gate of the two commands.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/commands/SasCommands.h"
#include "program/commands/SasUndo.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/Resources.h"
#include "program/shell/SasSession.h"
#include "support/AppFixture.h"
#include "support/SasFiles.h"

namespace vocara::test {
namespace {

class SasUndoTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    std::vector<SasFrame> frames;
    for (std::uint16_t i = 0; i < 3000; ++i)
      frames.push_back(FreshFrame(static_cast<std::uint16_t>(1000 + i), -5, 5));
    path = WriteSasFile(dir.File("take.sas"), SasHeaderFor(100, 48000, 0, frames.size()), frames,
                        EndLinks(300000));
    SasOpenCommand(app, &path);
    ASSERT_TRUE(app.Has(SasOpen));
    original = ReadSasFrames(path);
  }
  // A mouse-like action: the page edited in memory between the two brackets.
  void EditPage(int column, std::uint16_t pitch) {
    SasEditBegin(app.session);
    app.session.sas.page[static_cast<std::size_t>(column)].targetPitch = pitch;
    app.flags |= SasPageDirty;
    SasEditEnd(app.session);
  }
  void AddLink(TimeLink link) {
    SasEditBegin(app.session);
    app.session.sas.links.insert(app.session.sas.links.begin() + 1, link);
    app.flags |= SasPageDirty;
    SasEditEnd(app.session);
  }
  bool Enabled(int command) { return fake.windows.menuEnabled[command]; }

  std::string path;
  std::vector<SasFrame> original;
};

TEST_F(SasUndoTest, EditsAndLinksUndoAndRedoOneActionAtATime) {
  const auto gates = [this] {
    return std::tuple(Enabled(Id(CommandId::Undo)), Enabled(Id(CommandId::Redo)));
  };
  EXPECT_EQ(gates(), std::tuple(false, false));
  EditPage(3, 4444);
  AddLink({1000, 1200});
  EXPECT_EQ(gates(), std::tuple(true, false));

  Command(SasView, Id(CommandId::Undo));  // the link
  EXPECT_EQ(std::tuple(app.session.sas.links, app.session.sas.page[3].targetPitch),
            std::tuple(EndLinks(300000), std::uint16_t{4444}));
  Command(SasView, Id(CommandId::Undo));  // the pitch
  EXPECT_EQ(app.session.sas.page[3].targetPitch, 1003);
  EXPECT_EQ(std::tuple(Saved(), ReadSasLinks(path)), std::tuple(original, EndLinks(300000)));
  EXPECT_EQ(gates(), std::tuple(false, true));

  Command(SasView, Id(CommandId::Redo));
  Command(SasView, Id(CommandId::Redo));
  EXPECT_EQ(std::tuple(app.session.sas.page[3].targetPitch, ReadSasLinks(path)),
            std::tuple(std::uint16_t{4444}, std::vector<TimeLink>{{0, 0}, {1000, 1200}, {300000, 300000}}));
  Command(SasView, Id(CommandId::Redo));  // nothing left to redo: nothing happens
  EXPECT_EQ(app.session.sas.links.size(), 3u);

  // A new edit drops what could be redone.
  Command(SasView, Id(CommandId::Undo));
  EditPage(5, 5555);
  EXPECT_EQ(std::tuple(Enabled(Id(CommandId::Redo)), app.session.undo.redo.empty()), std::tuple(false, true));
}

TEST_F(SasUndoTest, UndoReachesFramesWrittenBackAndScrolledOffThePage) {
  EditPage(10, 7000);
  SasWriteBack(app.session);
  app.session.sas.firstFrame = 2000;  // scrolled: the edited frame is no longer on the page
  SasReadPage(app.session);
  Command(SasView, Id(CommandId::Undo));
  EXPECT_EQ(app.session.sas.firstFrame, 2000);
  EXPECT_EQ(Saved(), original);
  Command(SasView, Id(CommandId::Redo));
  EXPECT_EQ(Saved()[10].targetPitch, 7000);
}

TEST_F(SasUndoTest, AnEditMarksTheCorrectedFileStaleAndNothingChangedRecordsNothing) {
  app.flags |= CorrectedTempCurrent;
  SasEditBegin(app.session);
  SasEditEnd(app.session);
  EXPECT_TRUE(app.Has(CorrectedTempCurrent) && app.session.undo.undo.empty());
  EditPage(1, 1);
  EXPECT_FALSE(app.Has(CorrectedTempCurrent));
  app.flags |= CorrectedTempCurrent;
  Command(SasView, Id(CommandId::Undo));
  EXPECT_FALSE(app.Has(CorrectedTempCurrent));
}

TEST_F(SasUndoTest, TheJournalBelongsToTheOpenSasAndStaysWithinItsBudget) {
  EditPage(1, 1);
  SasClose(app.windows, app.session, app.ports);
  EXPECT_TRUE(app.session.undo.undo.empty() && !Enabled(Id(CommandId::Undo)));
  SasOpenCommand(app, &path);

  SasUndoAction huge;
  huge.before.resize(SasUndoBudget / sizeof(huge.before[0]) + 1);
  huge.after = huge.before;
  EditPage(1, 1);
  SasRecordFileAction(app.session, huge);  // larger than the budget: nothing before it can be undone either
  EXPECT_EQ(std::tuple(app.session.undo.undo.size(), app.session.undo.bytes), std::tuple(0u, 0u));
}

// Ctrl+Z undoes, Ctrl+Y and Ctrl+Shift+Z redo (that no command runs while busy: WindowProcedureTest).
TEST_F(SasUndoTest, UndoAndRedoHaveTheirKeys) {
  const auto accelerators = AcceleratorTable();
  const auto has = [&](int key, int command, bool shift) {
    for (const auto& a : accelerators)
      if (a.key == key && a.command == command && a.ctrl && a.shift == shift) return true;
    return false;
  };
  EXPECT_TRUE(has('Z', Id(CommandId::Undo), false) && has('Y', Id(CommandId::Redo), false) &&
              has('Z', Id(CommandId::Redo), true));
}

}  // namespace
}  // namespace vocara::test
