// Software rasteriser for the views.
//
// Lines: a line from P to Q steps one pixel at a time along its longer axis; at step t the
// shorter axis has moved t * minor / major pixels, rounded to the nearest pixel with halves
// rounded down, which is the pixel set of the classic integer Bresenham loop. The position is
// written in closed form for the first step inside the visible area, so drawing starts there
// and stops after the last visible step, and a line with far-off end points takes no longer
// than the width or height of the image; from that step on the quotient is carried forward as
// a whole part and a remainder. The end point is not drawn, so a polyline touches each joint
// once, which keeps NotXor drawing reversible.

#include "program/raster/RasterCanvas.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <utility>

namespace vocara {

namespace {

constexpr std::uint32_t White = 0xffffffffu;
constexpr std::uint32_t Opaque = 0xff000000u;
constexpr std::uint32_t ColourBits = 0x00ffffffu;

}  // namespace

void RasterImage::Resize(int width, int height) {
  width_ = std::max(width, 0);
  stride_ = width_ > 0 && width_ % 32 == 0 ? width_ + 16 : width_;
  height_ = std::max(height, 0);
  pixels_.assign(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_), White);
}

std::uint32_t RasterImage::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_) +
                 static_cast<std::size_t>(x)];
}

platform::PixelView RasterImage::View() { return {pixels_.data(), width_, height_, stride_}; }

RasterCanvas::RasterCanvas(RasterImage& image, platform::TextRenderer& text) : image_(image), text_(text) {}

void RasterCanvas::SelectPen(platform::Rgb colour) { pen_ = colour.Pixel(); }

void RasterCanvas::SelectBrush(platform::Rgb colour) { brush_ = colour.Pixel(); }

void RasterCanvas::SetRasterMode(platform::RasterMode mode) { mode_ = mode; }

void RasterCanvas::MoveTo(int x, int y) { position_ = {x, y}; }

void RasterCanvas::LineTo(int x, int y) {
  const platform::Point from = position_;
  position_ = {x, y};

  const long long dx = static_cast<long long>(x) - from.x;
  const long long dy = static_cast<long long>(y) - from.y;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const long long major = xMajor ? std::llabs(dx) : std::llabs(dy);
  const long long minor = xMajor ? std::llabs(dy) : std::llabs(dx);
  if (major == 0) return;

  const platform::Rect area = VisibleArea();
  if (area.Empty()) return;
  const long long majorStart = xMajor ? from.x : from.y;
  const long long minorStart = xMajor ? from.y : from.x;
  const long long majorStep = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const long long minorStep = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const long long majorLow = xMajor ? area.left : area.top;
  const long long majorHigh = xMajor ? area.right : area.bottom;  // exclusive
  const long long minorLow = xMajor ? area.top : area.left;
  const long long minorHigh = xMajor ? area.bottom : area.right;  // exclusive

  // Steps t in [0, major) whose long-axis coordinate lies inside the visible area.
  long long first = 0;
  long long last = major;  // exclusive
  if (majorStep > 0) {
    first = std::max(first, majorLow - majorStart);
    last = std::min(last, majorHigh - majorStart);
  } else {
    first = std::max(first, majorStart - majorHigh + 1);
    last = std::min(last, majorStart - majorLow + 1);
  }

  if (first >= last) return;
  // t x minor / major at the first visible step, then carried as whole part and remainder
  // (minor <= major, so a step carries at most one). Both extents are below 2^32 and t < major,
  // so the product fits in 64 bits. The pixel index moves along with the position, and the
  // raster mode is decided once per line.
  const auto uMinor = static_cast<std::uint64_t>(minor);
  const auto uMajor = static_cast<std::uint64_t>(major);
  const std::uint64_t product = static_cast<std::uint64_t>(first) * uMinor;
  long long whole = static_cast<long long>(product / uMajor);
  std::uint64_t rest = product % uMajor;
  long long offset = whole + (2 * rest > uMajor ? 1 : 0);
  long long across = minorStart + minorStep * offset;
  const long long along = majorStart + majorStep * first;
  const long long width = image_.Stride();
  const long long majorStride = majorStep * (xMajor ? 1 : width);
  const long long minorStride = minorStep * (xMajor ? width : 1);
  long long index = xMajor ? across * width + along : along * width + across;
  std::uint32_t* const pixels = image_.View().pixels;
  const std::uint32_t pen = pen_;
  const bool invert = mode_ == platform::RasterMode::NotXor;
  for (long long t = first; t < last; ++t) {
    if (across >= minorLow && across < minorHigh) {
      std::uint32_t& pixel = pixels[index];
      pixel = invert ? Opaque | (~(pen ^ pixel) & ColourBits) : pen;
    }
    index += majorStride;
    rest += uMinor;
    if (rest >= uMajor) {
      rest -= uMajor;
      ++whole;
    }
    // The rounded offset grows by at most one per step.
    if (whole + (2 * rest > uMajor ? 1 : 0) != offset) {
      ++offset;
      across += minorStep;
      index += minorStride;
    }
  }
}

