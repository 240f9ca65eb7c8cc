#include "BenchTone.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <vector>

#include "engine/wav/WavHeader.h"

namespace vocara::bench {

std::string TempFile(const std::string& name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

std::string HarmonicToneWav(const std::string& name) {
  constexpr double tone = 220.0;
  const std::string path = TempFile(name);
  if (std::filesystem::exists(path)) return path;
  WavHeader header;
  header.SetDataSize(ToneSamples * 2);
  std::ofstream out(path, std::ios::binary);
  const auto image = header.Serialise();
  out.write(reinterpret_cast<const char*>(image.data()), image.size());
  double norm = 0.0;
  for (int h = 1; h <= 6; ++h) norm += 1.0 / h;
  std::vector<char> block;
  for (std::uint32_t i = 0; i < ToneSamples; ++i) {
    double v = 0.0;
    for (int h = 1; h <= 6; ++h) v += std::sin(2.0 * std::numbers::pi * tone * h * i / ToneRate) / h;
    const auto s = static_cast<std::int16_t>(std::lrint(v / norm * TonePeak * 32767.0));
    block.push_back(static_cast<char>(s & 0xFF));
    block.push_back(static_cast<char>((s >> 8) & 0xFF));
    if (block.size() >= (1u << 20)) {
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  }
  out.write(block.data(), static_cast<std::streamsize>(block.size()));
  return path;
}

}  // namespace vocara::bench
