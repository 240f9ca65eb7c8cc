// The mouse handler driven by mouse messages through the window procedure: time links set and
// deleted, in-range scaling and shifting, freehand drawing and erasing, the splitter, the
// rubber bands of all four windows, and the redraw of edited columns.
#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "base/NumberText.h"
#include "engine/sas/SasDocument.h"
#include "program/commands/SasMouse.h"
#include "program/commands/SasUndo.h"
#include "program/commands/SettingsDialog.h"
#include "program/shell/SasSession.h"
#include "program/views/SasView.h"
#include "program/views/ViewFixture.h"

namespace vocara::test {
namespace {

using platform::CursorShape;
using platform::MessageKind;
using platform::Point;

constexpr std::uint32_t FrameLength = 100;
constexpr int PlotTop = 60;       // toolbar 26, status strip 17, ruler 17
constexpr int PaneBottom = 324;   // last amplitude row: 26 + 300 - 2
constexpr int SplitterRow = 326;  // 26 + 300
constexpr int UpperRow = 200;     // in the amplitude pane
constexpr int LowerRow = 450;     // in the pitch pane
constexpr std::int32_t Loud = 1000000000;

class SasMouseTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    Resize(SasView, 640, 600);  // 624 columns; panes of 300 and 274 rows
  }
  // Frames with source pitch 1000 + i, samples -1000 .. 1000, targets as analysed.
  static std::vector<SasFrame> Frames(std::size_t count) {
    std::vector<SasFrame> frames;
    for (std::size_t i = 0; i < count; ++i)
      frames.push_back(FreshFrame(static_cast<std::uint16_t>(1000 + i), -1000, 1000));
    return frames;
  }
  // Each file under a name of its own: opening the open file's name again does nothing.
  void Open(const std::vector<SasFrame>& frames, std::vector<TimeLink> links = {},
            std::uint32_t sampleCount = 0) {
    if (links.empty())
      links = EndLinks(sampleCount ? sampleCount : static_cast<std::uint32_t>(frames.size() * FrameLength));
    const std::string path = dir.File("take" + std::to_string(++files) + ".sas");
    WriteSasFile(path, SasHeaderFor(FrameLength, 48000, 0, frames.size(), links.size()), frames, links);
    fake.desktop.answers.push_back(platform::MessageAnswer::Yes);  // keep it beside an unfitting WAV
    OpenDocumentByName(app, path);
    ASSERT_TRUE(app.Has(SasOpen));
    fake.desktop.answers.clear();
    ShowPitchPaneFromA0();
  }
  void Mode(int mode) { Command(SasView, 128 + mode); }
  // Press at the first point, move through the others, and (unless held) release at the last.
  void Drag(int view, const std::vector<Point>& path, bool ctrl = false, bool shift = false,
            bool hold = false) {
    Mouse(MessageKind::LeftDown, view, path.front(), ctrl, shift);
    for (auto at = path.begin() + 1; at != path.end(); ++at)
      Mouse(MessageKind::MouseMove, view, *at, ctrl, shift);
    if (!hold) Mouse(MessageKind::LeftUp, view, path.back(), ctrl, shift);
  }
  void Click(Point at) { Drag(SasView, {at}); }
  SasFrame& Page(int column) { return app.session.sas.page[static_cast<std::size_t>(column)]; }
  int files = 0;
};

TEST_F(SasMouseTest, TheThousandthLinkIsSetAndTheNextOneRefusedWithAMessage) {
  std::vector<TimeLink> links;
  for (std::uint32_t k = 0; k < 998; ++k) links.push_back({k * 500, k * 500});
  links.push_back({500000, 500000});
  Open(Frames(5000), links);
  Mode(1);
  Click({2, 100});  // the cursor to frame 2
  Paint(SasView);
  const std::uint32_t before = Pixel(SasView, 2, PlotTop + 10);
  Click({2, 40});  // on the ruler: a vertical link at frame 2
  ASSERT_EQ(app.session.sas.links.size(), 1000u);
  EXPECT_EQ(std::tuple(app.session.sas.links[1], app.Has(SasPageDirty)),
            std::tuple(TimeLink{200, 200}, true));
  EXPECT_NE(Pixel(SasView, 2, PlotTop + 10), before) << "the new link is drawn";
  Click({3, 100});
  Click({3, 40});
  EXPECT_EQ(std::tuple(app.session.sas.links.size(), MessageTexts()),
            std::tuple(1000u, std::vector<std::string>{"Too many Time Links"}));
  SasWriteBack(app.session);
  EXPECT_EQ(ReadSasLinks(app.session.sas.path).size(), 1000u);
}