void RasterCanvas::Rectangle(int left, int top, int right, int bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  if (right == left || bottom == top) return;

  const platform::Rect area = VisibleArea();
  const int x0 = std::max(left, area.left);
  const int x1 = std::min(right, area.right);
  const int y0 = std::max(top, area.top);
  const int y1 = std::min(bottom, area.bottom);
  // right - 1 and bottom - 1 cannot overflow: right > left and bottom > top here.
  const int lastColumn = right - 1;
  const int lastRow = bottom - 1;
  for (int py = y0; py < y1; ++py) {
    const bool edgeRow = py == top || py == lastRow;
    for (int px = x0; px < x1; ++px) {
      const bool edge = edgeRow || px == left || px == lastColumn;
      Paint(px, py, edge ? pen_ : brush_, mode_);
    }
  }
}

void RasterCanvas::FillRect(const platform::Rect& rect, platform::Rgb colour) {
  const platform::Rect area = VisibleArea();
  const int x0 = std::max(rect.left, area.left);
  const int x1 = std::min(rect.right, area.right);
  const int y0 = std::max(rect.top, area.top);
  const int y1 = std::min(rect.bottom, area.bottom);
  if (x0 >= x1) return;
  const std::uint32_t pixel = colour.Pixel();
  for (int py = y0; py < y1; ++py) {
    std::uint32_t* row =
        image_.View().pixels + static_cast<std::size_t>(py) * static_cast<std::size_t>(image_.Stride());
    std::fill(row + x0, row + x1, pixel);
  }
}

void RasterCanvas::SetPixel(int x, int y, platform::Rgb colour) {
  const platform::Rect area = VisibleArea();
  if (x < area.left || x >= area.right || y < area.top || y >= area.bottom) return;
  Paint(x, y, colour.Pixel(), platform::RasterMode::Copy);
}

void RasterCanvas::SetTextColour(platform::Rgb colour) { textColour_ = colour; }

void RasterCanvas::TextOut(int x, int y, std::string_view text) {
  text_.DrawText(image_.View(), VisibleArea(), x, y, text, textColour_);
}

void RasterCanvas::SetClip(const platform::Rect& rect) { clip_ = rect; }

void RasterCanvas::ClearClip() { clip_.reset(); }

platform::Rect RasterCanvas::VisibleArea() const {
  platform::Rect area{0, 0, image_.Width(), image_.Height()};
  if (clip_) {
    area.left = std::max(area.left, clip_->left);
    area.top = std::max(area.top, clip_->top);
    area.right = std::min(area.right, clip_->right);
    area.bottom = std::min(area.bottom, clip_->bottom);
  }
  // An empty area is kept with right <= left or bottom <= top; every loop then runs zero times.
  return area;
}

// (x, y) must lie inside the visible area.
void RasterCanvas::Paint(int x, int y, std::uint32_t colour, platform::RasterMode mode) {
  std::uint32_t& pixel =
      image_.View().pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(image_.Stride()) +
                           static_cast<std::size_t>(x)];
  if (mode == platform::RasterMode::NotXor) {
    // Only the colour bits are inverted; the image stays opaque.
    pixel = Opaque | (~(colour ^ pixel) & ColourBits);
  } else {
    pixel = colour;
  }
}

}  // namespace vocara
