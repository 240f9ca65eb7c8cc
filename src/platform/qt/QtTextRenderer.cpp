#include "platform/qt/QtTextRenderer.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <array>
#include <utility>

#include "platform/qt/QtText.h"

namespace vocara::platform::qt {

namespace {

// The widest texts of the status strips and the width of their fields at 96 dpi: the
// longest label, the shortest label field, and the value placeholders in their fields.
constexpr std::array<std::pair<const char*, int>, 5> FieldFits{{
    {"Vrms/(arb.u)=", 63},
    {"Frame=", 35},
    {"Value/(arb.u)=", 68},
    {"1234567890", 75},
    {"-100.000", 43},
}};

constexpr int LargestPixelSize = 13;
constexpr int SmallestPixelSize = 7;

}  // namespace

QFont StatusFont(int dpiX) {
  const QString family = QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"))
                             ? QStringLiteral("MS Sans Serif")
                             : QStringLiteral("DejaVu Sans");
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  for (int pixelSize = LargestPixelSize; pixelSize >= SmallestPixelSize; --pixelSize) {
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    bool fits = true;
    for (const auto& [text, width] : FieldFits) {
      if (metrics.horizontalAdvance(QString::fromLatin1(text)) > width * dpiX / 96) {
        fits = false;
        break;
      }
    }
    if (fits) {
      break;
    }
  }
  return font;
}

QtTextRenderer::QtTextRenderer(int dpiX) : font_(StatusFont(dpiX)), ascent_(QFontMetrics(font_).ascent()) {}

void QtTextRenderer::DrawText(const PixelView& target, const Rect& clip, int x, int y, std::string_view text,
                              Rgb colour) {
  if (target.pixels == nullptr || target.width <= 0 || target.height <= 0 || clip.Empty() || text.empty()) {
    return;
  }
  QImage image(reinterpret_cast<uchar*>(target.pixels), target.width, target.height,
               static_cast<qsizetype>(target.stride) * 4, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setClipRect(QRect(clip.left, clip.top, clip.Width(), clip.Height()));
  painter.setFont(font_);
  painter.setPen(QColor(colour.r, colour.g, colour.b));
  painter.drawText(QPoint(x, y + ascent_), ToQString(text));
}

}  // namespace vocara::platform::qt
