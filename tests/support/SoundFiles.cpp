#include "support/SoundFiles.h"

#include <cmath>
#include <span>
#include <type_traits>

#include "support/WavFiles.h"

namespace vocara::test {
namespace {

SNDFILE* OpenForWriting(const std::string& path, int format, int channels, int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  return sf_open(path.c_str(), SFM_WRITE, &info);
}

// Writes interleaved int (left-aligned) or float values. Returns path, empty when it failed.
template <typename Value>
std::string WriteFrames(const std::string& path, int format, int channels, int rate,
                        const std::vector<Value>& values) {
  SNDFILE* sound = OpenForWriting(path, format, channels, rate);
  if (sound == nullptr) return {};
  const auto frames = static_cast<sf_count_t>(values.size() / static_cast<std::size_t>(channels));
  if constexpr (std::is_same_v<Value, float>) {
    sf_writef_float(sound, values.data(), frames);
  } else {
    sf_writef_int(sound, values.data(), frames);
  }
  sf_close(sound);
  return path;
}

}  // namespace

std::string WriteSound(const std::string& path, int format, int channels, int rate, int bits,
                       const std::vector<std::int32_t>& stored) {
  std::vector<int> leftAligned;
  leftAligned.reserve(stored.size());
  for (const std::int32_t v : stored)
    leftAligned.push_back(static_cast<int>(static_cast<std::uint32_t>(v) << (32 - bits)));
  return WriteFrames(path, format, channels, rate, leftAligned);
}

std::string WriteFloatSound(const std::string& path, int format, int channels, int rate,
                            const std::vector<float>& values) {
  return WriteFrames(path, format, channels, rate, values);
}

std::string ConvertSound(const std::string& from, const std::string& path, int format) {
  SF_INFO info{};
  SNDFILE* source = sf_open(from.c_str(), SFM_READ, &info);
  if (source == nullptr) return {};
  std::vector<int> frames(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_int(source, frames.data(), info.frames);
  sf_close(source);
  return WriteFrames(path, format, info.channels, info.samplerate, frames);
}

std::vector<std::int32_t> Sine16(double frequency, int rate, double seconds, double amplitude) {
  std::vector<std::int32_t> samples(static_cast<std::size_t>(std::lround(rate * seconds)));
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int32_t>(
        std::lround(amplitude * std::sin(2 * M_PI * frequency * static_cast<double>(i) / rate)));
  return samples;
}

ImportedWav ReadImportedWav(const std::string& path) {
  ImportedWav wav;
  const std::string bytes = ReadFile(path);
  if (bytes.size() < WavHeader::ByteSize) return wav;
  const WavHeader header = WavHeader::Parse(std::span<const std::uint8_t, WavHeader::ByteSize>(
      reinterpret_cast<const std::uint8_t*>(bytes.data()), WavHeader::ByteSize));
  wav.fields = header.fields;
  const std::size_t width = header.fields.blockAlign;
  wav.canonical = header.riff.id == RiffId && header.form == WaveId &&
                  header.format == ChunkHeader{FormatId, 16} && header.data.id == DataId &&
                  header.data.size == bytes.size() - WavHeader::ByteSize &&
                  header.riff.size == header.data.size + 36 && width >= 2 && width <= 4;
  if (!wav.canonical) return wav;
  for (std::size_t at = WavHeader::ByteSize; at + width <= bytes.size(); at += width) {
    std::uint32_t value = 0;
    for (std::size_t b = 0; b < width; ++b)
      value |= std::uint32_t{static_cast<std::uint8_t>(bytes[at + b])} << (8 * b);
    const unsigned unused = 32 - 8 * static_cast<unsigned>(width);
    wav.samples.push_back(static_cast<std::int32_t>(value << unused) >> unused);
  }
  return wav;
}

}  // namespace vocara::test
