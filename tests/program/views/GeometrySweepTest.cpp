// Every scale, scroll and paint path over window sizes from the smallest to beyond the largest
// and extents from empty to 2^32 - 1 samples or frames: nothing may divide by zero, index past
// the 1281-entry column arrays, or leave a position outside its extent. Huge extents are set up
// in the records directly (no file of 4 GiB is needed: without an open file the envelope comes
// from the overview). The sanitizer build turns any stray index or overflow into a failure.
#include "program/shell/AppFlags.h"
#include "program/views/FftView.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"
#include "program/views/ViewFixture.h"
#include "program/views/WavView.h"

namespace vocara::test {
namespace {

using platform::MessageKind;
using platform::ScrollBar;
using platform::ScrollCode;

struct SweepCase {
  int width;
  int height;
  std::uint32_t count;  // samples of the recording and frames of the SAS
};

class GeometrySweepTest : public ViewTest, public ::testing::WithParamInterface<SweepCase> {
 protected:
  void SetUpDocuments(std::uint32_t count) {
    WavDocument& wav = app.docs.wav;
    wav.sampleCount = count;
    wav.overviewFactor =
        static_cast<std::uint32_t>(std::max<std::uint64_t>((std::uint64_t{count} + 65535) / 65536, 1));
    wav.overviewLength =
        static_cast<std::uint32_t>((std::uint64_t{count} + wav.overviewFactor - 1) / wav.overviewFactor);
    wav.amplitudeScale = 100.0 / 65536;
    wav.rangeLeft = count / 3;
    wav.rangeRight = count - count / 5;
    wav.cursor = count / 2;
    app.session.sas.shownFrameCount = count;
    app.session.sas.header.frameLength = 1;
    app.session.sas.links = EndLinks(count);
    app.session.sas.range = {0, std::numeric_limits<std::int32_t>::max()};
    app.flags |= WavOpen | WavRangeSelected | SasRangeSelected;
  }
  // Scrolls every way, pushes the cursor far right and checks what must hold.
  void Exercise(int view) {
    for (ScrollCode code :
         {ScrollCode::LineDown, ScrollCode::PageDown, ScrollCode::PageUp, ScrollCode::LineUp})
      HScroll(view, code);
    HScroll(view, ScrollCode::ThumbTrack, 65535);
    HScroll(view, ScrollCode::ThumbTrack, 5000);
    const ViewGeometry& g = app.windows.geometry[static_cast<std::size_t>(view)];
    app.windows.geometry[static_cast<std::size_t>(view)].cursorX = 100000;
    CursorStep(app.screen, view, 1);
    EXPECT_GE(g.cursorX, 0);
    EXPECT_LT(g.cursorX, MaxColumns);
    EXPECT_GE(g.dataWidth, 0);
    EXPECT_GE(g.selLeftX, 0);
    EXPECT_LE(g.selRightX, MaxPlotColumns);
    const platform::ScrollInfo bar = Bar(view);
    EXPECT_TRUE(bar.pos >= 0 && bar.pos <= bar.max && bar.page >= 0 && bar.page <= bar.max + 1);
  }
};

TEST_P(GeometrySweepTest, EveryPathStaysInsideTheArraysAndTheExtent) {
  const SweepCase c = GetParam();
  SetUpDocuments(c.count);
  for (int view = 0; view < ViewCount; ++view) Resize(view, c.width, c.height);

  WavViewFitWholeFile(app.windows, app.docs, app.ports);
  for (int command : {141, 144, 144, 145, 146, 143, 142, 144, 148, 149, 150, 153, 147}) {
    const auto id = static_cast<CommandId>(command);
    EntryOf(id).handler(app, WavView, id);
    EXPECT_GE(app.windows.wavView.samplesPerPixel, 1u);
    EXPECT_LE(app.windows.wavView.firstSample, c.count);
    Exercise(WavView);
  }
  // The largest scale has a page of 1: the bar's far end lies a hair past full scale.
  Scroll(WavView, MessageKind::VScroll, ScrollCode::ThumbTrack, 10000, ScrollBar::Vertical);
  EXPECT_EQ(app.windows.wavView.valueOffset, std::numeric_limits<std::int32_t>::max());
  Paint(WavView);

  SasViewHorizontalScrollUpdate(app.windows, app.session, app.ports);
  Exercise(SasView);
  EXPECT_LE(static_cast<std::uint32_t>(app.session.sas.firstFrame), c.count);
  for (int row : {0, app.windows.metrics.toolbarHeight + app.windows.upperPaneHeight})
    Wheel(SasView, {10, row}, -120);
  for (bool stretch : {true, true, true, false, false, false, false})
    SasViewPitchScale(app.windows, app.ports, stretch);
  Paint(SasView);

  for (int i = 0; i < 40; ++i) FftViewZoom(app.windows, app.ports, 2.0);  // far beyond any use
  EXPECT_LE(app.windows.fftView.totalPixels,
            static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max()));
  Exercise(FftView);
  Paint(FftView);
}

INSTANTIATE_TEST_SUITE_P(SizesAndExtents, GeometrySweepTest,
                         ::testing::Values(SweepCase{300, 150, 0}, SweepCase{300, 150, 1},
                                           SweepCase{300, 150, 2}, SweepCase{640, 400, 0},
                                           SweepCase{640, 400, 1000}, SweepCase{640, 400, 4294967295u},
                                           SweepCase{1280, 1024, 1}, SweepCase{1280, 1024, 2},
                                           SweepCase{1280, 1024, 4294967295u}, SweepCase{1400, 300, 1281},
                                           SweepCase{1400, 300, 4294967295u}, SweepCase{0, 0, 1000}));

}  // namespace
}  // namespace vocara::test
