// The WAV window's scales: which samples its columns show and how sample values map to rows.
//
// Column x covers samples firstSample + x * samplesPerPixel up to, not including,
// firstSample + (x + 1) * samplesPerPixel. A sample value v (left-aligned 32-bit) stands on
// row trunc(mid - (v + valueOffset) * valueScale), mid = (plotTop + plotBottom + 1) / 2,
// limited to the plot. The envelope holds each column's smallest and largest sample: taken
// from the open file's overview when a column spans at least one overview entry, otherwise
// read from the file block by block.
//
// The record is named view::WavView because WavView alone names the window's ViewId.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/wav/SampleAccess.h"
#include "platform/Platform.h"
#include "program/shell/CommandTable.h"
#include "program/shell/ViewGeometry.h"
#include "program/shell/ViewState.h"

namespace vocara {

struct OpenDocuments;

struct WindowStates;

// The plot row of a sample value, as the WAV vertical mapping says.
int WavRowOfValue(double value, std::int32_t valueOffset, double valueScale, int plotTop, int plotBottom);

// The value offset a vertical bar position stands for: the bar's centre, in left-aligned units.
std::int32_t WavOffsetOfBar(int page, int position);

// The smallest value scale: the whole 32-bit range in the plot height less 4 pixels.
double WavMinimumValueScale(const WindowStates& windows);
// The largest: 100 pixels per step of the open file's own sample resolution.
double WavMaximumValueScale(const OpenDocuments& open);

// After every change of firstSample, samplesPerPixel or width: limits firstSample so that the
// last column is full where the file allows, sets dataWidth and fills the envelope.
void WavViewEnvelopePass(WindowStates& windows, OpenDocuments& docs);
// After every change of scale, first sample or size: the horizontal bar and its fractions.
void WavViewHorizontalScrollUpdate(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports);
// After every change of valueScale, after resizing and opening: clamps the scale, sets the
// vertical bar from scale and offset, and rounds the offset to the bar's resolution.
void WavViewVerticalScrollUpdate(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports);
// The scale that fits the envelope extremes into the plot, centred; silence (or no data)
// takes the largest scale.
void WavViewValueFit(WindowStates& windows, OpenDocuments& docs);

// The last step of every time-scale command: the new scale (at least 1), the view centred on
// the WAV cursor as far as the file allows, the cursor column, envelope, bar and a redraw.
void WavViewRecentre(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports,
                     std::uint32_t samplesPerPixel);

// The whole file in the window: samplesPerPixel = max(sampleCount / (width - 1), 1), first
// sample 0, envelope, bars, value fit and a redraw.
void WavViewFitWholeFile(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports);

// Both scroll bars of the WAV window, and the fractions behind them, back to their state
// without a file.
void WavViewResetScrollBars(WindowStates& windows, platform::Platform& ports);

// The commands this module carries out, for the command table.
std::span<const CommandEntry> WavViewCommandEntries();

}  // namespace vocara
