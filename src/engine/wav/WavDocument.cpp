// Validation of a WAV file and the open scan.
//
// The format chunk is found by walking chunk headers from the end of the RIFF part. The data
// chunk is found by a second walk that starts at the format chunk's own header, so that a
// format chunk of any declared size is skipped by that size; the RIFF size is checked
// against the file but not otherwise used to bound the walks.
//
// The data must fit between the data chunk header and the end of the file. The check is
// against the larger of the real data offset and the canonical 44, so a file with chunks
// before its data cannot claim samples past the end of the file, and no file a plain 44-byte
// comparison would refuse gets through.

#include "engine/wav/WavDocument.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace vocara {
namespace {

constexpr std::uint64_t CanonicalDataOffset = WavHeader::ByteSize;
constexpr std::uint32_t LargestChunkSize = 0x7FFFFFFF;

// Reads chunk headers from `position` on until one has the identifier `id`, skipping every
// other chunk by its size. Returns the position just behind the header found.
std::optional<std::uint64_t> FindChunk(FileHandle& file, std::uint64_t position, std::uint64_t fileSize,
                                       const ChunkId& id, ChunkHeader& header) {
  for (;;) {
    std::array<std::uint8_t, ChunkHeader::ByteSize> bytes{};
    if (!file.Seek(position) || file.Read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
    header = ChunkHeader::Parse(bytes);
    position += ChunkHeader::ByteSize;
    if (header.id == id) return position;
    if (header.size > LargestChunkSize || header.size > fileSize - position) return std::nullopt;
    position += header.size;
  }
}

MessageId CheckFormat(const FormatFields& f) {
  if (f.formatTag != 1) return MessageId::CompressionNotSupported;
  if (f.channels != 1) return MessageId::NotMonoFile;
  if (f.sampleRate < MinimumSampleRate || f.sampleRate > MaximumSampleRate) return MessageId::SampleRateToLow;
  if (f.blockAlign < 2 || f.blockAlign > 4) return MessageId::WrongBytesPerSample;
  if (f.bitsPerSample < 16 || f.bitsPerSample > 32) return MessageId::WrongBitsPerSample;
  return MessageId::None;
}

}  // namespace

MessageId WavReadLayout(FileHandle& file, WavHeader& header, std::uint64_t& dataOffset) {
  const std::uint64_t fileSize = file.Size();
  if (!file.Seek(0)) return MessageId::WaveToShort;
  if (fileSize < WavHeader::ByteSize) return MessageId::WaveToShort;

  std::array<std::uint8_t, WavHeader::RiffPartSize> riff{};
  if (file.Read(riff.data(), riff.size()) != riff.size()) return MessageId::WaveToShort;
  ParseRiffPart(riff, header);
  if (header.riff.id != RiffId) return MessageId::NotRiffFile;
  if (header.riff.size > fileSize - 8) return MessageId::RiffBiggerThanFileSize;
  if (header.form != WaveId) return MessageId::NotWaveFile;

  const std::optional<std::uint64_t> format =
      FindChunk(file, WavHeader::RiffPartSize, fileSize, FormatId, header.format);
  if (!format) return MessageId::FormatChunkNotFound;
  std::array<std::uint8_t, FormatFields::ByteSize> fields{};
  // A format chunk cut off by the end of the file is no format chunk.
  if (file.Read(fields.data(), fields.size()) != fields.size()) return MessageId::FormatChunkNotFound;
  header.fields = FormatFields::Parse(fields);
  if (const MessageId refused = CheckFormat(header.fields); refused != MessageId::None) return refused;

  header.format.size = FormatFields::ByteSize;

  const std::optional<std::uint64_t> data =
      FindChunk(file, *format - ChunkHeader::ByteSize, fileSize, DataId, header.data);
  if (!data) return MessageId::DataChunkNotFound;
  dataOffset = *data;
  if (header.data.size > fileSize - std::max(*data, CanonicalDataOffset)) return MessageId::FileToShort;
  return MessageId::None;
}

WavOpenResult WavOpenDocument(WavDocument& document, const std::string& path) {
  document.path = path;
  FileHandle file = FileHandle::OpenForReading(path);
  if (!file.IsOpen()) return {MessageId::InvalidFileHandle};
  std::uint64_t dataOffset = 0;
  const MessageId refused = WavReadLayout(file, document.header, dataOffset);
  if (refused != MessageId::None) {
    document.file.Close();
    return {refused};  // the local handle closes the refused file
  }

  document.file = std::move(file);
  document.dataOffset = dataOffset;
  document.amplitudeScale = std::ldexp(100.0, -static_cast<int>(document.header.fields.bitsPerSample));
  const std::uint32_t count = document.header.data.size / document.BlockAlign();
  document.sampleCount = count;
  // ceil(count / 65536) as the upper 16 bits plus one for a non-zero remainder.
  document.overviewFactor = std::max<std::uint32_t>((count >> 16) + ((count & 0xFFFF) != 0 ? 1 : 0), 1);
  document.overviewLength = count / document.overviewFactor + (count % document.overviewFactor != 0 ? 1 : 0);

  std::fill(document.overview.begin(), document.overview.end(), SamplePair{});
  const ScanResult scan =
      WavScanBlocks(document, 0, document.overviewFactor, document.overviewLength, document.overview);
  document.checksum = scan.checksum;
  return {MessageId::None, scan.dataMin, scan.dataMax};
}

}  // namespace vocara
