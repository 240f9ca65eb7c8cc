// Opening, paging, write-back and copying of the open SAS file.
//
// Validation tests the file's size against the counts before anything else, in 64 bits, so
// that the counts every later step relies on are known to lie inside the file: the frame area
// and the link table can then be read without running past its end, and the link table's
// place, 136 + 16 x frameCount, cannot wrap. A file that claims more links than the table in
// memory holds, or a hop (frameLength) of 0 that the fit test and correction divide by, is
// refused as corrupt rather than opened half-usable.
//
// Write-back puts back exactly the page records the last page read loaded, where it loaded
// them from, and ends the file behind the link table; as the link table starts behind the
// last frame, no write-back can cut frames away. It goes through the file journal
// (FileJournal), so a crash in the middle leaves a file that the next opening completes.

#include "engine/sas/SasDocument.h"

#include <algorithm>
#include <filesystem>
#include <span>
#include <system_error>

#include "base/FileJournal.h"
#include "base/OutputFile.h"
#include "engine/sas/SasChange.h"
#include "engine/wav/WavDocument.h"

namespace vocara {

namespace {

// The smallest file there is: the header and a table of two links, no frames.
constexpr std::uint64_t MinimumSasFileSize = SasHeader::ByteSize + 2 * TimeLink::ByteSize;  // 152
static_assert(MinimumSasFileSize == 152);

MessageId Validate(FileHandle& file, SasHeader& header, std::vector<TimeLink>& links) {
  const std::uint64_t size = file.Size();
  if (size < MinimumSasFileSize) return MessageId::FileToShort;

  std::array<std::uint8_t, SasHeader::FixedSize> fixed{};
  if (!file.Seek(0) || file.Read(fixed.data(), fixed.size()) != fixed.size()) return MessageId::FileToShort;
  const SasHeader parsed = SasHeader::ParseFixed(fixed);
  // 136 + 8 x (linkCount + 2 x frameCount): both counts are 32-bit, so the sum fits 64 bits.
  const std::uint64_t needed =
      SasHeader::ByteSize + 8 * (std::uint64_t{parsed.linkCount} + 2 * std::uint64_t{parsed.frameCount});
  if (size < needed) return MessageId::FileToShort;
  if (parsed.magic != SasMagic) return MessageId::NotSasFile;
  if (parsed.linkCount < 2 || parsed.linkCount > MaxTimeLinks) return MessageId::LinksCorrupted;

  std::array<std::uint8_t, GeneralSettings::ByteSize> settingsBytes{};
  if (file.Read(settingsBytes.data(), settingsBytes.size()) != settingsBytes.size())
    return MessageId::SasSettingsCorrupted;
  const GeneralSettings settings = GeneralSettings::Parse(settingsBytes);
  if (settings.instrument < 0 || !ValidateSettings(settings)) return MessageId::SasSettingsCorrupted;
  // The hop is fixed by the settings at build time; no built file has a hop of 0.
  if (parsed.frameLength == 0) return MessageId::SasSettingsCorrupted;

  std::vector<std::uint8_t> table(std::size_t{parsed.linkCount} * TimeLink::ByteSize);
  if (!file.Seek(SasLinksOffset(parsed.frameCount)) || file.Read(table.data(), table.size()) != table.size())
    return MessageId::LinksCorrupted;
  links.clear();
  links.reserve(parsed.linkCount);
  for (std::size_t offset = 0; offset < table.size(); offset += TimeLink::ByteSize)
    links.push_back(TimeLink::Parse(
        std::span<const std::uint8_t, TimeLink::ByteSize>(&table[offset], TimeLink::ByteSize)));

  header = parsed;
  header.settings = settings;
  return MessageId::None;
}

// A journal beside the file means a change in progress in another process, or one cut short.
// Under the file's lock (the writer of a change in progress finishes first) the change is
// completed or the journal set aside; the handle then holds the file the name denotes. A reader
// that may not write the file, or cannot have the lock, is refused with the lock's message
// rather than shown a half-changed file.
MessageId FinishPendingChange(const std::string& path, FileHandle& file, SasAccess access,
                              std::string& setAside) {
  for (int round = 0; round < 8 && JournalPending(path); ++round) {
    FileHandle update = access == SasAccess::ReadWrite ? std::move(file) : FileHandle::OpenForUpdate(path);
    if (!update.IsOpen()) return MessageId::SasBusy;
    if (!update.Lock(SasLockWait, [] { return KeepWaitingForLock(); })) return MessageId::SasBusy;
    if (!update.IsFileAt(path)) {
      // The writer renamed its result over the name: open that one and look again.
      update.Close();
      file =
          access == SasAccess::ReadWrite ? FileHandle::OpenForUpdate(path) : FileHandle::OpenForReading(path);
      if (!file.IsOpen()) return MessageId::InvalidFileHandle;
      continue;
    }
    const JournalRecovery recovered = RecoverFileChanges(path, update, &setAside);
    update.Unlock();
    if (access == SasAccess::ReadWrite) file = std::move(update);
    if (recovered == JournalRecovery::Failed) return MessageId::InvalidFileHandle;
    return MessageId::None;
  }
  return JournalPending(path) ? MessageId::SasBusy : MessageId::None;
}

}  // namespace

MessageId SasOpenDocument(SasDocument& document, const std::string& path, SasAccess access) {
  document.path = path;
  FileHandle file =
      access == SasAccess::ReadWrite ? FileHandle::OpenForUpdate(path) : FileHandle::OpenForReading(path);
  if (!file.IsOpen()) return MessageId::InvalidFileHandle;
  // A write-back cut short by a crash is completed before anything is read.
  document.setAsideJournal.clear();
  if (const MessageId pending = FinishPendingChange(path, file, access, document.setAsideJournal);
      pending != MessageId::None)
    return pending;
  SasHeader header;
  std::vector<TimeLink> links;
  if (const MessageId refused = Validate(file, header, links); refused != MessageId::None) return refused;
  document.file = std::move(file);
  document.header = header;
  document.links = std::move(links);
  document.readOnly = access == SasAccess::ReadOnly;
  return MessageId::None;
}

bool SasFitsWav(const SasHeader& header, const WavDocument& wav) {
  if (header.wavChecksum != wav.checksum) return false;
  if (header.sampleRate != wav.header.fields.sampleRate) return false;
  // Unsigned division as the analysis counts frames: a partial last hop makes no frame.
  return header.frameLength != 0 && header.frameCount == wav.sampleCount / header.frameLength;
}

bool SasBuiltFromWav(const SasHeader& header, const WavDocument& wav) {
  return header.wavChecksum == wav.checksum && header.sampleRate == wav.header.fields.sampleRate;
}

bool SasReadPageRecords(SasDocument& document) {
  const std::int64_t shown = document.shownFrameCount;
  const std::int64_t length = std::clamp<std::int64_t>(document.pageLength, 0, MaxSasPageLength);
  // Scrolled past the end, the page is pulled back so that its last record is the last frame;
  // with fewer frames than columns it starts at frame 0 and holds them all.
  const std::int64_t first =
      std::clamp<std::int64_t>(document.firstFrame, 0, std::max<std::int64_t>(shown - length, 0));
  const std::int64_t count = std::min(length, shown - first);
  document.firstFrame = static_cast<std::int32_t>(first);

  std::array<std::uint8_t, SasPageCapacity * SasFrame::ByteSize> bytes{};
  const std::size_t wanted = static_cast<std::size_t>(count) * SasFrame::ByteSize;
  std::size_t got = 0;
  if (count > 0 &&
      document.file.Seek(SasFramesOffset + SasFrame::ByteSize * static_cast<std::uint64_t>(first)))
    got = document.file.Read(bytes.data(), wanted);
  const std::size_t records = got / SasFrame::ByteSize;
  for (std::size_t i = 0; i < document.page.size(); ++i)
    document.page[i] = i < records ? SasFrame::ParseFrom(&bytes[i * SasFrame::ByteSize]) : SasFrame{};
  document.pageFirst = static_cast<std::int32_t>(first);
  document.pageCount = static_cast<std::int32_t>(records);
  return got == wanted;
}

FileChanges SasHeaderAndLinkChanges(SasDocument& document, std::vector<FileWrite> between) {
  SasHeader& header = document.header;
  const std::size_t linkCount = std::min(document.links.size(), MaxTimeLinks);
  header.linkCount = static_cast<std::uint32_t>(linkCount);

  FileChanges changes;
  const auto headerBytes = header.Serialise();
  changes.writes.push_back({0, std::vector<std::uint8_t>(headerBytes.begin(), headerBytes.end())});
  for (FileWrite& write : between) changes.writes.push_back(std::move(write));
  FileWrite table;
  table.offset = SasLinksOffset(header.frameCount);
  table.bytes.resize(linkCount * TimeLink::ByteSize);
  for (std::size_t i = 0; i < linkCount; ++i) {
    const auto link = document.links[i].Serialise();
    std::copy(link.begin(), link.end(),
              table.bytes.begin() + static_cast<std::ptrdiff_t>(i * TimeLink::ByteSize));
  }
  changes.length = table.offset + table.bytes.size();
  changes.writes.push_back(std::move(table));
  return changes;
}

bool SasWriteRecords(SasDocument& document, const GeneralSettings& live, int steps) {
  SasHeader& header = document.header;
  // The Bar Ruler, Edit SAS and Apply Correction groups follow the user; the Build SAS and
  // Remove Noise groups stay as the file was built.
  GeneralSettings& stored = header.settings;
  stored.beatsPerBar = live.beatsPerBar;
  stored.beatUnit = live.beatUnit;
  stored.divisions = live.divisions;
  stored.tempo = live.tempo;
  stored.rulerOrigin = live.rulerOrigin;
  stored.originBar = live.originBar;
  stored.selectThreshold = live.selectThreshold;
  stored.silenceThreshold = live.silenceThreshold;
  stored.timeCorrection = live.timeCorrection;
  std::vector<FileWrite> page;
  const std::size_t records = static_cast<std::size_t>(std::clamp(document.pageCount, 0, SasPageCapacity));
  if (records > 0) {
    FileWrite& frames = page.emplace_back();
    frames.offset =
        SasFramesOffset + SasFrame::ByteSize * static_cast<std::uint64_t>(std::max(document.pageFirst, 0));
    frames.bytes.resize(records * SasFrame::ByteSize);
    for (std::size_t i = 0; i < records; ++i)
      document.page[i].SerialiseInto(&frames.bytes[i * SasFrame::ByteSize]);
  }
  const FileChanges changes = SasHeaderAndLinkChanges(document, std::move(page));
  return SasChangeRecords(document, changes, steps);
}

MessageId SasCopyFile(SasDocument& document, const std::string& target) {
  if (SameFile(document.path, target)) return MessageId::OpenedFileCanNotBeOverwritten;
  document.file.Flush();
  FileHandle source = FileHandle::OpenForReading(document.path);
  if (!source.IsOpen()) return MessageId::InvalidFileHandle;
  OutputFile copy;
  if (const MessageId refused = copy.Begin(target); refused != MessageId::None) return refused;
  return copy.Finish(copy.File().CopyFrom(source, source.Size()));
}

void SasCloseDocument(SasDocument& document) {
  document.file.Close();
  document.path.clear();
  document.links.clear();
  document.firstFrame = 0;
  document.shownFrameCount = 0;
  document.range = {};
  document.pageFirst = 0;
  document.pageCount = 0;
  document.readOnly = false;
  document.privateCopy = false;
}

}  // namespace vocara
