#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "program/raster/RasterCanvas.h"

namespace vocara {
namespace {

using platform::Rect;
using platform::Rgb;
using Points = std::set<std::pair<int, int>>;

class RecordingText : public platform::TextRenderer {
 public:
  std::vector<Rect> clips;
  void DrawText(const platform::PixelView&, const Rect& clip, int, int, std::string_view, Rgb) override {
    clips.push_back(clip);
  }
};

Points Painted(const RasterImage& image) {
  Points points;
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      if (image.Pixel(x, y) != 0xffffffffu) points.insert({x, y});
    }
  }
  return points;
}

// The textbook Bresenham loop with an error term, end point left out: the oracle for the
// canvas's closed-form, clipped line.
Points TextbookLine(int x0, int y0, int x1, int y1, const Rect& visible) {
  const int sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
  const bool xMajor = std::abs(x1 - x0) >= std::abs(y1 - y0);
  const int major = xMajor ? std::abs(x1 - x0) : std::abs(y1 - y0);
  const int minor = xMajor ? std::abs(y1 - y0) : std::abs(x1 - x0);
  Points points;
  int error = 2 * minor - major, x = x0, y = y0;
  for (int t = 0; t < major; ++t) {
    if (x >= visible.left && x < visible.right && y >= visible.top && y < visible.bottom)
      points.insert({x, y});
    if (error > 0) {
      (xMajor ? y : x) += xMajor ? sy : sx;
      error -= 2 * major;
    }
    error += 2 * minor;
    (xMajor ? x : y) += xMajor ? sx : sy;
  }
  return points;
}

class RasterCanvasTest : public ::testing::Test {
 protected:
  RasterCanvasTest() { image_.Resize(16, 12); }

  // A background of distinct colours, so that inverting drawing has more than white to work on.
  std::vector<std::uint32_t> FillPattern() {
    for (int y = 0; y < 12; ++y) {
      for (int x = 0; x < 16; ++x)
        canvas_.SetPixel(x, y, Rgb{std::uint8_t(x * 16), std::uint8_t(y * 20), 77});
    }
    return {image_.Pixels().begin(), image_.Pixels().end()};
  }
  bool Unchanged(const std::vector<std::uint32_t>& before) const {
    return std::memcmp(image_.Pixels().data(), before.data(), before.size() * sizeof(std::uint32_t)) == 0;
  }

  RasterImage image_;
  RecordingText text_;
  RasterCanvas canvas_{image_, text_};
};

TEST_F(RasterCanvasTest, LineLeavesOutTheEndPointAndMovesThere) {
  canvas_.MoveTo(2, 3);
  canvas_.LineTo(6, 3);
  canvas_.LineTo(6, 7);
  canvas_.LineTo(6, 7);
  EXPECT_EQ(Painted(image_), (Points{{2, 3}, {3, 3}, {4, 3}, {5, 3}, {6, 3}, {6, 4}, {6, 5}, {6, 6}}));
  EXPECT_EQ(image_.Pixel(2, 3), 0xff000000u);
}

TEST_F(RasterCanvasTest, LinesMatchTextbookBresenhamInEveryDirectionAndClip) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> coordinate(-20, 35);
  const Rect clip{2, 1, 13, 10};
  for (int i = 0; i < 2000; ++i) {
    image_.Resize(16, 12);
    const int x0 = coordinate(random), y0 = coordinate(random), x1 = coordinate(random),
              y1 = coordinate(random);
    if (i % 2 == 0) {
      canvas_.SetClip(clip);
    } else {
      canvas_.ClearClip();
    }
    canvas_.MoveTo(x0, y0);
    canvas_.LineTo(x1, y1);
    ASSERT_EQ(Painted(image_), TextbookLine(x0, y0, x1, y1, i % 2 == 0 ? clip : Rect{0, 0, 16, 12}))
        << "(" << x0 << "," << y0 << ") to (" << x1 << "," << y1 << ")";
  }
}

TEST_F(RasterCanvasTest, RectangleOutlinesWithPenAndFillsWithBrush) {
  canvas_.SelectPen(Rgb{255, 0, 0});
  canvas_.SelectBrush(Rgb{0, 255, 0});
  canvas_.Rectangle(7, 6, 2, 2);  // swapped corners cover the same pixels as (2, 2, 7, 6)
  const Points painted = Painted(image_);
  EXPECT_EQ(painted.size(), 20u);
  for (const auto& [x, y] : painted) {
    const bool edge = x == 2 || x == 6 || y == 2 || y == 5;
    EXPECT_TRUE(x >= 2 && x < 7 && y >= 2 && y < 6) << x << "," << y;
    EXPECT_EQ(image_.Pixel(x, y), edge ? 0xffff0000u : 0xff00ff00u) << x << "," << y;
  }
}