TEST_F(SasMouseTest, ALinkIsSetOnlyBetweenItsNeighboursSourcesAndOnAFrame) {
  const std::vector<TimeLink> base{{0, 0}, {30000, 30000}, {500000, 500000}};
  Open(Frames(5000), base);
  Mode(1);
  struct Case {
    int cursor, click;
    int insertedAt;  // -1: refused
  } cases[] = {
      {400, 200, -1},  // source after the next link's: the links would cross
      {250, 200, 1},   // {25000, 20000}
      {300, 400, -1},  // the same source as link 1
      {350, 400, 2},   // {35000, 40000}
      {250, 300, 1},   // a target equal to link 1's goes before it
      {250, 0, -1},    // target 0: nothing comes before the first link
  };
  for (const Case& c : cases) {
    app.session.sas.links = base;
    Click({c.cursor, 100});
    Click({c.click, 40});
    SCOPED_TRACE(testing::Message() << "cursor " << c.cursor << " click " << c.click);
    if (c.insertedAt < 0) {
      EXPECT_EQ(app.session.sas.links, base);
    } else {
      ASSERT_EQ(app.session.sas.links.size(), 4u);
      EXPECT_EQ(app.session.sas.links[static_cast<std::size_t>(c.insertedAt)],
                (TimeLink{c.cursor * FrameLength, c.click * FrameLength}));
    }
  }
  // A file of 300 frames whose last link lies behind them: column 300 holds no frame.
  Open(Frames(300), {}, 30099);
  Mode(1);
  Click({10, 100});
  Click({300, 40});
  EXPECT_EQ(app.session.sas.links.size(), 2u);
  Click({299, 40});
  EXPECT_EQ(app.session.sas.links.size(), 3u);
}

TEST_F(SasMouseTest, ALinkIsDeletedWithinThreePixelsMeasuredAcrossItsSegmentButNotAnEndLink) {
  const std::vector<TimeLink> base{{0, 0}, {10000, 10000}, {20000, 10000}, {500000, 500000}};
  Open(Frames(5000), base);
  Mode(2);
  const int middle = PlotTop + (PaneBottom - PlotTop) / 2;
  struct Case {
    Point click;
    int deleted;  // index, -1: none
  } cases[] = {
      {{102, middle}, 1},
      {{98, middle}, 1},
      {{103, middle}, -1},
      {{97, middle}, -1},  // vertical at 100
      {{100, PlotTop - 2}, 1},
      {{100, PlotTop - 3}, -1},  // from 2 rows above the plot
      // Link 2 runs from column 200 (bottom) to 100 (top): at the middle row it stands at 150, and
      // 3 columns off are 2.8 pixels across it.
      {{153, middle}, 2},
      {{154, middle}, -1},
  };
  for (const Case& c : cases) {
    app.session.sas.links = base;
    Click(c.click);
    SCOPED_TRACE(testing::Message() << "click " << c.click.x << "," << c.click.y);
    std::vector<TimeLink> expected = base;
    if (c.deleted >= 0) expected.erase(expected.begin() + c.deleted);
    EXPECT_EQ(app.session.sas.links, expected);
  }

  // End links are never deleted, nor is a link with no end on the page: seen from frame 1000,
  // this one runs from column -700 to 1300 through (300, middle row).
  Open(Frames(5000), {{0, 0}, {30000, 230000}, {500000, 500000}});
  Mode(2);
  Click({0, 100});  // on the first link
  EXPECT_EQ(std::tuple(app.session.sas.links.size(), app.Has(SasPageDirty)), std::tuple(3u, false));
  app.session.sas.firstFrame = 1000;
  SasReadPage(app.session);
  Click({300, middle});
  EXPECT_EQ(app.session.sas.links.size(), 3u);
}

