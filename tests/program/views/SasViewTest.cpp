// The SAS window's geometry on real SAS files: scrolling to the end, the pane split with its
// 100-row minimum, the pane controls and the wheel, the write-back and page read around
// scrolling and resizing, and the commands that synchronise the two windows.
#include "program/commands/SasCommands.h"
#include "program/shell/AppFlags.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"
#include "program/views/ViewFixture.h"

namespace vocara::test {
namespace {

using platform::ScrollBar;
using platform::ScrollCode;

class SasViewTest : public ViewTest {
 protected:
  int Width() const { return app.windows.clientRect[SasView].right; }
  std::uint16_t PitchInColumn(int x) const {
    return app.session.sas.page[static_cast<std::size_t>(x)].sourcePitch;
  }
};

// Scrolling and resizing write the page's edits back before and read the page after; scrolled to the
// end, the last frame stands in the last column.
TEST_F(SasViewTest, ScrollingAndResizingWriteBackBeforeAndReadThePageAfter) {
  OpenSas(5000);
  ASSERT_EQ(Width(), 624);
  app.session.sas.page[5].targetPitch = 3333;  // an edit the scroll must not lose
  app.flags |= SasPageDirty;
  for (int i = 0; i < 100; ++i) HScroll(SasView, ScrollCode::PageDown);
  EXPECT_EQ(std::tuple(app.session.sas.firstFrame, PitchInColumn(623),
                       app.windows.geometry[SasView].dataWidth, Bar(SasView).pos),
            std::tuple(5000 - 624, 1000 + 4999, 624, static_cast<int>((1.0 - 624.0 / 5000) * 10000)));
  HScroll(SasView, ScrollCode::ThumbTrack, 0);
  EXPECT_EQ(std::tuple(app.session.sas.firstFrame, app.session.sas.page[5].targetPitch),
            std::tuple(0, std::uint16_t{3333}));
  app.session.sas.page[6].targetPitch = 4444;  // one the resize must not lose
  app.flags |= SasPageDirty;
  Resize(SasView, 816, 400);
  EXPECT_EQ(std::tuple(app.session.sas.pageLength, ReadSasFrames(app.session.sas.path)[6].targetPitch,
                       app.session.sas.page[6].targetPitch,
                       PitchInColumn(799)),  // the wider page was read
            std::tuple(800, std::uint16_t{4444}, std::uint16_t{4444}, 1000 + 799));
}

TEST_F(SasViewTest, ResizingKeepsThePaneRatioButNeitherPaneBelow100Rows) {
  OpenSas(5000);
  Resize(SasView, 640, 600);  // 67 : 67 at start
  EXPECT_EQ(std::tuple(app.windows.upperPaneHeight, app.windows.lowerPaneHeight),
            std::tuple(300, 600 - 26 - 300));
  EXPECT_EQ(fake.windows.views[SasView].controls[ScrollBar::SasUpper], (platform::Rect{624, 26, 640, 326}));
  EXPECT_EQ(fake.windows.views[SasView].controls[ScrollBar::SasLower], (platform::Rect{624, 326, 640, 600}));
  Resize(SasView, 640, 230);  // 120 : 84 would leave the lower pane short
  EXPECT_EQ(std::tuple(app.windows.upperPaneHeight, app.windows.lowerPaneHeight), std::tuple(104, 100));
  Resize(SasView, 640, 900);
  EXPECT_EQ(std::tuple(app.windows.upperPaneHeight, app.windows.lowerPaneHeight),
            std::tuple(900 * 104 / 204, 900 - 26 - 900 * 104 / 204));
  EXPECT_EQ(SplitSasPanes(120, 26, 50, 50).upper, 0);  // too low for two panes: never negative
  // Whole-number results come out whole, not one row short.
  EXPECT_EQ(SplitSasPanes(700, 26, 350, 150).upper, 490);
  EXPECT_EQ(std::tuple(SplitSasPanes(290, 26, 100, 132).upper, SplitSasPanes(290, 26, 100, 132).lower),
            std::tuple(125, 290 - 26 - 125));
}

TEST_F(SasViewTest, TheWheelOverTheLowerPaneMovesTheCentreNoteBySemitones) {
  OpenSas(100);
  Resize(SasView, 640, 600);
  const int boundary = 26 + app.windows.upperPaneHeight;  // the first row of the lower pane
  app.windows.redraw &= ~(SasUpperBandRedraw | SasLowerBandRedraw);
  Wheel(SasView, {50, boundary}, 120);
  // Note 87 - 86 = 1 on the centre row.
  EXPECT_EQ(std::tuple(app.windows.sasView.lower.position, Bar(SasView, ScrollBar::SasLower)),
            std::tuple(86, platform::ScrollInfo{0, 98, 12, 86}));
  // Only the pitch pane is repainted.
  EXPECT_EQ(app.windows.redraw & (SasUpperBandRedraw | SasLowerBandRedraw), SasLowerBandRedraw);
  EXPECT_EQ(fake.windows.views[SasView].invalidated.back(),
            (platform::Rect{0, SasPitchTop(app.windows), 624, app.windows.geometry[SasView].plotBottom}));
  Wheel(SasView, {50, boundary}, -120);
  Wheel(SasView, {50, boundary}, -120);  // A0 on the centre row is as low as it goes
  EXPECT_EQ(app.windows.sasView.lower.position, 87);
  Wheel(SasView, {50, boundary - 1}, 120);
  EXPECT_EQ(std::tuple(app.windows.sasView.upper.position, app.windows.sasView.lower.position),
            std::tuple(8900, 87));
}

// A file analysed over the built-in range (B3 to D7) holding a melody from C4 to A4 between
// silences, with a few octave slips: at first sight the pitch pane shows every note, whatever the
// window's height.
TEST_F(SasViewTest, OpeningASasShowsTheMelodyWhereItIsSung) {
  const std::vector<int> melody{3900, 4100, 4300, 4400, 4800, 4600, 4300, 3900};
  std::vector<SasFrame> frames(4000, FreshFrame(0, -5, 5));
  for (std::size_t i = 0; i < 400 * melody.size(); ++i) {
    const int slip = i % 97 == 0 ? 1200 : 0;  // the detector's octave slips
    if (i % 400 < 350)
      frames[i] = FreshFrame(std::uint16_t(melody[i / 400] + slip + int(i % 7) * 5), -4e8, 4e8);
  }
  const SasHeader header = SasHeaderFor(100, 48000, 0, frames.size());  // analysed over B3 to D7
  for (const int height : {400, 700}) {
    Resize(SasView, 640, height);
    SasClose(app.windows, app.session, app.ports);
    OpenSasRecords(header, frames, EndLinks(400000));
    SasViewShowSungPitches(app.windows, app.session, app.config,
                           app.ports);  // as the opener left it, not the fixture's A0
    const int top = SasPitchTop(app.windows), bottom = app.windows.geometry[SasView].plotBottom;
    for (const int cents : melody) {
      const double rise = cents * app.windows.sasView.pitchScale - SasPitchBase(app.windows, top, bottom);
      EXPECT_TRUE(rise > 0 && rise < bottom - top) << cents << " cents, window height " << height;
    }
  }
}

TEST_F(SasViewTest, SyncMovesEachWindowToTheOthersPosition) {
  OpenWav(200000);
  OpenSas(2000, {}, app.docs.wav.checksum);
  ASSERT_TRUE(app.Has(WavSasMatch));

  app.docs.wav.cursor = 150000;
  Command(SasView, 127);  // Sync to WAV: frame 1500 in the middle column
  EXPECT_EQ(std::tuple(app.session.sas.firstFrame, app.windows.geometry[SasView].cursorX, PitchInColumn(312)),
            std::tuple(1500 - 312, 312, 1000 + 1500));
  app.windows.geometry[SasView].cursorX = 10;
  Command(WavView, 108);  // Sync to SAS: one frame per column around frame 1198
  EXPECT_EQ(std::tuple(app.docs.wav.cursor, app.windows.wavView.samplesPerPixel,
                       app.windows.geometry[WavView].cursorX),
            std::tuple(119800u, 100u, 320));
  app.docs.wav.cursor = 199999;
  Command(SasView, 127);  // near the end the page stops at the last frame
  EXPECT_EQ(std::tuple(app.session.sas.firstFrame, app.windows.geometry[SasView].cursorX),
            std::tuple(2000 - 624, 623));
}

}  // namespace
}  // namespace vocara::test
