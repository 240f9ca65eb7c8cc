// The rules of the WAV range: what every change of its ends derives.
#pragma once

namespace vocara {

struct App;

// After every change of rangeLeft or rangeRight: limits the range to the data, recomputes
// rangeRms and WavRangeSelected, RangeHoldsNoiseLength and NoiseSampleReady, clears
// CorrectedTempCurrent and updates the commands.
void WavRangeChanged(App& app);

}  // namespace vocara
