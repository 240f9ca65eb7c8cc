// What the WAV and SAS windows show, checked on the pixels of their backing images (drawn by the
// same raster code the user sees) and on the texts handed to the text renderer.
#include <algorithm>
#include <utility>
#include <vector>

#include "program/shell/Resources.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"
#include "program/views/ViewFixture.h"
#include "program/views/WavView.h"

namespace vocara::test {
namespace {

// The colours of a column from `bottom` upward to `top`, as runs of (pixel, length).
std::vector<std::pair<std::uint32_t, int>> Runs(const RasterImage& image, int x, int bottom, int top) {
  std::vector<std::pair<std::uint32_t, int>> runs;
  for (int y = bottom; y >= top; --y) {
    const std::uint32_t pixel = image.Pixel(x, y);
    if (!runs.empty() && runs.back().first == pixel) {
      ++runs.back().second;
    } else {
      runs.emplace_back(pixel, 1);
    }
  }
  return runs;
}

using RunList = std::vector<std::pair<std::uint32_t, int>>;
constexpr std::uint32_t GreyPixel = 0xffc0c0c0;

TEST(ColumnBar, OliveForTheSharedPartBlueOrBlackForTheSurplusWhiteAbove) {
  RasterImage image;
  image.Resize(8, 120);
  FakeText text;
  RasterCanvas canvas(image, text);
  canvas.FillRect({0, 0, 8, 120}, {192, 192, 192});
  DrawColumnBar(canvas, 0, 10, 110, 30, 30);
  DrawColumnBar(canvas, 1, 10, 110, 20, 50);
  DrawColumnBar(canvas, 2, 10, 110, 50, 20);
  DrawColumnBar(canvas, 3, 10, 110, 500, 1000);  // both limited to the height
  DrawColumnBar(canvas, 4, 10, 110, 0, 0);
  // From the bottom row up to, not including, the top row.
  EXPECT_EQ(Runs(image, 0, 110, 10), (RunList{{OlivePixel, 30}, {WhitePixel, 70}, {GreyPixel, 1}}));
  EXPECT_EQ(Runs(image, 1, 110, 10),
            (RunList{{OlivePixel, 20}, {BluePixel, 30}, {WhitePixel, 50}, {GreyPixel, 1}}));
  EXPECT_EQ(Runs(image, 2, 110, 10),
            (RunList{{OlivePixel, 20}, {BlackPixel, 30}, {WhitePixel, 50}, {GreyPixel, 1}}));
  EXPECT_EQ(Runs(image, 3, 110, 10), (RunList{{OlivePixel, 100}, {GreyPixel, 1}}));
  EXPECT_EQ(Runs(image, 4, 110, 10), (RunList{{WhitePixel, 100}, {GreyPixel, 1}}));
}

TEST(NoteOfPitch, RoundsToTheNearestNoteWithinTheKeyboard) {
  // The analysis may pass C8 a little.
  for (const auto& [pitch, name, cents] : {std::tuple(0, "A0", 0), std::tuple(4849, "A4", 49),
                                           std::tuple(4850, "A#4", -50), std::tuple(8796, "C8", 96)})
    EXPECT_EQ(std::tuple(NoteOfPitch(pitch).name, NoteOfPitch(pitch).cents), std::tuple(name, cents))
        << pitch;
}

class RenderTest : public ViewTest {
 protected:
  // 100000 samples of silence at one sample per column around sample 50000, so the waveform is a
  // line on the middle row and the band stands on white.
  void OpenSilence() {
    OpenWavSamples(std::vector<std::int32_t>(100000, 0));
    app.docs.wav.cursor = 50000;
    Command(WavView, 141);
    ASSERT_EQ(app.windows.wavView.firstSample, 50000u - 320);
  }
  void SelectWav(std::uint32_t left, std::uint32_t right) {
    app.docs.wav.rangeLeft = left;
    app.docs.wav.rangeRight = right;
    Paint(WavView);
  }
  int BandRow() const { return app.windows.geometry[WavView].plotTop + 5; }
  std::vector<std::string> TextsAtRow(int y) const {
    std::vector<std::string> texts;
    for (const DrawnText& t : fake.text.drawn) {
      if (t.y == y) texts.push_back(std::to_string(t.x) + ":" + t.text);
    }
    return texts;
  }
};

TEST_F(RenderTest, TheSelectionBandIsClippedToTheColumnsAndAnEmptyRangeDrawsNone) {
  OpenSilence();
  SelectWav(49680 + 100, 49680 + 200);  // columns 100 to 199
  EXPECT_EQ(std::tuple(Pixel(WavView, 99, BandRow()), Pixel(WavView, 100, BandRow()),
                       Pixel(WavView, 199, BandRow()), Pixel(WavView, 200, BandRow())),
            std::tuple(WhitePixel, GreenPixel, GreenPixel, WhitePixel));
  SelectWav(1000, 99000);  // both ends outside the window
  EXPECT_EQ(std::tuple(app.windows.geometry[WavView].selLeftX, app.windows.geometry[WavView].selRightX,
                       Pixel(WavView, 0, BandRow()), Pixel(WavView, 639, BandRow())),
            std::tuple(0, 640, GreenPixel, GreenPixel));
  SelectWav(49800, 49800);
  const std::span<const std::uint32_t> pixels = app.windows.images[WavView].Pixels();
  EXPECT_EQ(std::count(pixels.begin(), pixels.end(), GreenPixel), 0);
}

TEST_F(RenderTest, TheWaveformJoinsEachColumnsMinimumAndMaximumInBlack) {
  std::vector<std::int32_t> samples(2000, 0);  // 3 samples per column
  samples[12] = -30000;                        // column 4 holds both extremes
  samples[13] = 30000;
  OpenWavSamples(samples);
  ASSERT_EQ(app.windows.wavView.samplesPerPixel, 3u);
  Paint(WavView);
  const ViewGeometry& g = app.windows.geometry[WavView];
  const auto row = [&](std::int32_t value) {
    return WavRowOfValue(value, app.windows.wavView.valueOffset, app.windows.wavView.valueScale, g.plotTop,
                         g.plotBottom);
  };
  const int zero = row(0);
  const int low = row(-30000 * 65536);
  const int high = row(30000 * 65536);
  EXPECT_GE(low, g.plotBottom - 3);  // the value fit spans the plot less 4 rows
  EXPECT_LE(high, g.plotTop + 3);
  // Silence: a point per column, joined.
  EXPECT_EQ(std::tuple(Pixel(WavView, 2, zero), Pixel(WavView, 2, zero - 1), Pixel(WavView, 2, zero + 1)),
            std::tuple(BlackPixel, WhitePixel, WhitePixel));
  for (int y = high; y <= low; ++y) EXPECT_EQ(Pixel(WavView, 4, y), BlackPixel) << y;
  EXPECT_EQ(Pixel(WavView, 4, high - 1), WhitePixel);
}

TEST_F(RenderTest, TheCursorLineIsErasedExactlyByItsInvertingRedraw) {
  OpenWav(100000);
  fake.desktop.answers.push_back(platform::MessageAnswer::Yes);  // keep the unfitting SAS
  OpenSas(5000);
  ClearStatusNotices(app.screen);  // the missing sound device's, which a cursor move would end
  for (int view : {WavView, SasView}) {
    Paint(view);
    const std::vector<std::uint32_t> before(app.windows.images[view].Pixels().begin(),
                                            app.windows.images[view].Pixels().end());
    const std::uint32_t underCursor = Pixel(view, 100, app.windows.geometry[view].plotTop + 1);
    const int home = app.windows.geometry[view].cursorX;
    app.windows.geometry[view].cursorX = 100;
    MoveCursor(app.screen, view);
    EXPECT_NE(Pixel(view, 100, app.windows.geometry[view].plotTop + 1), underCursor);
    app.windows.geometry[view].cursorX = home;
    MoveCursor(app.screen, view);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), app.windows.images[view].Pixels().begin()))
        << "view " << view;
  }
}

