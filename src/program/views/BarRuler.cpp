// The bar ruler of the SAS window: a band between the status strip and the amplitude plot,
// closed by a black baseline, with ticks standing on that baseline.
//
// One beat lasts B = sampleRate x 240 / (tempo x beatUnit) samples, and bar originBar begins at
// sample rulerOrigin. Three tick series are drawn: beats (9 pixels), divisions of a beat
// (4 pixels) and bars (14 pixels, with the bar number beside the tick). Tick k of a series with
// step S stands on sample k x S + rulerOrigin, that is on column
// trunc((k x S + rulerOrigin) / frameLength - firstFrame); k runs over the ticks that fall
// within the window, counted from the origin, so ticks before the origin have negative k and
// the bars there negative numbers.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/NumberText.h"
#include "program/shell/App.h"
#include "program/shell/Resources.h"
#include "program/views/Render.h"

namespace vocara {
namespace {

constexpr int MaxLabelText = 20;

struct TickSeries {
  double step;  // samples between ticks
  int height;   // pixels above the baseline
  bool labels;
};

void DrawSeries(WindowStates& windows, SasSession& session, const Configuration& config,
                platform::Canvas& canvas, const TickSeries& series, int baseline, int width) {
  const double frameLength = session.sas.header.frameLength;
  const double first = session.sas.firstFrame;
  const double origin = config.settings.rulerOrigin;
  const double step = series.step;
  // A SAS without a sample rate or frame length has no time axis to mark.
  if (!(step > 0.0) || !(frameLength > 0.0) || !std::isfinite(step)) return;
  const double firstTick = std::trunc((frameLength * first - origin) / step);
  const double lastTick = std::trunc(((width + first) * frameLength - origin) / step);
  if (firstTick > lastTick) return;
  const auto column = [&](double k) { return std::trunc((k * step + origin) / frameLength - first); };
  canvas.SelectPen(PenTable[3]);

  if (step < frameLength) {
    // Ticks closer than a column: every column from the first tick's to the last tick's holds
    // one, as drawing each tick would leave it, without a loop over up to billions of ticks.
    // Their numbers would only smear into each other and are left out.
    const int from = static_cast<int>(std::max(column(firstTick), -1.0));
    const int to = static_cast<int>(std::min(column(lastTick), width + 1.0));
    for (int x = from; x <= to; ++x) {
      canvas.MoveTo(x, baseline);
      canvas.LineTo(x, baseline - series.height);
    }
    return;
  }
  const int textTop = windows.metrics.toolbarHeight + windows.metrics.statusHeight;
  const auto firstK = static_cast<std::int64_t>(firstTick);
  const auto lastK = static_cast<std::int64_t>(lastTick);
  for (std::int64_t k = firstK; k <= lastK; ++k) {
    const auto x = static_cast<int>(column(static_cast<double>(k)));
    canvas.MoveTo(x, baseline);
    canvas.LineTo(x, baseline - series.height);
    if (series.labels) {
      canvas.TextOut(x + 1, textTop,
                     FormatNumber(static_cast<double>(config.settings.originBar + k), 0, MaxLabelText, true));
    }
  }
}

}  // namespace

void DrawBarRuler(WindowStates& windows, SasSession& session, const Configuration& config,
                  platform::Canvas& canvas) {
  const int top = windows.metrics.toolbarHeight + windows.metrics.statusHeight;
  const int baseline = top + windows.metrics.rulerHeight;
  const int width = windows.clientRect[SasView].right;
  canvas.SetRasterMode(platform::RasterMode::Copy);
  // The fill starts one row down, keeping the black line under the status strip.
  canvas.FillRect({0, top + 1, width, baseline}, WindowColour);
  canvas.SelectPen(PenTable[3]);
  canvas.MoveTo(0, baseline);
  canvas.LineTo(width, baseline);
  canvas.SetTextColour(PenTable[3]);

  const GeneralSettings& settings = config.settings;
  // The settings rules keep tempo, beat unit, divisions and beats per bar at least 1.
  const double beat = session.sas.header.sampleRate * 240.0 / settings.tempo / settings.beatUnit;
  const double division = beat / settings.divisions;
  const int plotWidth = ViewWidth(windows, SasView);
  DrawSeries(windows, session, config, canvas, {beat, 9, false}, baseline, plotWidth);
  DrawSeries(windows, session, config, canvas, {division, 4, false}, baseline, plotWidth);
  DrawSeries(windows, session, config, canvas,
             {division * settings.divisions * settings.beatsPerBar, 14, true}, baseline, plotWidth);
}

void RedrawBarRuler(WindowStates& windows, SasSession& session, const Configuration& config,
                    platform::Platform& ports) {
  RasterCanvas canvas(windows.images[SasView], ports.text);
  DrawBarRuler(windows, session, config, canvas);
  const int top = windows.metrics.toolbarHeight + windows.metrics.statusHeight;
  ports.windows.Present(SasView,
                        {0, top, windows.clientRect[SasView].right, top + windows.metrics.rulerHeight + 1});
}

}  // namespace vocara
