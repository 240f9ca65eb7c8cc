#include "engine/wav/RangeExport.h"

#include <algorithm>

#include "base/FileHandle.h"
#include "base/NumberText.h"
#include "base/OutputFile.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

// Room for any percentage of a left-aligned sample: "-100.000" and a margin.
constexpr int SampleTextLength = 16;

struct Range {
  std::uint32_t left;
  std::uint32_t right;
};

Range LimitToData(const WavDocument& document, std::uint32_t left, std::uint32_t right) {
  right = std::min(right, document.sampleCount);
  return {std::min(left, right), right};
}

}  // namespace

MessageId WriteRangeAsWav(WavDocument& document, const std::string& output, std::uint32_t left,
                          std::uint32_t right) {
  OutputFile written;
  if (const MessageId refused = written.Begin(output, {document.path}); refused != MessageId::None)
    return refused;
  FileHandle& target = written.File();
  const Range range = LimitToData(document, left, right);
  const unsigned blockAlign = document.BlockAlign();

  WavHeader header = document.header;
  header.SetDataSize((range.right - range.left) * blockAlign);
  const auto image = header.Serialise();
  bool complete = target.Write(image.data(), image.size()) &&
                  document.file.Seek(document.dataOffset + std::uint64_t{range.left} * blockAlign);
  std::uint64_t remaining = std::uint64_t{range.right - range.left} * blockAlign;
  std::uint8_t* piece = document.buffer.Piece();
  while (complete && remaining > 0) {
    const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, SampleBuffer::PieceBytes));
    const std::size_t got = document.file.Read(piece, bytes);
    complete = got == bytes && target.Write(piece, got);
    remaining -= got;
  }
  return written.Finish(complete);
}

std::string SampleText(std::int32_t leftAligned) {
  return FormatNumber(leftAligned * PercentPerUnit, 3, SampleTextLength, true);
}

MessageId WriteRangeAsText(WavDocument& document, const std::string& output, std::uint32_t left,
                           std::uint32_t right) {
  OutputFile written;
  if (const MessageId refused = written.Begin(output, {document.path}); refused != MessageId::None)
    return refused;
  FileHandle& target = written.File();
  const Range range = LimitToData(document, left, right);
  const unsigned blockAlign = document.BlockAlign();

  bool complete = document.file.Seek(document.dataOffset + std::uint64_t{range.left} * blockAlign);
  std::uint64_t remaining = range.right - range.left;
  while (complete && remaining > 0) {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, SampleBuffer::PieceSamples(blockAlign)));
    std::uint8_t* piece = document.buffer.Piece();
    const std::size_t got = document.file.Read(piece, n * blockAlign) / blockAlign;
    for (std::size_t i = 0; i < got; ++i) {
      // Short texts stay in the string's own storage: one write per line, no allocation.
      std::string line = SampleText(LeftAlignedSample(piece + i * blockAlign, blockAlign));
      line += "\r\n";
      complete = complete && target.Write(line.data(), line.size());
    }
    complete = complete && got == n;
    remaining -= got;
  }
  return written.Finish(complete);
}

}  // namespace vocara
