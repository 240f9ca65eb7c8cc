// The open SAS: its file stays open for reading and writing while it is the document. The
// header and the time links live in memory; of the frames only the page the SAS window shows
// (one frame per column) is held. Edits change the page and the links and set SasPageDirty;
// SasWriteBack puts header, page and links back.
//
// The routines here work on the document alone and are shared by the program and the
// command-line tool; SasCommands adds the dialogs, the messages and the state word.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/FileHandle.h"
#include "base/FileJournal.h"
#include "base/MessageId.h"
#include "engine/sas/SasRecords.h"

namespace vocara {

struct App;
struct WavDocument;

inline constexpr int SasPageCapacity = 1281;  // windows are at most 1280 columns, plus a spare
inline constexpr int MaxSasPageLength = 1280;

// Frames left <= i < right; selected when right > left.
struct SasRange {
  std::int32_t left = 0;
  std::int32_t right = 0;
};

struct SasDocument {
  FileHandle file;   // not open when no SAS is open
  std::string path;  // the open file; empty when none
  SasHeader header;
  // The links in memory, at most MaxTimeLinks. Write-back writes all of them and stores their
  // number as header.linkCount, so an edit that adds or removes links changes this vector.
  std::vector<TimeLink> links;
  std::int32_t firstFrame = 0;  // the frame shown in column 0
  std::int32_t pageLength = 0;  // page records: one per plot column
  std::array<SasFrame, SasPageCapacity> page{};
  std::uint32_t shownFrameCount = 0;  // frameCount while open, 0 when closed
  SasRange range;
  // The records the last page read loaded: frames pageFirst .. pageFirst + pageCount - 1 of the
  // file are page[0 .. pageCount - 1]. Write-back writes exactly these back, so a page that was
  // only partly read never writes zeros over frames it did not hold.
  std::int32_t pageFirst = 0;
  std::int32_t pageCount = 0;
  // Opened for reading only (the user may not write the file): viewed, paged, rendered and
  // copied, never written.
  bool readOnly = false;
  // `file` is the private copy of a change in progress (SasChange): records go straight into
  // it, since the copy replaces the file whole or not at all.
  bool privateCopy = false;
  // Where the opening set aside a journal of changes found beside the file that was not written
  // for it (empty when none was): the user is told, the journal is kept there unapplied.
  std::string setAsideJournal;
};

enum class SasAccess { ReadWrite, ReadOnly };

// Opens and validates `path` into a closed document, in this order, the first failing check
// giving its message:
//   the file opens (for reading and writing)   "Invalid File Handle"
//   (for writing: a journalled write-back cut
//   short is completed first; if that fails)   "Invalid File Handle"
//   at least 152 bytes                          "File to short"
//   136 + 16 x frameCount + 8 x linkCount bytes "File to short" (64-bit, before the magic)
//   "SAS "                                      "Not a SAS file"
//   2 <= linkCount <= 1000                      "Links corrupted"
//   the settings copy: read whole, instrument   "The SAS file settings are corrupted"
//   not negative, ValidateSettings, and a
//   frameLength other than 0
// then reads the link table. On success the document holds the file, the header with its
// settings copy and the links; page and position are left for SasReadPageRecords. On a refusal
// the file is closed and the document is otherwise as it was; path is set either way.
MessageId SasOpenDocument(SasDocument& document, const std::string& path,
                          SasAccess access = SasAccess::ReadWrite);

// The fit test of an open SAS against an open WAV, in this order: the WAV's checksum, its
// sample rate, and frameCount = sampleCount / frameLength (unsigned integer division).
bool SasFitsWav(const SasHeader& header, const WavDocument& wav);
// The WAV side's shorter test when a WAV opens beside an open SAS: checksum and sample rate.
bool SasBuiltFromWav(const SasHeader& header, const WavDocument& wav);

// Loads the page from firstFrame: firstFrame is limited to 0 .. shownFrameCount - pageLength
// (0 when fewer frames than columns exist) and min(pageLength, frames from firstFrame on)
// records are read, so the page never extends past the last frame. False when the records
// could not all be read; pageCount then counts those that were.
bool SasReadPageRecords(SasDocument& document);

// The change that writes the header (its linkCount set from the links, at most MaxTimeLinks),
// then `between`, then the link table, and ends the file behind the table: every writer of
// the links goes through here, so header and table always agree.
FileChanges SasHeaderAndLinkChanges(SasDocument& document, std::vector<FileWrite> between = {});

// Refreshes the Bar Ruler, Edit SAS and Apply Correction fields of the header's settings copy
// from `live`, then writes the header, the loaded page records and the links, and ends the file
// behind the links (136 + 16 x frameCount + 8 x linkCount bytes), all as one journalled change
// (FileJournal): a crash leaves the old or the new records, never a mix. False when a write
// failed. `steps` stops the change part way, as a crash would, for the crash tests.
bool SasWriteRecords(SasDocument& document, const GeneralSettings& live, int steps = AllSteps);

// Copies the open file to `target`, replacing a file of that name only with a whole copy
// (OutputFile). The open file itself (by any name) is refused with "Opened file can not be
// overwritten"; a copy that cannot be started gives "Invalid File Handle" (or "The target is
// not a regular file"), one that fails part way OutputWriteFailed. Pending records must have
// been written first.
MessageId SasCopyFile(SasDocument& document, const std::string& target);

// Closes the file and returns the document to its closed state without writing anything.
void SasCloseDocument(SasDocument& document);

}  // namespace vocara