TEST_F(RenderTest, TimeLinksWithBothEndsOutsideTheColumnsAreNotDrawn) {
  // 624 columns show frames 0..623; links at frames 500 and 628 (both ends), the last at 5000.
  OpenSas(5000, {{0, 0}, {50000, 50000}, {62800, 62800}, {500000, 500000}});
  Paint(SasView);
  const int top = app.windows.geometry[SasView].plotTop;
  const int bottom = SasAmplitudeBottom(app.windows);
  EXPECT_EQ(Runs(app.windows.images[SasView], 628, bottom, top), (RunList{{WhitePixel, bottom - top + 1}}));
  // Frame 500's link is a blue inverting line over its column bar.
  EXPECT_NE(Pixel(SasView, 500, top + 1), WhitePixel);
  EXPECT_NE(Runs(app.windows.images[SasView], 500, bottom, top + 1),
            Runs(app.windows.images[SasView], 501, bottom, top + 1));
}

TEST_F(RenderTest, PitchBarsReachTheCentreRowAtTheCentreNote) {
  SasHeader header = SasHeaderFor(100, 48000, 0, 4);
  std::vector<SasFrame> frames{FreshFrame(0, 0, 0), FreshFrame(100, 0, 0), FreshFrame(200, 0, 0),
                               FreshFrame(100, 0, 0)};
  frames[3].targetPitch |= TimeCorrectionOffBit;
  OpenSasRecords(header, frames, EndLinks(400));
  Resize(SasView, 640, 600);
  Wheel(SasView, {50, 26 + app.windows.upperPaneHeight}, 120);  // note 1 (A#0) to the centre row
  Paint(SasView);
  const int paneTop = SasPitchTop(app.windows);
  const int centre = (paneTop + 600) / 2;
  // 100 cents: up to the centre row, the centre line over it.
  EXPECT_EQ(
      std::tuple(Pixel(SasView, 1, centre + 1), Pixel(SasView, 1, centre), Pixel(SasView, 1, centre - 1)),
      std::tuple(OlivePixel, RedPixel, WhitePixel));
  // A semitone higher: 25 rows up.
  EXPECT_EQ(std::tuple(Pixel(SasView, 2, centre - 24), Pixel(SasView, 2, centre - 25)),
            std::tuple(OlivePixel, YellowPixel));
  // Time correction off.
  EXPECT_EQ(std::tuple(Pixel(SasView, 3, paneTop - 2), Pixel(SasView, 2, paneTop - 2)),
            std::tuple(BlackPixel, WhitePixel));
}

