// What may happen while a mouse drag is held: nothing that writes back, reads again or moves the
// SAS page. Each case holds an edit drag in the SAS window, sends a command, scroll, drop or
// resize, moves on and releases; the file must then differ from before only in the dragged
// columns, and one undo must give back the file byte for byte.
#include <functional>
#include <string>
#include <vector>

#include "engine/sas/SasDocument.h"
#include "program/commands/SasMouse.h"
#include "program/commands/SasUndo.h"
#include "program/shell/SasSession.h"
#include "program/views/ViewFixture.h"

namespace vocara::test {
namespace {

using platform::MessageKind;
using platform::Point;
using platform::ScrollCode;

constexpr int UpperRow = 200;  // in the amplitude pane of a 640 x 600 window
constexpr int LowerRow = 450;  // in the pitch pane
constexpr int FirstDragged = 100;
constexpr int LastDragged = 160;

class HeldDragTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    OpenWav(200000);
    Resize(SasView, 640, 600);  // 624 columns
  }
  // A SAS of 2000 frames that fits the WAV, under a name of its own each time.
  std::string OpenFittingSas() {
    std::vector<SasFrame> frames;
    for (std::uint16_t i = 0; i < 2000; ++i)
      frames.push_back(FreshFrame(static_cast<std::uint16_t>(1000 + i), -1000, 1000));
    const std::string path = dir.File("take" + std::to_string(++files) + ".sas");
    WriteSasFile(path, SasHeaderFor(100, 48000, app.docs.wav.checksum, frames.size()), frames,
                 EndLinks(200000));
    OpenDocumentByName(app, path);
    EXPECT_TRUE(app.Has(SasOpen) && app.Has(WavSasMatch));
    return path;
  }
  void Mouse(MessageKind kind, Point at, bool shift = false, int view = SasView) {
    AppTest::Mouse(kind, view, at, false, shift);
  }
  void Stroke(Point from, Point to) {
    Mouse(MessageKind::LeftDown, from);
    Mouse(MessageKind::MouseMove, to);
    Mouse(MessageKind::LeftUp, to);
  }
  int files = 0;
};

// The bytes of the frames of the dragged columns (the page starts at frame 0).
bool InDraggedFrames(std::size_t offset) {
  const std::size_t first = SasFramesOffset + SasFrame::ByteSize * FirstDragged;
  const std::size_t end = SasFramesOffset + SasFrame::ByteSize * (LastDragged + 1);
  return offset >= first && offset < end;
}

// The offsets where two files differ outside the dragged frames (all of them past a length change).
std::vector<std::size_t> ChangedOutsideDrag(const std::string& before, const std::string& after) {
  std::vector<std::size_t> changed;
  if (before.size() != after.size()) return {before.size()};
  for (std::size_t i = 0; i < before.size(); ++i)
    if (before[i] != after[i] && !InDraggedFrames(i)) changed.push_back(i);
  return changed;
}

TEST_F(HeldDragTest, NothingMovesOrRewritesThePageUnderAHeldEditDrag) {
  struct Drag {
    const char* name;
    int mode;  // 3 In Range (range 100 .. 160), 4 Freehand
    bool shift;
    Point press, middle, release;
  } const drags[] = {
      {"straight line", 4, true, {FirstDragged, UpperRow}, {140, 120}, {LastDragged, 150}},
      {"in range", 3, false, {130, LowerRow}, {130, 420}, {130, 400}},
  };
  std::string other;  // a second SAS file for Open and the drop
  struct Interloper {
    const char* name;
    std::function<void()> act;
  } const interlopers[] = {
      {"Sync to WAV",
       [&] {
         app.docs.wav.cursor = 150000;  // frame 1500: the page would move to 1188
         Command(SasView, 127);
       }},
      {"Sync to SAS", [&] { Command(WavView, 108); }},
      {"scroll", [&] { HScroll(SasView, ScrollCode::PageDown); }},
      {"wheel",
       [&] {
         Wheel(SasView, {50, UpperRow}, 120);
       }},
      {"Silence", [&] { Command(SasView, 124); }},
      {"Global Clear", [&] { Command(SasView, 125); }},
      {"Ctrl+Z", [&] { Command(SasView, Id(CommandId::Undo)); }},
      {"Ctrl+Y", [&] { Command(SasView, Id(CommandId::Redo)); }},
      {"SAS Open", [&] { Command(SasView, 121, other); }},
      {"SAS Close", [&] { Command(SasView, 122); }},
      {"WAV Close", [&] { Command(WavView, 103); }},
      {"Build", [&] { Command(WavView, 120); }},
      {"a dropped file", [&] { Drop(SasView, {other}); }},
      {"closing the program", [&] { sink.Dispatch(WavView, Msg(MessageKind::Close)); }},
  };
  for (const Drag& drag : drags) {
    for (const Interloper& interloper : interlopers) {
      SCOPED_TRACE(testing::Message() << drag.name << " + " << interloper.name);
      other = OpenFittingSas();
      const std::string path = OpenFittingSas();
      // Something to undo (columns 300 .. 320), or for Ctrl+Y that edit undone, to redo.
      Command(SasView, 132);
      Stroke({300, UpperRow}, {320, 100});
      ASSERT_EQ(app.session.undo.undo.size(), 1u);
      if (interloper.name == std::string("Ctrl+Y")) Command(SasView, Id(CommandId::Undo));
      SasWriteBack(app.session);
      const std::string before = ReadFile(path);
      const std::size_t undoDepth = app.session.undo.undo.size();
      fake.desktop.fileRequests.clear();
      fake.dialogs.titles.clear();

      SelectSasRange(FirstDragged, LastDragged + 1);
      Command(SasView, 128 + drag.mode);
      Mouse(MessageKind::LeftDown, drag.press, drag.shift);
      Mouse(MessageKind::MouseMove, drag.middle, drag.shift);
      ASSERT_TRUE(MouseDragHeld(app.session));
      interloper.act();
      Mouse(MessageKind::MouseMove, drag.release, drag.shift);
      Mouse(MessageKind::LeftUp, drag.release, drag.shift);

      // The page stayed where the drag began; no dialog, no end of the program.
      EXPECT_EQ(std::tuple(app.session.sas.path, app.Has(WavOpen), app.session.sas.firstFrame,
                           fake.desktop.fileRequests.size(), fake.dialogs.titles.size(),
                           fake.pump.quitCode.has_value()),
                std::tuple(path, true, 0, 0u, 0u, false));
      SasWriteBack(app.session);
      const std::string after = ReadFile(path);
      // The drag edited the page, as one action of its own.
      EXPECT_EQ(std::tuple(after != before, ChangedOutsideDrag(before, after), app.session.undo.undo.size(),
                           app.session.undo.redo.size()),
                std::tuple(true, std::vector<std::size_t>{}, undoDepth + 1, 0u));

      Command(SasView, Id(CommandId::Undo));
      SasWriteBack(app.session);
      EXPECT_EQ(ReadFile(path), before);
      // The gate lifts with the release.
      app.docs.wav.cursor = 150000;
      Command(SasView, 127);
      EXPECT_EQ(app.session.sas.firstFrame, 1500 - 312);
    }
  }
}

