#include "program/shell/WavRange.h"

#include <algorithm>
#include <cstdint>

#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"

namespace vocara {
namespace {

void Clear(App& app, std::uint32_t bits) { app.flags &= ~bits; }

}  // namespace

void WavRangeChanged(App& app) {
  WavDocument& wav = app.docs.wav;
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
    Clear(app, WavRangeSelected);
    wav.rangeRms = 0.0;
  } else {
    wav.rangeRms = WavRangeRms(wav, wav.rangeLeft, wav.rangeRight);
    app.flags |= WavRangeSelected;
  }

  // Noise= captures blocks of the settings' length as the Settings dialog rounds it, so a range
  // that holds that many samples is also one that can keep the captured profile ready.
  const std::uint32_t length = open ? wav.rangeRight - wav.rangeLeft : 0;
  if (length < NoiseLengthFor(app.config.settings.noiseLength)) {
    Clear(app, RangeHoldsNoiseLength);
  } else {
    app.flags |= RangeHoldsNoiseLength;
  }

  // Any range change makes the corrected temporary file stale.
  const std::uint32_t noise = app.docs.noise.length;
  if (open && noise > 0 && std::uint64_t{wav.rangeLeft} + noise <= wav.rangeRight) {
    app.flags |= NoiseSampleReady;
  } else {
    Clear(app, NoiseSampleReady);
  }
  Clear(app, CorrectedTempCurrent);
  UpdateCommandStates(app);
}

}  // namespace vocara