TEST_F(SasMouseTest, InRangeScalingStopsAtTheClipLimitKeepingTheShape) {
  std::vector<SasFrame> frames = Frames(5000);
  frames[105] = FreshFrame(1105, -Loud, Loud);
  frames[624] = FreshFrame(1624, -Loud, Loud);  // the first frame behind the page
  Open(frames);
  Mode(3);
  SelectSasRange(100, 112);
  const double limit = 2147483647.0 / Loud;  // frame 105 takes no more
  Drag(SasView, {{105, UpperRow}, {105, UpperRow - 100}, {105, UpperRow - 200}});
  EXPECT_NEAR(Page(105).targetAmplitude, 2.0 * Loud * limit, 2.0);
  for (int k : {100, 104, 106, 111}) EXPECT_NEAR(Page(k).targetAmplitude, 2000 * limit, 2.0) << k;
  EXPECT_EQ(std::tuple(Page(99).targetAmplitude, Page(112).targetAmplitude), std::tuple(2000u, 2000u));
  // Down by 100 rows divides by e, everywhere alike.
  const std::uint32_t loud = Page(105).targetAmplitude;
  const std::uint32_t quiet = Page(100).targetAmplitude;
  Drag(SasView, {{105, UpperRow}, {105, UpperRow + 100}});
  EXPECT_NEAR(Page(105).targetAmplitude, loud / std::exp(1.0), 1.0);
  EXPECT_NEAR(Page(100).targetAmplitude, quiet / std::exp(1.0), 1.0);

  // The shape by the third pressed: gains from F to 1, F throughout, from 1 to F.
  const double f = std::exp(0.2);
  struct Case {
    int x;
    double left, right;  // gains of the first and last column
  } shapes[] = {{201, f, (f + 11) / 12}, {205, f, f}, {211, 1.0, (11 * f + 1) / 12}};
  for (const Case& c : shapes) {
    SelectSasRange(200, 212);
    for (int k = 200; k < 212; ++k) Page(k).targetAmplitude = 2000;
    Drag(SasView, {{c.x, UpperRow}, {c.x, UpperRow - 20}});
    EXPECT_EQ(Page(200).targetAmplitude, static_cast<std::uint32_t>(2000 * c.left)) << c.x;
    EXPECT_EQ(Page(211).targetAmplitude, static_cast<std::uint32_t>(2000 * c.right)) << c.x;
  }

  // The last column of the page is limited by the next frame of the file.
  SelectSasRange(600, 700);
  Drag(SasView, {{612, UpperRow}, {612, UpperRow - 100}});
  for (int k : {600, 623}) EXPECT_NEAR(Page(k).targetAmplitude, 2000 * limit, 1.0) << k;
}

