#include "engine/wav/WavHeader.h"

namespace vocara {
namespace {

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

ChunkId GetId(const std::uint8_t* p) {
  return {static_cast<char>(p[0]), static_cast<char>(p[1]), static_cast<char>(p[2]), static_cast<char>(p[3])};
}

void PutId(std::uint8_t* p, const ChunkId& id) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(id[static_cast<std::size_t>(i)]);
}

}  // namespace

std::array<std::uint8_t, ChunkHeader::ByteSize> ChunkHeader::Serialise() const {
  std::array<std::uint8_t, ByteSize> bytes{};
  PutId(&bytes[0], id);
  Put32(&bytes[4], size);
  return bytes;
}

ChunkHeader ChunkHeader::Parse(std::span<const std::uint8_t, ByteSize> bytes) {
  return {GetId(&bytes[0]), Get32(&bytes[4])};
}

std::array<std::uint8_t, FormatFields::ByteSize> FormatFields::Serialise() const {
  std::array<std::uint8_t, ByteSize> bytes{};
  Put16(&bytes[0], formatTag);
  Put16(&bytes[2], channels);
  Put32(&bytes[4], sampleRate);
  Put32(&bytes[8], bytesPerSecond);
  Put16(&bytes[12], blockAlign);
  Put16(&bytes[14], bitsPerSample);
  return bytes;
}

FormatFields FormatFields::Parse(std::span<const std::uint8_t, ByteSize> bytes) {
  FormatFields f;
  f.formatTag = Get16(&bytes[0]);
  f.channels = Get16(&bytes[2]);
  f.sampleRate = Get32(&bytes[4]);
  f.bytesPerSecond = Get32(&bytes[8]);
  f.blockAlign = Get16(&bytes[12]);
  f.bitsPerSample = Get16(&bytes[14]);
  return f;
}

void WavHeader::SetDataSize(std::uint32_t bytes) {
  data.size = bytes;
  riff.size = bytes + 36;  // wraps for data within 36 bytes of 4 GiB, as the 32-bit field must
}

WavHeader WavHeader::MonoPcm(std::uint32_t sampleRate, unsigned bytesPerSample, std::uint32_t dataBytes) {
  WavHeader header;
  const auto align = static_cast<std::uint16_t>(bytesPerSample);
  header.fields = {1, 1, sampleRate, sampleRate * align, align, static_cast<std::uint16_t>(align * 8)};
  header.SetDataSize(dataBytes);
  return header;
}

std::array<std::uint8_t, WavHeader::ByteSize> WavHeader::Serialise() const {
  std::array<std::uint8_t, ByteSize> bytes{};
  std::uint8_t* p = bytes.data();
  for (std::uint8_t b : riff.Serialise()) *p++ = b;
  PutId(p, form);
  p += 4;
  for (std::uint8_t b : format.Serialise()) *p++ = b;
  for (std::uint8_t b : fields.Serialise()) *p++ = b;
  for (std::uint8_t b : data.Serialise()) *p++ = b;
  return bytes;
}

WavHeader WavHeader::Parse(std::span<const std::uint8_t, ByteSize> bytes) {
  WavHeader header;
  ParseRiffPart(bytes.first<RiffPartSize>(), header);
  header.format = ChunkHeader::Parse(bytes.subspan<12, ChunkHeader::ByteSize>());
  header.fields = FormatFields::Parse(bytes.subspan<20, FormatFields::ByteSize>());
  header.data = ChunkHeader::Parse(bytes.subspan<36, ChunkHeader::ByteSize>());
  return header;
}

void ParseRiffPart(std::span<const std::uint8_t, WavHeader::RiffPartSize> bytes, WavHeader& header) {
  header.riff = ChunkHeader::Parse(bytes.first<ChunkHeader::ByteSize>());
  header.form = GetId(&bytes[8]);
}

}  // namespace vocara
