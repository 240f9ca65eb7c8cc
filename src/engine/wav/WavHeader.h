// The canonical 44-byte WAV header: a RIFF header, a 16-byte format chunk and the data
// chunk header. Every WAV file the program writes starts with it, followed directly by the
// sample data and nothing after.
//
// Layout (all integers little-endian):
//   0 "RIFF"  4 riffSize (= dataSize + 36)  8 "WAVE"
//  12 "fmt "  16 formatSize (16)  20 formatTag  22 channels  24 sampleRate
//  28 bytesPerSecond  32 blockAlign  34 bitsPerSample
//  36 "data"  40 dataSize
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vocara {

using ChunkId = std::array<char, 4>;

inline constexpr ChunkId RiffId{'R', 'I', 'F', 'F'};
inline constexpr ChunkId WaveId{'W', 'A', 'V', 'E'};
inline constexpr ChunkId FormatId{'f', 'm', 't', ' '};
inline constexpr ChunkId DataId{'d', 'a', 't', 'a'};

// An 8-byte chunk header: identifier and the size of the chunk's contents.
struct ChunkHeader {
  ChunkId id{};
  std::uint32_t size = 0;

  static constexpr std::size_t ByteSize = 8;
  std::array<std::uint8_t, ByteSize> Serialise() const;
  static ChunkHeader Parse(std::span<const std::uint8_t, ByteSize> bytes);
  friend bool operator==(const ChunkHeader&, const ChunkHeader&) = default;
};

// The first 16 bytes of a format chunk.
struct FormatFields {
  std::uint16_t formatTag = 1;  // 1: integer PCM
  std::uint16_t channels = 1;
  std::uint32_t sampleRate = 48000;
  std::uint32_t bytesPerSecond = 0;
  std::uint16_t blockAlign = 2;  // bytes per sample, all channels
  std::uint16_t bitsPerSample = 16;

  static constexpr std::size_t ByteSize = 16;
  std::array<std::uint8_t, ByteSize> Serialise() const;
  static FormatFields Parse(std::span<const std::uint8_t, ByteSize> bytes);
  friend bool operator==(const FormatFields&, const FormatFields&) = default;
};

// Members default to the program's default image: 48000 Hz, mono, 16-bit, no data.
struct WavHeader {
  ChunkHeader riff{RiffId, 0};
  ChunkId form = WaveId;
  ChunkHeader format{FormatId, 16};
  FormatFields fields;
  ChunkHeader data{DataId, 0};

  // The RIFF part: the RIFF chunk header and the form type.
  static constexpr std::size_t RiffPartSize = ChunkHeader::ByteSize + 4;
  static constexpr std::size_t ByteSize =
      RiffPartSize + ChunkHeader::ByteSize + FormatFields::ByteSize + ChunkHeader::ByteSize;

  // Sets the data size and the RIFF size that follows from it.
  void SetDataSize(std::uint32_t bytes);

  // The header of every file the program writes from scratch (renders of its own, imports,
  // recordings, tones): mono integer PCM of bytesPerSample bytes at sampleRate, holding
  // dataBytes of samples.
  static WavHeader MonoPcm(std::uint32_t sampleRate, unsigned bytesPerSample, std::uint32_t dataBytes);

  std::array<std::uint8_t, ByteSize> Serialise() const;
  static WavHeader Parse(std::span<const std::uint8_t, ByteSize> bytes);
  friend bool operator==(const WavHeader&, const WavHeader&) = default;
};

static_assert(ChunkHeader::ByteSize == 8);
static_assert(FormatFields::ByteSize == 16);
static_assert(WavHeader::RiffPartSize == 12);
static_assert(WavHeader::ByteSize == 44);

// Reads the RIFF part (12 bytes) into riff and form.
void ParseRiffPart(std::span<const std::uint8_t, WavHeader::RiffPartSize> bytes, WavHeader& header);

}  // namespace vocara