TEST_F(SasMouseTest, InRangePitchIsMeasuredFromThePressAndShapedByTheThirdPressed) {
  std::vector<SasFrame> frames = Frames(5000);
  frames[103].targetPitch |= TimeCorrectionOffBit;
  Open(frames);
  Mode(3);
  SelectSasRange(100, 112);
  std::vector<std::uint16_t> pressed;
  for (int k = 99; k <= 112; ++k) pressed.push_back(Page(k).targetPitch);
  Drag(SasView, {{105, LowerRow}, {105, LowerRow - 25}}, false, false, true);  // 100 cents up
  EXPECT_EQ(Page(100).targetPitch, 1200);
  EXPECT_EQ(Page(103).targetPitch, (1203 | TimeCorrectionOffBit));
  Mouse(MessageKind::MouseMove, SasView, {105, LowerRow + 53});
  Mouse(MessageKind::MouseMove, SasView, {105, LowerRow});
  Mouse(MessageKind::LeftUp, SasView, {105, LowerRow});
  for (int k = 99; k <= 112; ++k)
    EXPECT_EQ(Page(k).targetPitch, pressed[static_cast<std::size_t>(k - 99)]) << k;

  struct Case {
    int x;
    bool shift;
    int at0, at6, at11;  // cents added to columns 0, 6 and 11 of the range
  } shapes[] = {
      {101, false, 100, 50, 8}, {105, false, 100, 100, 100}, {110, false, 0, 50, 91},
      {101, true, 0, 50, 0},    {105, true, 0, 100, 6},      {110, true, 0, 50, 6},
  };
  for (const Case& c : shapes) {
    Drag(SasView, {{c.x, LowerRow}, {c.x, LowerRow - 25}}, false, c.shift);
    EXPECT_EQ(std::tuple(Page(100).TargetPitch(), Page(106).TargetPitch(), Page(111).TargetPitch()),
              std::tuple(1100 + c.at0, 1106 + c.at6, 1111 + c.at11))
        << c.x << c.shift;
    for (int k = 100; k < 112; ++k) Page(k).targetPitch = pressed[static_cast<std::size_t>(k - 99)];
  }
}

TEST_F(SasMouseTest, FreehandPitchStaysWithin0And8700AndKeepsBit15) {
  std::vector<SasFrame> frames = Frames(5000);
  for (int k = 50; k <= 70; k += 2) frames[static_cast<std::size_t>(k)].targetPitch |= TimeCorrectionOffBit;
  Open(frames);
  Mode(4);
  // A0 (pitch 0) stands on the pitch pane's middle row, 464; 25 rows make 100 cents.
  Drag(SasView, {{50, LowerRow}, {50, 439}, {60, -30000}, {70, 30000}}, false, false, true);
  EXPECT_EQ(std::tuple(Page(50).TargetPitch(), Page(60).TargetPitch(), Page(70).TargetPitch()),
            std::tuple(100, 8700, 0));
  for (int k = 50; k <= 70; ++k) {
    EXPECT_LE(Page(k).TargetPitch(), 8700) << k;
    EXPECT_EQ(Page(k).TimeCorrectionOff(), k % 2 == 0) << k;
  }
  Mouse(MessageKind::LeftUp, SasView, {70, 30000});
}

TEST_F(SasMouseTest, FreehandAmplitudeIsClipLimitedAndNeverNegative) {
  std::vector<SasFrame> frames = Frames(5000);
  frames[25] = FreshFrame(1025, -Loud, Loud);
  Open(frames);
  Mode(4);
  Drag(SasView, {{20, 0}, {30, 0}});  // above the plot: more than the 32-bit range
  EXPECT_NEAR(Page(20).targetAmplitude, 4294967294.0, 1.0);
  EXPECT_EQ(Page(25).targetAmplitude, static_cast<std::uint32_t>(2147483647.0 / Loud * 2 * Loud));
  EXPECT_EQ(Page(24).targetAmplitude,
            static_cast<std::uint32_t>(2147483647.0 / Loud * 2000));  // before frame 25
  Drag(SasView, {{20, UpperRow}, {30, 590}});                         // down into the pitch pane: 0
  EXPECT_EQ(Page(30).targetAmplitude, 0u);
  EXPECT_GT(Page(20).targetAmplitude, 0u);

  // With Shift a straight line from the press: columns it no longer covers come back.
  const std::uint32_t kept = Page(40).targetAmplitude;
  Drag(SasView, {{35, UpperRow}, {45, UpperRow}, {38, UpperRow}}, false, true);
  EXPECT_EQ(Page(40).targetAmplitude, kept);
  EXPECT_NE(Page(37).targetAmplitude, 2000u);
}

