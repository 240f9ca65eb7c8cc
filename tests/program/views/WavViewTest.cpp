// The WAV window's scales on a real recording: the envelope from the overview and from the
// file, the time- and value-scale commands at their limits, and horizontal scrolling to the end.
#include <algorithm>
#include <limits>

#include "program/views/ViewFixture.h"
#include "program/views/WavView.h"

namespace vocara::test {
namespace {

using platform::ScrollCode;

class WavViewTest : public ViewTest {
 protected:
  // The extremes of samples [first, first + count) of the recording made by OpenWav, in
  // left-aligned units, cut at the end of the data.
  SamplePair Expected(std::uint64_t first, std::uint64_t count, std::uint64_t total) const {
    SamplePair pair{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()};
    for (std::uint64_t i = first; i < std::min(first + count, total); ++i) {
      pair.min = std::min(pair.min, SampleAt(i) * 65536);
      pair.max = std::max(pair.max, SampleAt(i) * 65536);
    }
    return pair;
  }
  void ExpectEnvelopeMatchesTheSamples(std::uint32_t total) {
    const view::WavView& view = app.windows.wavView;
    for (int x = 0; x < 640; ++x) {
      ASSERT_EQ(
          view.envelope[static_cast<std::size_t>(x)],
          Expected(view.firstSample + std::uint64_t{view.samplesPerPixel} * x, view.samplesPerPixel, total))
          << "column " << x << " at " << view.samplesPerPixel << " samples per column";
    }
  }
};

// 200000 samples make 4 samples per overview entry: 1 and 3 per column read the file, 4 and 8
// take the overview, whose entries then line up with the columns exactly.
TEST_F(WavViewTest, EnvelopeFromTheFileAndFromTheOverviewHoldTheColumnExtremes) {
  OpenWav(200000);
  ASSERT_EQ(app.docs.wav.overviewFactor, 4u);
  for (std::uint32_t spp : {1u, 3u, 4u, 8u}) {
    app.windows.wavView.samplesPerPixel = spp;
    app.windows.wavView.firstSample = 120000;
    WavViewEnvelopePass(app.windows, app.docs);
    ExpectEnvelopeMatchesTheSamples(200000);
  }
}

TEST_F(WavViewTest, TimeStretchAtOneSamplePerColumnAndSqueezeAtFitAllChangeNothing) {
  OpenWav(100000);
  Command(WavView, 142);
  const std::uint32_t fitAll = 100000 / 639;
  ASSERT_EQ(app.windows.wavView.samplesPerPixel, fitAll);
  Command(WavView, 144);
  EXPECT_EQ(app.windows.wavView.samplesPerPixel, fitAll);
  Command(WavView, 141);
  const std::size_t invalidated = fake.windows.views[WavView].invalidated.size();
  Command(WavView, 145);  // not even a redraw
  EXPECT_EQ(std::tuple(app.windows.wavView.samplesPerPixel, fake.windows.views[WavView].invalidated.size()),
            std::tuple(1u, invalidated));
}

TEST_F(WavViewTest, ScrollingToTheEndLeavesTheLastSampleInTheLastColumn) {
  OpenWav(100000);
  for (std::uint32_t spp : {1u, 8u}) {  // from the file; from 2-sample overview entries
    app.docs.wav.cursor = 0;
    WavViewRecentre(app.windows, app.docs, app.ports, spp);
    for (int i = 0; i < 200; ++i) HScroll(WavView, ScrollCode::PageDown);
    const view::WavView& view = app.windows.wavView;
    // The last column ends with the data.
    EXPECT_EQ(
        std::tuple(view.firstSample, view.firstSample + 640 * spp, app.windows.geometry[WavView].dataWidth),
        std::tuple(100000u - 640 * spp, 100000u, 640));
    EXPECT_EQ(view.envelope[639], Expected(100000 - spp, spp, 100000));
  }
  HScroll(WavView, ScrollCode::ThumbTrack, 0);
  EXPECT_EQ(app.windows.wavView.firstSample, 0u);
  HScroll(WavView, ScrollCode::ThumbTrack, 10000);  // the thumb at the far end is the end too
  EXPECT_EQ(app.windows.wavView.firstSample, 100000u - 640 * 8);
}

TEST_F(WavViewTest, AFileShorterThanTheWindowStartsAtItsFirstSample) {
  OpenWav(300);
  // Everything shows: the bar is disabled.
  EXPECT_EQ(std::tuple(app.windows.wavView.samplesPerPixel, app.windows.geometry[WavView].dataWidth,
                       Bar(WavView).page),
            std::tuple(1u, 300, 10001));
  HScroll(WavView, ScrollCode::LineDown);
  HScroll(WavView, ScrollCode::PageDown);
  EXPECT_EQ(std::tuple(app.windows.wavView.firstSample, Bar(WavView).pos), std::tuple(0u, 0));
  EXPECT_EQ(app.windows.wavView.envelope[299], Expected(299, 1, 300));
}

TEST_F(WavViewTest, ValueFitOnSilenceTakesTheLargestScaleWithSilenceOnTheMiddleRow) {
  OpenWavSamples(std::vector<std::int32_t>(4000, 0));
  Command(WavView, 149);  // squeeze first, so that the fit has something to undo
  Command(WavView, 148);
  // Not the nearest bar step, 327 rows off at this scale.
  EXPECT_EQ(std::tuple(app.windows.wavView.valueScale, app.windows.wavView.valueOffset),
            std::tuple(100.0 / 65536, 0));
  Paint(WavView);
  const ViewGeometry& g = app.windows.geometry[WavView];
  EXPECT_EQ(Pixel(WavView, 300, (g.plotTop + g.plotBottom + 1) / 2), BlackPixel);
}

}  // namespace
}  // namespace vocara::test