TEST_F(RenderTest, TheBarRulerNumbersBarsFromTheOriginNegativeBeforeIt) {
  // 100 frames per second; 120 quarter notes per minute in 4/4: a beat is 50 columns, a bar 200.
  SasHeader header = SasHeaderFor(480, 48000, 0, 5000);
  header.settings.rulerOrigin = 120000;  // bar 0 starts at column 250
  OpenSasRecords(header, std::vector<SasFrame>(5000), EndLinks(5000 * 480));
  fake.text.drawn.clear();
  Paint(SasView);
  const int labelRow = 26 + 17;
  // Bar -1 at column 50; bar -2 would stand left of the window and is not drawn.
  EXPECT_EQ(TextsAtRow(labelRow), (std::vector<std::string>{"51:-1", "251:0", "451:1"}));
  const int baseline = 26 + 17 + 17;
  EXPECT_EQ(Runs(app.windows.images[SasView], 250, baseline, labelRow + 1),
            (RunList{{BlackPixel, 14}, {WhitePixel, baseline - labelRow - 14}}));  // a bar
  EXPECT_EQ(Runs(app.windows.images[SasView], 300, baseline, labelRow + 1),
            (RunList{{BlackPixel, 9}, {WhitePixel, baseline - labelRow - 9}}));  // a beat
  EXPECT_EQ(Runs(app.windows.images[SasView], 262, baseline, labelRow + 1),
            (RunList{{BlackPixel, 4}, {WhitePixel, baseline - labelRow - 4}}));  // a division
}

TEST_F(RenderTest, SasStatusShowsPitch0AsA0AndTheTargetsInBlue) {
  SasHeader header = SasHeaderFor(480, 48000, 0, 1);
  std::vector<SasFrame> frames{FreshFrame(0, -1 << 30, 1 << 30)};
  frames[0].targetPitch = 8796;
  OpenSasRecords(header, frames, EndLinks(480));
  fake.text.drawn.clear();
  Paint(SasView);
  const std::array<std::string, StatusFieldCount>& texts = app.windows.status.texts;
  EXPECT_EQ(texts[18] + " " + texts[19], "A0 0");
  EXPECT_EQ(texts[20] + " " + texts[21], "C8 96");
  EXPECT_EQ(texts[22], "50");  // half the full range, peak to peak
  for (const DrawnText& t : fake.text.drawn) {
    if (t.y != app.windows.status.rects[16].top) continue;
    const bool target = t.x == app.windows.status.rects[20].left ||
                        t.x == app.windows.status.rects[21].left || t.x == app.windows.status.rects[23].left;
    EXPECT_EQ(t.colour, target ? PenTable[2] : PenTable[3]) << t.text;
  }
}

}  // namespace
}  // namespace vocara::test
