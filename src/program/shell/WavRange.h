// The rules of the WAV range: what every change of its ends derives.
#pragma once

namespace vocara {

struct App;
struct Configuration;
struct OpenDocuments;
struct Commands;

// After every change of rangeLeft or rangeRight: limits the range to the data, recomputes
// rangeRms and WavRangeSelected, RangeHoldsNoiseLength and NoiseSampleReady, clears
// CorrectedTempCurrent and updates the commands.
void WavRangeChanged(Commands& commands, OpenDocuments& docs, Configuration& config);

}  // namespace vocara
