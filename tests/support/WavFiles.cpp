#include "support/WavFiles.h"

#include <fstream>
#include <iterator>

namespace vocara::test {

std::string Le16(std::uint16_t value) {
  return {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
}

std::string Le32(std::uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return bytes;
}

std::string Chunk(std::string_view id, std::string_view body) {
  return Chunk(id, static_cast<std::uint32_t>(body.size()), body);
}

std::string Chunk(std::string_view id, std::uint32_t declaredSize, std::string_view body) {
  return std::string(id) + Le32(declaredSize) + std::string(body);
}

std::string FormatBody(const FormatFields& f, std::string_view extra) {
  return Le16(f.formatTag) + Le16(f.channels) + Le32(f.sampleRate) + Le32(f.bytesPerSecond) +
         Le16(f.blockAlign) + Le16(f.bitsPerSample) + std::string(extra);
}

std::string RiffFile(std::string_view chunks) {
  return RiffFile(chunks, static_cast<std::uint32_t>(4 + chunks.size()));
}

std::string RiffFile(std::string_view chunks, std::uint32_t riffSize) {
  return "RIFF" + Le32(riffSize) + "WAVE" + std::string(chunks);
}

std::string CanonicalWav(const FormatFields& fields, std::string_view data) {
  return RiffFile(Chunk("fmt ", FormatBody(fields)) + Chunk("data", data));
}

FormatFields Format(std::uint16_t blockAlign, std::uint32_t sampleRate) {
  return {.sampleRate = sampleRate,
          .bytesPerSecond = sampleRate * blockAlign,
          .blockAlign = blockAlign,
          .bitsPerSample = static_cast<std::uint16_t>(8 * blockAlign)};
}

std::string Samples(unsigned blockAlign, const std::vector<std::int32_t>& values) {
  std::string bytes;
  bytes.reserve(values.size() * blockAlign);
  for (const std::int32_t v : values) {
    for (unsigned i = 0; i < blockAlign; ++i)
      bytes.push_back(static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF));
  }
  return bytes;
}

std::vector<std::int32_t> Stored16(const std::string& path) {
  const std::string data = ReadFile(path).substr(44);
  std::vector<std::int32_t> values;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2)
    values.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(data[i]) | data[i + 1] << 8));
  return values;
}

std::vector<std::int32_t> UniformNoise(std::size_t count, int bits, std::uint32_t seed) {
  std::vector<std::int32_t> values(count);
  for (std::int32_t& v : values)
    v = static_cast<std::int32_t>(std::int64_t{(seed = seed * 1664525u + 1013904223u) >> (32 - bits)} -
                                  (std::int64_t{1} << (bits - 1)));
  return values;
}

std::string WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string WriteWav16(const std::string& path, const std::vector<std::int32_t>& values, std::uint32_t rate) {
  return WriteFile(path, CanonicalWav(Format(2, rate), Samples(2, values)));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace vocara::test