TEST_F(HeldDragTest, ADragHeldInTheWavWindowHoldsTheSasPageToo) {
  OpenFittingSas();
  Mouse(MessageKind::LeftDown, {100, 100}, false, WavView);
  app.docs.wav.cursor = 150000;
  Command(SasView, 127);
  Mouse(MessageKind::LeftUp, {100, 100}, false, WavView);
  EXPECT_EQ(std::tuple(app.session.sas.firstFrame, MouseDragHeld(app.session)), std::tuple(0, false));
}

TEST_F(HeldDragTest, AResizeUnderAHeldDragEndsItAsOneUndoAction) {
  const std::string path = OpenFittingSas();
  const std::string before = ReadFile(path);
  Command(SasView, 132);
  Mouse(MessageKind::LeftDown, {FirstDragged, UpperRow});
  Mouse(MessageKind::MouseMove, {LastDragged, 120});
  Resize(SasView, 400, 600);  // a shorter page
  EXPECT_FALSE(MouseDragHeld(app.session));
  Mouse(MessageKind::MouseMove, {300, 120});  // moves after the end edit nothing
  Mouse(MessageKind::LeftUp, {300, 120});
  SasWriteBack(app.session);
  EXPECT_EQ(std::tuple(ChangedOutsideDrag(before, ReadFile(path)), app.session.undo.undo.size()),
            std::tuple(std::vector<std::size_t>{}, 1u));
  Command(SasView, Id(CommandId::Undo));
  SasWriteBack(app.session);
  EXPECT_EQ(ReadFile(path), before);
}

// A quit from outside (SIGTERM, SIGHUP, the session's end) is not refused as Exit is: the held
// drag ends and is written back with the page, and the program ends.
TEST_F(HeldDragTest, AQuitFromOutsideEndsTheDragKeepsItsStrokeAndEnds) {
  const std::string path = OpenFittingSas();
  const std::vector<SasFrame> before = ReadSasFrames(path);
  Command(SasView, 132);  // Freehand
  Stroke({100, UpperRow}, {110, 120});
  sink.Dispatch(WavView, Msg(MessageKind::SaveSession));  // written back, the program going on
  const bool saved = ReadSasFrames(path)[105] != before[105] && !fake.pump.quitCode;
  Mouse(MessageKind::LeftDown, {140, UpperRow});
  Mouse(MessageKind::MouseMove, {150, 120});        // held
  sink.Dispatch(WavView, Msg(MessageKind::Close));  // Exit waits for the release
  const bool refused = !fake.pump.quitCode;
  sink.Dispatch(WavView, Msg(MessageKind::Quit));
  EXPECT_TRUE(saved && refused && ReadSasFrames(path)[145] != before[145]);
  EXPECT_EQ(std::tuple(fake.pump.quitCode, fake.windows.views[WavView].destroyed, MouseDragHeld(app.session)),
            std::tuple(std::optional<int>(0), true, false));
}

// A quit while an operation runs stops it and ends the program once the command has returned,
// the stroke drawn before it in the file.
TEST_F(HeldDragTest, AQuitStopsARunningOperationAndEndsOnceItReturned) {
  const std::string path = OpenFittingSas();
  const std::vector<SasFrame> before = ReadSasFrames(path);
  Command(SasView, 132);
  Stroke({FirstDragged, UpperRow}, {LastDragged, 120});
  fake.pump.step = std::chrono::milliseconds(10);  // every progress report pumps
  fake.pump.onPump = [&] {
    sink.Dispatch(WavView, Msg(MessageKind::Quit));
    EXPECT_FALSE(fake.pump.quitCode) << "ended under the operation";
  };
  OkNextDialog();
  Command(SasView, Id(CommandId::SnapToScale));  // the whole file
  EXPECT_TRUE(fake.pump.pumped > 0 && fake.pump.quitCode == 0 && ReadSasFrames(path)[130] != before[130]);
}

}  // namespace
}  // namespace vocara::test
