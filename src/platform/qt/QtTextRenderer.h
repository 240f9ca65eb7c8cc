// Draws the core's texts (status fields, ruler and scale labels) into its pixel images.
#pragma once

#include <QFont>

#include "platform/Canvas.h"

namespace vocara::platform::qt {

class QtTextRenderer final : public TextRenderer {
 public:
  // dpiX scales the field widths the font has to fit, as the status fields are scaled.
  explicit QtTextRenderer(int dpiX = 96);

  void DrawText(const PixelView& target, const Rect& clip, int x, int y, std::string_view text,
                Rgb colour) override;

  const QFont& Font() const { return font_; }

 private:
  QFont font_;
  int ascent_ = 0;
};

// The status font: "MS Sans Serif" where it is installed, otherwise "DejaVu Sans", at the
// largest pixel size whose labels still fit their status fields.
QFont StatusFont(int dpiX);

}  // namespace vocara::platform::qt
