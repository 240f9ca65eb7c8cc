// What is open: the recording and its analysis, and what belongs to them while they are open —
// the noise profile, the pulse-shape sums, the SAS's undo journal, the last correction report
// and the corrected temporary render. Plain state; the commands open, change and close it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "base/UserFolders.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/processing/NoiseProfile.h"
#include "engine/processing/PulseShape.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRecords.h"
#include "engine/wav/WavDocument.h"

namespace vocara {

struct OpenDocuments {
  WavDocument wav;
  NoiseProfile noise;
  // The raw sums of every Shape+ since the last export (Pulse Shape menu).
  PulseShape pulseShape;
  // The folder of the temporary renders (TemporaryRenderPath), chosen at the first of them; a
  // private temporary folder is removed with the App.
  RenderFolder renderFolder;
  // The corrected temporary file Play Corrected renders and plays; set by its first render.
  std::string correctedPath;
  // The first sample of the range that file was rendered from.
  std::uint32_t correctedStart = 0;
  std::uint32_t correctedEnd = 0;  // ... and the end of what it rendered
};

}  // namespace vocara
