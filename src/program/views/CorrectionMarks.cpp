#include "program/views/CorrectionMarks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "engine/processing/CorrectionReport.h"
#include "program/shell/App.h"

namespace vocara {
namespace {

// The status font's extent at 96 dpi, generous enough for the widest digits.
constexpr double LabelCharWidth = 7.0;

}  // namespace

void DrawCorrectionMarks(const App& app, platform::Canvas& canvas, int first, int end, int columns,
                         const PitchRows& rows) {
  if (!app.correctionReportShown) return;
  const SasDocument& sas = app.sas;
  columns = std::clamp(std::min(columns, sas.pageCount), 0, SasPageCapacity);
  end = std::min(end, columns);
  first = std::max(first, 0);
  if (first >= end) return;
  const std::int64_t pageStart = sas.firstFrame;  // the frame of column 0
  const std::int64_t from = pageStart + first;
  const std::int64_t to = pageStart + end;
  const int height = rows.bottom - rows.top;
  const int labelHeight = std::max(app.metrics.statusHeight - 3, 1);

  // The notes come in frame order and do not overlap: skip those that end before the columns.
  const auto& notes = app.correctionReport.notes;
  auto note = std::partition_point(notes.begin(), notes.end(),
                                   [from](const NoteReport& n) { return std::int64_t{n.endFrame} <= from; });
  canvas.SetRasterMode(platform::RasterMode::Copy);
  canvas.SelectPen(CorrectionMarkColour);
  canvas.SetTextColour(CorrectionMarkColour);
  for (; note != notes.end() && std::int64_t{note->firstFrame} < to; ++note) {
    if (!note->achieved || note->endFrame <= note->firstFrame) continue;
    const double pitch = note->note * 100.0 + note->achievedCents;
    if (!std::isfinite(pitch)) continue;
    const double value = std::trunc(pitch * rows.scale - rows.base);
    if (value <= 0 || value >= height) continue;
    const int row = rows.bottom - static_cast<int>(value);
    const auto x0 = static_cast<int>(std::max<std::int64_t>(note->firstFrame, from) - pageStart);
    const auto x1 = static_cast<int>(std::min<std::int64_t>(note->endFrame, to) - pageStart);
    canvas.MoveTo(x0, row);
    canvas.LineTo(x1, row);

    // The label sits over the note's part of the whole plot, left-aligned, when it fits there.
    const auto left = static_cast<int>(std::max<std::int64_t>(std::int64_t{note->firstFrame} - pageStart, 0));
    const auto right =
        static_cast<int>(std::min<std::int64_t>(std::int64_t{note->endFrame} - pageStart, columns));
    const double error = std::clamp(std::round(note->errorCents), -9999.0, 9999.0);
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%+d", static_cast<int>(error));
    if (length <= 0) continue;
    const bool fits =
        (right - left) >= length * LabelCharWidth * app.metrics.sx && row - labelHeight > rows.top;
    if (fits)
      canvas.TextOut(left + 1, row - labelHeight, std::string_view(text, static_cast<std::size_t>(length)));
  }
}

}  // namespace vocara
