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

// Undo and redo keep each user action as the records it changed, by their index in the file,
// before and after, and the link table before and after (SasUndo).
inline constexpr std::size_t SasUndoBudget = std::size_t{64} << 20;

struct SasUndoAction {
  std::vector<std::pair<std::uint32_t, SasFrame>> before;
  std::vector<std::pair<std::uint32_t, SasFrame>> after;
  std::vector<TimeLink> linksBefore;
  std::vector<TimeLink> linksAfter;
  std::size_t Bytes() const;
  bool Empty() const { return before.empty() && linksBefore == linksAfter; }
};

struct SasUndoJournal {
  std::deque<SasUndoAction> undo;
  std::deque<SasUndoAction> redo;
  std::size_t bytes = 0;
  // The action in progress: the page and links as SasEditBegin found them.
  bool open = false;
  std::int32_t pageFirst = 0;
  std::int32_t pageCount = 0;
  std::vector<SasFrame> pageBefore;
  std::vector<TimeLink> linksBefore;
};

struct OpenDocuments {
  WavDocument wav;
  SasDocument sas;
  NoiseProfile noise;
  // The raw sums of every Shape+ since the last export (Pulse Shape menu).
  PulseShape pulseShape;
  SasUndoJournal undo;
  // Whether this read-only SAS already said so: the message comes once per document.
  bool sasReadOnlyShown = false;
  // How long a write-back or an operation waits while another program (vocara-cli) is changing
  // the SAS file, the hourglass showing, before it says so and leaves the file to it.
  std::chrono::milliseconds sasLockWait = SasLockWait;
  // How in tune the last Correct or Play Corrected came out, note by note; the SAS window marks
  // the achieved pitches while correctionReportShown is set (a whole measurement of the open
  // SAS). Cleared with the SAS.
  CorrectionReport correctionReport;
  bool correctionReportShown = false;
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