TEST_F(SasMouseTest, EraseRestoresTheAnalysedValuesKeepingBit15) {
  Open(Frames(5000));
  for (int k = 10; k < 20; ++k) Page(k) = {static_cast<std::uint16_t>(1000 + k), 0x8123, -1000, 1000, 7};
  Mode(5);
  Drag(SasView, {{12, UpperRow}, {15, UpperRow}});
  Drag(SasView, {{14, LowerRow}, {16, LowerRow}});
  for (int k = 10; k < 20; ++k) {
    EXPECT_EQ(Page(k).targetAmplitude, k >= 12 && k <= 15 ? 2000u : 7u) << k;
    EXPECT_EQ(Page(k).targetPitch, k >= 14 && k <= 16 ? (1000 + k) | 0x8000 : 0x8123) << k;
  }
}

TEST_F(SasMouseTest, DragsPastTheRightEdgeEditOnlyTheFramesOfThePage) {
  for (std::size_t count : {300u, 5000u}) {
    Open(Frames(count));
    const int columns = static_cast<int>(std::min<std::size_t>(count, 624));
    struct Edit {
      int mode, row;
    } edits[] = {{4, UpperRow}, {4, LowerRow}, {5, UpperRow}, {5, LowerRow}};
    for (const Edit& edit : edits) {
      Mode(edit.mode);
      Page(columns) = {1, 555, 0, 0, 777};  // a record behind the page's
      Page(columns - 1) = {1, 3, -1000, 1000, 3};
      Drag(SasView, {{columns - 20, edit.row + 10}, {columns + 300, edit.row}, {2000, edit.row}});
      SCOPED_TRACE(testing::Message() << count << " frames, mode " << edit.mode << " row " << edit.row);
      EXPECT_EQ(Page(columns), (SasFrame{1, 555, 0, 0, 777}));
      EXPECT_NE(Page(columns - 1), (SasFrame{1, 3, -1000, 1000, 3}));
    }
    EXPECT_EQ(Saved().size(), count);
  }
}

TEST_F(SasMouseTest, TheSplitterMovesInEveryModeAndStays100RowsFromTheEdges) {
  Open(Frames(5000));
  for (int mode = 0; mode < 6; ++mode) {
    Mode(mode);
    for (int offset : {-2, 2}) {
      app.windows.upperPaneHeight = 300;
      app.windows.lowerPaneHeight = 274;
      Drag(SasView, {{300, SplitterRow + offset}, {300, 20}});
      EXPECT_EQ(std::tuple(app.windows.upperPaneHeight, app.windows.lowerPaneHeight),
                std::tuple(100 - 26, 600 - 100))
          << mode;
      Drag(SasView, {{300, 100}, {300, 599}});
      EXPECT_EQ(std::tuple(app.windows.upperPaneHeight, app.windows.lowerPaneHeight),
                std::tuple(500 - 26, 100))
          << mode;
      EXPECT_EQ(fake.windows.views[SasView].controls[platform::ScrollBar::SasLower],
                (platform::Rect{624, 500, 640, 600}));
    }
  }
  app.windows.upperPaneHeight = 300;
  Drag(SasView, {{300, SplitterRow + 3}, {300, 20}});  // 3 rows off: an edit (Erase) instead
  EXPECT_EQ(
      std::tuple(app.windows.upperPaneHeight, app.windows.sasView.splitterDragging, fake.windows.captured),
      std::tuple(300, false, -1));
}

TEST_F(SasMouseTest, TheCursorShowsTheSplitterTheModeOrTheArrow) {
  Open(Frames(5000));
  Mode(4);
  const auto shapeAt = [&](int view, Point at, bool ctrl = false) {
    Mouse(MessageKind::MouseMove, view, at, ctrl);
    return fake.windows.LastCursor();
  };
  EXPECT_EQ(shapeAt(SasView, {10, SplitterRow - 2}), CursorShape::Mode6);
  EXPECT_EQ(shapeAt(SasView, {10, SplitterRow + 3}), CursorShape::Mode4);
  EXPECT_EQ(shapeAt(SasView, {10, SplitterRow}, true), CursorShape::Arrow);
  EXPECT_EQ(shapeAt(WavView, {10, 100}), CursorShape::Arrow);
  Mouse(MessageKind::LeftDown, SasView, {10, UpperRow});
  EXPECT_EQ(shapeAt(SasView, {10, SplitterRow}), CursorShape::Mode4) << "no splitter while drawing";
  Mouse(MessageKind::LeftUp, SasView, {10, SplitterRow});
  app.flags |= Busy;
  Mouse(MessageKind::LeftDown, SasView, {10, UpperRow});
  EXPECT_EQ(std::tuple(fake.windows.LastCursor(), app.session.mouse.state),
            std::tuple(CursorShape::Hourglass, 0u));
}

