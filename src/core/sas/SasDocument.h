// The open SAS: its file stays open for reading and writing while it is the document. The
// header and the time links live in memory; of the frames only the page the SAS window shows
// (one frame per column) is held. Edits change the page and the links and set SasPageDirty;
// SasWriteBack puts header, page and links back.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sas/SasRecords.h"
#include "shell/FileHandle.h"

namespace vocara {

struct App;

inline constexpr int SasPageCapacity = 1281;  // windows are at most 1280 columns, plus a spare

// Frames left <= i < right; selected when right > left.
struct SasRange {
  std::int32_t left = 0;
  std::int32_t right = 0;
};

struct SasDocument {
  FileHandle file;   // not open when no SAS is open
  std::string path;  // the open file; empty when none
  SasHeader header;
  std::vector<TimeLink> links;  // header.linkCount of them, at most MaxTimeLinks
  std::int32_t firstFrame = 0;  // the frame shown in column 0
  std::int32_t pageLength = 0;  // page records: one per plot column
  std::array<SasFrame, SasPageCapacity> page{};
  std::uint32_t shownFrameCount = 0;  // frameCount while open, 0 when closed
  SasRange range;
};

}  // namespace vocara
