// libFuzzer target for the SAS opener: each input is opened as a SAS file; an accepted file is
// then paged from a position and width taken from the input, its page edited, and written back,
// the ways the program uses an open SAS. The file must keep every frame and end exactly behind
// its links, the write-back must leave no journal behind, a copy must open with the same
// counts and links, and a range operation with fuzzed operations, range and values must keep
// the file one the opener accepts.
//
// An input whose first byte is odd is not taken as it is: its next 12 bytes become frameCount,
// linkCount and frameLength (the counts kept small) in front of a sound header with the
// default settings, and the rest follows as frames and links. Without a seed corpus that is
// how the fuzzer reaches the accepting paths; an even first byte passes the rest unchanged.
//
// The input is a named file in the output folder, not a memory file: write-back journals its
// changes in a file beside the SAS, which needs a real folder.
//
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/sas_open_fuzz -max_total_time=60`.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzFiles.h"
#include "base/FileJournal.h"
#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"
#include "engine/sas/ScaleSnap.h"

namespace {

using namespace vocara;

// The documents live for the whole run, as the program keeps its one SAS document, and are
// closed after each input.
struct CloseAfterInput {
  SasDocument& document;
  ~CloseAfterInput() { SasCloseDocument(document); }
};

void Require(bool condition) {
  if (!condition) std::abort();
}

// The file the fuzzer opens: the input as it is, or built from the counts it starts with.
std::string FileBytes(const std::uint8_t* data, std::size_t size) {
  if (data[0] % 2 == 0 || size < 13) return std::string(reinterpret_cast<const char*>(data + 1), size - 1);
  SasHeader header;
  std::memcpy(&header.frameCount, data + 1, 4);
  std::memcpy(&header.linkCount, data + 5, 4);
  std::memcpy(&header.frameLength, data + 9, 4);
  header.frameCount %= 4096;
  header.linkCount %= 1100;
  const auto head = header.Serialise();
  std::string bytes(head.begin(), head.end());
  bytes.append(reinterpret_cast<const char*>(data + 13), size - 13);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input = fuzz::InputFile::Named("input.sas");
  static const std::string journal = JournalPath(input.Path());
  static const std::string copyPath = fuzz::ScratchPath("copy.sas");
  static SasDocument& sas = *new SasDocument;
  static SasDocument& copy = *new SasDocument;
  if (size == 0) return 0;
  const std::string bytes = FileBytes(data, size);
  size = bytes.size();
  input.Fill(bytes.data(), size);

  const CloseAfterInput closeSas{sas};
  const CloseAfterInput closeCopy{copy};
  const MessageId result = SasOpenDocument(sas, input.Path());
  if (result != MessageId::None) {
    Require(!sas.file.IsOpen());
    return 0;
  }
  const SasHeader& h = sas.header;
  const std::uint64_t frameEnd = SasLinksOffset(h.frameCount);
  Require(frameEnd + 8 * std::uint64_t{h.linkCount} <= size);
  Require(h.linkCount >= 2 && h.linkCount <= MaxTimeLinks && sas.links.size() == h.linkCount);
  Require(h.frameLength != 0);

  // The last bytes of the input (inside the link table or behind it) choose the page.
  std::int32_t first = 0;
  std::uint16_t width = 0;
  if (size >= 6) {
    std::memcpy(&first, bytes.data() + size - 6, 4);
    std::memcpy(&width, bytes.data() + size - 2, 2);
  }
  sas.shownFrameCount = h.frameCount;
  sas.firstFrame = first;
  sas.pageLength = width;
  Require(SasReadPageRecords(sas));
  Require(sas.firstFrame >= 0 && sas.pageCount <= MaxSasPageLength &&
          std::uint64_t(sas.firstFrame) + std::uint64_t(sas.pageCount) <= h.frameCount);
  for (int i = 0; i < sas.pageCount; ++i) sas.page[static_cast<std::size_t>(i)].targetAmplitude = 0;
  if (sas.links.size() > 2) sas.links.pop_back();
  Require(SasWriteRecords(sas, GeneralSettings{}));
  Require(!std::filesystem::exists(journal));
  const std::uint64_t written = frameEnd + 8 * sas.links.size();
  Require(input.Size() == written);

  Require(SasCopyFile(sas, copyPath) == MessageId::None);
  Require(SasOpenDocument(copy, copyPath, SasAccess::ReadOnly) == MessageId::None);
  Require(copy.file.Size() == written);
  Require(copy.header.frameCount == h.frameCount && copy.header.frameLength == h.frameLength);
  Require(copy.links == sas.links);

  // A range operation with operations, range and values taken from the input's first bytes: it
  // keeps every frame, ends the file behind the links, and the file opens again.
  const auto byteAt = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i % size]); };
  const std::uint32_t frames = h.frameCount;
  const unsigned ops = byteAt(1) & 0x3f;
  const auto rangeFirst =
      static_cast<std::uint32_t>((std::uint64_t{byteAt(2)} << 8 | byteAt(3)) % (frames + 2ull));
  const auto rangeEnd =
      static_cast<std::uint32_t>(rangeFirst + (std::uint64_t{byteAt(4)} << 8 | byteAt(5)) % (frames + 2ull));
  SasRangeFields fields;
  fields.scaleAmplitude = static_cast<std::int8_t>(byteAt(6)) * 10.0;
  fields.transpose = static_cast<std::int8_t>(byteAt(7)) * 20.0;
  fields.disableAbove = byteAt(8) / 2.0;
  fields.enableBelow = byteAt(9) / 2.0;
  fields.silenceBelow = byteAt(10) / 2.0;
  const std::vector<TimeLink> linksBefore = sas.links;
  Require(SasApplyRange(sas, rangeFirst, rangeEnd, ops, ClampSasRangeParams(fields)));
  Require(sas.links.size() >= 2 && sas.links.size() <= linksBefore.size());
  Require(sas.links.front() == linksBefore.front() && sas.links.back() == linksBefore.back());
  if (ops & SasRangeOps::RemoveLinks) Require(input.Size() == frameEnd + 8 * sas.links.size());

  // Snap to Scale over the same range with a scale and values from the input: only target
  // pitches change (bit 15 kept), and the jump search finds runs inside the range.
  ScaleSnapParams snap;
  snap.key = byteAt(11) % 12;
  snap.scale = static_cast<ScaleKind>(byteAt(12) % ScaleKindCount);
  snap.custom = static_cast<std::uint16_t>(byteAt(13) << 4 | byteAt(14));
  snap.reference = 400.0 + byteAt(15) / 3.0;
  snap.centre = byteAt(16) / 2.0;
  snap.drift = byteAt(17) / 2.0;
  snap.retuneMs = byteAt(18) * 4.0;
  Require(SasSnapToScale(
      sas, rangeFirst, rangeEnd, snap, [&](std::uint32_t index, const SasFrame& was, const SasFrame& now) {
        Require(index >= rangeFirst && index < rangeEnd && index < frames);
        Require(was.sourcePitch == now.sourcePitch && was.minSample == now.minSample &&
                was.maxSample == now.maxSample && was.targetAmplitude == now.targetAmplitude);
        Require((was.targetPitch & TimeCorrectionOffBit) == (now.targetPitch & TimeCorrectionOffBit));
      }));
  std::vector<PitchJump> jumps;
  Require(FindPitchJumps(sas, rangeFirst, rangeEnd, jumps));
  for (const PitchJump& jump : jumps)
    Require(jump.first > rangeFirst && jump.first < jump.end && jump.end < std::min(rangeEnd, frames));
  Require(input.Size() == frameEnd + 8 * sas.links.size());

  SasCloseDocument(sas);
  Require(SasOpenDocument(sas, input.Path()) == MessageId::None);
  Require(sas.header.frameCount == frames && sas.links.size() == sas.header.linkCount);
  return 0;
}
