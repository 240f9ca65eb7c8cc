// A canvas that paints into an in-memory image, so that every drawing routine of the views
// runs the same way on screen and in tests. The platform only supplies the glyphs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/Geometry.h"
#include "platform/Canvas.h"

namespace vocara {

// A block of 0xffRRGGBB pixels, row after row, rows Stride() pixels apart. A width that is a
// multiple of 32 pixels gets 16 white pixels of padding behind each row: with rows a multiple
// of 128 bytes apart, a column of pixels falls into a few cache sets only, and drawing the
// near-vertical lines of a waveform becomes several times slower.
class RasterImage {
 public:
  // Discards the old contents and fills the new image with white. Negative sizes count as 0.
  void Resize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  // The pixel at (x, y); 0 outside the image.
  std::uint32_t Pixel(int x, int y) const;
  std::span<const std::uint32_t> Pixels() const { return pixels_; }
  platform::PixelView View();

 private:
  std::vector<std::uint32_t> pixels_;
  int width_ = 0;
  int stride_ = 0;
  int height_ = 0;
};

// Nothing is ever written outside the image or the clip rectangle, whatever the coordinates;
// a line is clipped along its long axis first, so a line that runs mostly off the image costs
// no more than its visible part. Pen, text and the current position start as black, black and
// (0, 0); the brush starts white.
class RasterCanvas final : public platform::Canvas {
 public:
  RasterCanvas(RasterImage& image, platform::TextRenderer& text);

  void SelectPen(platform::Rgb colour) override;
  void SelectBrush(platform::Rgb colour) override;
  void SetRasterMode(platform::RasterMode mode) override;
  void MoveTo(int x, int y) override;
  // Bresenham from the current position, the end point itself left out; the current position
  // then moves to the end point.
  void LineTo(int x, int y) override;
  // Swapped edges are put in order first. The outer ring of pixels takes the pen, the inside the
  // brush, and no pixel is touched twice, so drawing it twice in NotXor restores the image.
  void Rectangle(int left, int top, int right, int bottom) override;
  void FillRect(const platform::Rect& rect, platform::Rgb colour) override;
  // Always a plain copy, whatever the raster mode.
  void SetPixel(int x, int y, platform::Rgb colour) override;
  void SetTextColour(platform::Rgb colour) override;
  void TextOut(int x, int y, std::string_view text) override;
  void SetClip(const platform::Rect& rect) override;
  void ClearClip() override;

 private:
  // The clip rectangle intersected with the image; the whole image without a clip.
  platform::Rect VisibleArea() const;
  void Paint(int x, int y, std::uint32_t colour, platform::RasterMode mode);

  RasterImage& image_;
  platform::TextRenderer& text_;
  std::uint32_t pen_ = platform::Rgb{0, 0, 0}.Pixel();
  std::uint32_t brush_ = platform::Rgb{255, 255, 255}.Pixel();
  platform::Rgb textColour_{0, 0, 0};
  platform::RasterMode mode_ = platform::RasterMode::Copy;
  platform::Point position_;
  std::optional<platform::Rect> clip_;
};

}  // namespace vocara
