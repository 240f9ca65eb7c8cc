// The status font and text drawing into the core's pixel images.
#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <cstdint>
#include <vector>

#include "platform/qt/QtTextRenderer.h"

namespace vocara::platform::qt::test {
namespace {

constexpr std::uint32_t White = 0xffffffffu;

struct Bitmap {
  Bitmap(int width, int height) : pixels(static_cast<std::size_t>(width * height), White) {
    view = PixelView{pixels.data(), width, height, width};
  }
  std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * view.stride + x)]; }
  std::vector<std::uint32_t> pixels;
  PixelView view;
};

TEST(QtTextRendererTest, StatusFontIsARealInstalledFamilyWhoseLabelsFitTheirFields) {
  const QtTextRenderer renderer(96);
  const QFontInfo info(renderer.Font());
  // Without a matching font Qt silently draws empty boxes, so the family must resolve.
  EXPECT_TRUE(info.family() == QStringLiteral("DejaVu Sans") ||
              info.family() == QStringLiteral("MS Sans Serif"))
      << info.family().toStdString();
  EXPECT_EQ(info.family(), renderer.Font().family());
  // At 96 dpi the labels fit their fields and stay readable.
  const QFontMetrics metrics(renderer.Font());
  EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Vrms/(arb.u)=")), 63);
  EXPECT_LE(metrics.horizontalAdvance(QStringLiteral("Frame=")), 35);
  EXPECT_GE(renderer.Font().pixelSize(), 8);
  EXPECT_LE(metrics.height(), 17);  // one status strip high

  // At 120 dpi the fields are a quarter wider, and so may the font be.
  const QtTextRenderer large(120);
  EXPECT_GE(large.Font().pixelSize(), renderer.Font().pixelSize());
}

TEST(QtTextRendererTest, TextIsDrawnInItsColourBelowItsTopAndInsideTheClip) {
  QtTextRenderer renderer;
  Bitmap bitmap(120, 30);
  const Rect clip{10, 0, 40, 30};
  renderer.DrawText(bitmap.view, clip, 5, 8, "Vrms/(arb.u)=", Rgb{255, 0, 0});

  int inside = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 120; ++x) {
      const std::uint32_t pixel = bitmap.At(x, y);
      if (pixel == White) continue;
      EXPECT_TRUE(x >= clip.left && x < clip.right) << "x=" << x;
      EXPECT_GE(y, 8) << "above the top of the text";
      // Red ink: full red channel, with green and blue lowered alike by the coverage.
      EXPECT_EQ(pixel >> 16 & 0xff, 0xffu);
      EXPECT_EQ(pixel >> 8 & 0xff, pixel & 0xff);
      ++inside;
    }
  }
  EXPECT_GT(inside, 20);
}

}  // namespace
}  // namespace vocara::platform::qt::test