// From the start on and after every mode command, a repeated one too.
TEST_F(SasMouseTest, TheModeIsShownByItsButtonItsMenuItemAndTheStatusStrip) {
  const int commands[] = {128, 129, 130, 131, 132, 133, Id(CommandId::NoteMode)};
  const std::string names[] = {"Normal", "Set Time Link", "Delete Time Link", "In Range", "Freehand",
                               "Erase",  "Note"};
  const auto expectShown = [&](int mode) {
    for (int i = 0; i < 7; ++i)
      EXPECT_EQ(std::pair(fake.windows.views[SasView].buttonChecked[commands[i]],
                          fake.windows.menuChecked[commands[i]]),
                std::pair(i == mode, i == mode))
          << names[mode] << ": " << names[i];
  };
  expectShown(0);
  Open(Frames(5000));
  const platform::Rect field = app.windows.status.rects[SasModeField];  // right of the values
  for (int mode : {0, 4, 6, 6, 1, 2, 3, 5, 5, 0}) {
    fake.text.drawn.clear();
    Command(SasView, commands[mode]);
    expectShown(mode);
    EXPECT_TRUE(std::ranges::any_of(fake.text.drawn, [&](const DrawnText& t) {
      return std::tuple(t.x, t.y, t.text) == std::tuple(field.left, field.top, names[mode]);
    }));
  }
}

TEST_F(SasMouseTest, ReleasingCentresThePitchPaneOnTheCursorsNoteAndRepaints) {
  Open(Frames(5000));
  Page(200).targetPitch = 3049;
  app.windows.redraw &= ~(SasUpperBandRedraw | SasLowerBandRedraw);
  Click({200, UpperRow});  // source 1200 cents: note 12
  EXPECT_EQ(std::tuple(app.windows.geometry[SasView].cursorX, app.windows.sasView.lower.position,
                       Bar(SasView, platform::ScrollBar::SasLower).pos),
            std::tuple(200, 87 - 12, 87 - 12));
  EXPECT_TRUE(app.windows.redraw == (SasUpperBandRedraw | SasLowerBandRedraw));
  EXPECT_EQ(fake.windows.views[SasView].invalidated.back(), (platform::Rect{0, 26, 624, 600}));
  Drag(SasView, {{200, UpperRow}}, false, true);  // with Shift the target's note, 30
  EXPECT_EQ(app.windows.sasView.lower.position, 87 - 30);
}

TEST_F(SasMouseTest, CtrlDragsSelectTheWavAndSasRanges) {
  OpenWav(200000);
  const std::uint32_t spp = app.windows.wavView.samplesPerPixel;
  Drag(WavView, {{300, 100}, {5000, 100}, {100, 100}}, true);
  EXPECT_EQ(std::tuple(app.windows.geometry[WavView].selLeftX, app.windows.geometry[WavView].selRightX,
                       app.docs.wav.rangeLeft, app.docs.wav.rangeRight, app.Has(WavRangeSelected)),
            std::tuple(100, 300, 100 * spp, 300 * spp, true));
  EXPECT_EQ(app.windows.status.texts[9], FormatNumber(app.docs.wav.rangeRms, 3, 16, true));
  Drag(WavView, {{400, 100}, {5000, 100}}, true);
  EXPECT_EQ(app.windows.geometry[WavView].selRightX, 639) << "the band stops at the window's edge";
  EXPECT_EQ(app.docs.wav.rangeRight, 639 * spp);

  Open(Frames(300));
  Drag(SasView, {{10, UpperRow}, {40, UpperRow}}, true);
  EXPECT_EQ(std::tuple(app.session.sas.range.left, app.session.sas.range.right, app.Has(SasRangeSelected)),
            std::tuple(10, 40, true));
  Drag(SasView, {{250, UpperRow}, {600, UpperRow}}, true);
  EXPECT_EQ(app.session.sas.range.right, 300) << "no further than the frames";
  Drag(SasView, {{50, UpperRow}}, true);
  EXPECT_FALSE(app.Has(SasRangeSelected));
  Drag(SasView, {{310, UpperRow}, {20, UpperRow}}, true);  // right of the frames: no band
  EXPECT_EQ(std::tuple(app.session.sas.range.left, app.windows.geometry[SasView].rangeDragging),
            std::tuple(50, false));
}

