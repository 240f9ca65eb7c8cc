// The FFT window's frequency axis: each spectrum bin is pixelsPerBin columns wide and column x
// shows bin (firstPixel + x) / pixelsPerBin. The spectrum of an N-point transform has
// N / 2 + 1 bins, so totalPixels = (N / 2 + 1) x pixelsPerBin. The vertical control scales the
// bars: a spectrum amplitude m is a bar of trunc(m x e^(-p x 0.001) x plot height / 300000)
// pixels, p the control's position.
#pragma once

#include <cstdint>

#include "platform/Platform.h"
#include "program/shell/ViewGeometry.h"
#include "program/shell/ViewState.h"

namespace vocara {

struct WindowStates;

// Pixels per unit of spectrum amplitude (32-bit sample units).
double FftAmplitudeScale(const WindowStates& windows);

// After every change of pixelsPerBin, first pixel or size: limits firstPixel, sets the bar and
// its fractions.
void FftViewHorizontalScrollUpdate(WindowStates& windows, platform::Platform& ports);

// Lays the axis out anew for `pixelsPerBin` (at least 1, truncated) and a transform of newSize
// points after oldSize, keeping the frequency under the cursor at the cursor's column; sets
// totalPixels, dataWidth and the bar. The scale is limited so that totalPixels stays below 2^31.
void FftViewSetScale(WindowStates& windows, platform::Platform& ports, double pixelsPerBin,
                     std::uint32_t oldSize, std::uint32_t newSize);

// The scale of the axis times `factor` (Frequency Zoom In 2, Zoom Out 0.5), or with a factor of
// 0 one column per bin (Frequency Scale = 1).
void FftViewZoom(WindowStates& windows, platform::Platform& ports, double factor);

}  // namespace vocara
