// The drawing surface the core paints with. Coordinates are client pixels of a window
// (row 0 is the top of the toolbar band). Lines follow the move-to/line-to convention:
// LineTo draws from the current position up to, but not including, the end point.
#pragma once

#include <string_view>

#include "base/Geometry.h"

namespace vocara::platform {

enum class RasterMode {
  Copy,    // destination := pen colour
  NotXor,  // destination := NOT (pen XOR destination); drawing twice restores the pixels
};

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void SelectPen(Rgb colour) = 0;
  virtual void SelectBrush(Rgb colour) = 0;
  virtual void SetRasterMode(RasterMode mode) = 0;
  virtual void MoveTo(int x, int y) = 0;
  virtual void LineTo(int x, int y) = 0;
  // Outline with the pen and interior with the brush, both in the raster mode;
  // covers columns left..right-1 and rows top..bottom-1.
  virtual void Rectangle(int left, int top, int right, int bottom) = 0;
  // Plain copy fill, whatever the raster mode.
  virtual void FillRect(const Rect& rect, Rgb colour) = 0;
  virtual void SetPixel(int x, int y, Rgb colour) = 0;
  virtual void SetTextColour(Rgb colour) = 0;
  // One line of text, transparent background, top left at (x, y).
  virtual void TextOut(int x, int y, std::string_view text) = 0;
  virtual void SetClip(const Rect& rect) = 0;
  virtual void ClearClip() = 0;
};

// Draws glyphs into a pixel buffer; the only part of drawing that needs the platform.
class TextRenderer {
 public:
  virtual ~TextRenderer() = default;
  virtual void DrawText(const PixelView& target, const Rect& clip, int x, int y, std::string_view text,
                        Rgb colour) = 0;
};

}  // namespace vocara::platform