TEST_F(SasMouseTest, AnMftBandSetsAUserDefinedNoteRangeShownInTheOpenSettings) {
  app.windows.geometry[MftView].dataWidth = 1280;
  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure&) {
    Drag(MftView, {{100, 100}, {400, 100}}, true);  // 88 notes over 641 columns
    EXPECT_EQ(std::tuple(dialog.selections[settings_control::Instrument],
                         dialog.selections[settings_control::LowestNote],
                         dialog.selections[settings_control::HighestNote]),
              std::tuple(0, 100 * 88 / 641, 400 * 88 / 641));
  });
  Command(MftView, 154);
  app.windows.geometry[FftView].dataWidth = 512;
  Drag(FftView, {{300, 100}, {20, 100}}, true);
  EXPECT_EQ(
      std::tuple(app.windows.geometry[FftView].selLeftX, app.windows.geometry[FftView].selRightX,
                 app.windows.spectrum.fftSelStart, app.windows.spectrum.fftSelEnd, app.Has(FftRangeSelected)),
      std::tuple(20, 300, 20, 300, true));
}

TEST_F(SasMouseTest, EditedColumnsAreDrawnAsAFullRepaintDrawsThem) {
  Open(Frames(5000), {{0, 0}, {5000, 14000}, {12000, 15000}, {500000, 500000}});
  SelectSasRange(100, 160);
  struct Edit {
    int mode;
    std::vector<Point> path;
  } edits[] = {
      {4, {{100, UpperRow}, {150, 120}, {130, 250}}},
      {4, {{145, LowerRow}, {120, 400}}},
      {3, {{130, LowerRow}, {130, 380}}},
  };
  for (const Edit& edit : edits) {
    Mode(edit.mode);
    Paint(SasView);
    Drag(SasView, edit.path, false, false, true);
    const std::vector<std::uint32_t> drawn(app.windows.images[SasView].Pixels().begin(),
                                           app.windows.images[SasView].Pixels().end());
    Paint(SasView);
    EXPECT_TRUE(std::ranges::equal(drawn, app.windows.images[SasView].Pixels())) << edit.mode;
    Mouse(MessageKind::LeftUp, SasView, edit.path.back());
  }
}

// A link set by the mouse is one undo step; moving the cursor is none (a whole drag as one step
// is HeldDragTest's).
TEST_F(SasMouseTest, ALinkEditIsOneUndoStep) {
  Open(Frames(5000));
  Mode(1);
  Click({30, 100});
  Click({60, 40});
  ASSERT_EQ(app.session.sas.links.size(), 3u);
  Command(SasView, Id(CommandId::Undo));
  EXPECT_EQ(app.session.sas.links.size(), 2u);
}

TEST_F(SasMouseTest, AReadOnlyFileTakesNoEditsAndSaysSoOnce) {
  Open(Frames(5000));
  app.session.sas.readOnly = true;
  Mode(4);
  Drag(SasView, {{10, UpperRow}, {20, 100}});
  Drag(SasView, {{10, UpperRow}, {20, 100}});
  // The cursor still follows.
  EXPECT_EQ(std::tuple(Page(15).targetAmplitude, app.windows.geometry[SasView].cursorX,
                       fake.desktop.messages.size(), app.Has(SasPageDirty)),
            std::tuple(2000u, 20, 1u, false));
}

}  // namespace
}  // namespace vocara::test