// Inverting drawing changes the colour bits only; lines and rectangles drawn twice restore.
TEST_F(RasterCanvasTest, NotXorInvertsColourBitsOnlyAndTwiceRestores) {
  canvas_.SetRasterMode(platform::RasterMode::NotXor);
  canvas_.SelectPen(Rgb{255, 0, 0});
  canvas_.MoveTo(0, 0);
  canvas_.LineTo(1, 0);
  EXPECT_EQ(image_.Pixel(0, 0), 0xffff0000u);  // NOT(red XOR white) is red, still opaque

  const auto before = FillPattern();
  canvas_.SelectPen(Rgb{200, 30, 90});
  canvas_.SelectBrush(Rgb{90, 90, 250});
  const std::vector<Rect> rects{{2, 2, 9, 7}, {5, 0, 6, 12}, {0, 4, 16, 5}, {8, 9, 10, 11}, {-4, -4, 30, 30}};
  for (const bool lines : {true, false}) {
    for (int pass = 0; pass < 2; ++pass) {
      if (lines) {
        canvas_.MoveTo(1, 11);
        canvas_.LineTo(14, 0);
        canvas_.LineTo(3, 5);
        canvas_.LineTo(15, 9);
      } else {
        for (const Rect& r : rects) canvas_.Rectangle(r.left, r.top, r.right, r.bottom);
      }
      EXPECT_EQ(Unchanged(before), pass == 1) << (lines ? "lines" : "rectangles");
    }
  }
}

TEST_F(RasterCanvasTest, ClipBoundsEveryKindOfDrawingUntilCleared) {
  canvas_.SetClip({3, 3, 8, 40});
  canvas_.SetRasterMode(platform::RasterMode::NotXor);
  canvas_.FillRect({0, 0, 16, 5}, Rgb{0, 0, 255});  // a plain copy whatever the mode
  canvas_.FillRect({0, 0, 16, 5}, Rgb{0, 0, 255});
  canvas_.SetRasterMode(platform::RasterMode::Copy);
  canvas_.SetPixel(1, 1, Rgb{0, 0, 0});
  canvas_.SelectBrush(Rgb{255, 0, 0});
  canvas_.Rectangle(0, 6, 16, 9);
  canvas_.MoveTo(0, 10);
  canvas_.LineTo(16, 10);
  canvas_.TextOut(0, 0, "Bar 1");
  Points expected;
  for (const int y : {3, 4, 6, 7, 8, 10}) {
    for (int x = 3; x < 8; ++x) expected.insert({x, y});
  }
  EXPECT_EQ(Painted(image_), expected);
  EXPECT_EQ(image_.Pixel(7, 4), 0xff0000ffu);
  canvas_.ClearClip();
  canvas_.TextOut(0, 0, "Bar 2");
  EXPECT_EQ(text_.clips, (std::vector<Rect>{{3, 3, 8, 12}, {0, 0, 16, 12}}));
}

TEST_F(RasterCanvasTest, FarOffCoordinatesStayInside) {
  // Their cost, which must not grow with the distance, is BM_RasterFarOffLines.
  canvas_.MoveTo(INT_MIN, INT_MIN);
  canvas_.LineTo(INT_MAX, INT_MAX);  // the exact diagonal through (0, 0)
  canvas_.MoveTo(INT_MIN, 5);
  canvas_.LineTo(INT_MAX, 6);  // past its half-way step inside the image: row 6
  canvas_.MoveTo(-1000000000, INT_MAX);
  canvas_.LineTo(-1000000000, INT_MIN);
  canvas_.SetPixel(INT_MIN, INT_MAX, Rgb{1, 1, 1});
  canvas_.FillRect({INT_MAX - 1, 0, INT_MAX, 5}, Rgb{1, 1, 1});
  Points expected;
  for (int k = 0; k < 12; ++k) expected.insert({k, k});
  for (int x = 0; x < 16; ++x) expected.insert({x, 6});
  EXPECT_EQ(Painted(image_), expected);

  canvas_.SelectBrush(Rgb{0, 255, 0});
  canvas_.Rectangle(INT_MIN, INT_MIN, INT_MAX, INT_MAX);  // only its interior is on the image
  EXPECT_EQ(std::count(image_.Pixels().begin(), image_.Pixels().end(), 0xff00ff00u), 16 * 12);
}

}  // namespace
}  // namespace vocara
