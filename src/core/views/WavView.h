// The WAV window's scale state: which samples its columns show and how sample values map to
// rows. Column x covers samples firstSample + x x samplesPerPixel up to, not including,
// firstSample + (x + 1) x samplesPerPixel. The record is named view::WavView because WavView
// alone names the window's ViewId.
#pragma once

#include <array>
#include <cstdint>

#include "wav/SampleAccess.h"

namespace vocara {

struct App;

inline constexpr int MaxColumns = 1281;  // windows are at most 1280 pixels wide, plus one

namespace view {

struct WavView {
  std::uint32_t samplesPerPixel = 1;              // at least 1
  std::uint32_t firstSample = 0;                  // sample shown in column 0
  double valueScale = 0.0;                        // pixels per unit of a left-aligned sample
  std::int32_t valueOffset = 0;                   // added to a sample value before scaling
  std::array<SamplePair, MaxColumns> envelope{};  // per column: smallest and largest sample
  // Extremes of the data last scanned (left-aligned units): every block scan sets them and
  // the vertical scale fits itself to them.
  double envelopeMin = 0.0;
  double envelopeMax = 0.0;
};

}  // namespace view

// The whole file in the window: samplesPerPixel = max(sampleCount / (width - 1), 1), first
// sample 0, the data width, and a redraw. The envelope, the scroll bars and the value fit
// join this when the view scales are built.
void WavViewFitWholeFile(App& app);

// Both scroll bars of the WAV window back to their state without a file.
void WavViewResetScrollBars(App& app);

}  // namespace vocara
