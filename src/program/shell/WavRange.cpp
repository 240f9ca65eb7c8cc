#include "program/shell/WavRange.h"

#include <algorithm>
#include <cstdint>

#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"

namespace vocara {
void WavRangeChanged(Commands& commands, OpenDocuments& docs, Configuration& config) {
  WavDocument& wav = docs.wav;
  // Without a file there is nothing to select; the ends are kept for the next file, which
  // limits them to its own data.
  const bool open = wav.file.IsOpen();
  if (open) {
    // A range kept from a longer file, or started right of the data, would otherwise reach
    // past the end of the data; every reader of the range relies on left <= right <= count.
    wav.rangeRight = std::min(wav.rangeRight, wav.sampleCount);
    wav.rangeLeft = std::min(wav.rangeLeft, wav.rangeRight);
  }

  if (!open || wav.rangeRight == wav.rangeLeft) {
    ClearBits(commands.flags, WavRangeSelected);
    wav.rangeRms = 0.0;
  } else {
    wav.rangeRms = WavRangeRms(wav, wav.rangeLeft, wav.rangeRight);
    commands.flags |= WavRangeSelected;
  }

  // Noise= captures blocks of the settings' length as the Settings dialog rounds it, so a range
  // that holds that many samples is also one that can keep the captured profile ready.
  const std::uint32_t length = open ? wav.rangeRight - wav.rangeLeft : 0;
  if (length < NoiseLengthFor(config.settings.noiseLength)) {
    ClearBits(commands.flags, RangeHoldsNoiseLength);
  } else {
    commands.flags |= RangeHoldsNoiseLength;
  }

  // Any range change makes the corrected temporary file stale.
  const std::uint32_t noise = docs.noise.length;
  if (open && noise > 0 && std::uint64_t{wav.rangeLeft} + noise <= wav.rangeRight) {
    commands.flags |= NoiseSampleReady;
  } else {
    ClearBits(commands.flags, NoiseSampleReady);
  }
  ClearBits(commands.flags, CorrectedTempCurrent);
  UpdateCommandStates(commands);
}

}  // namespace vocara
