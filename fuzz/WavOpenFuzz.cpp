// libFuzzer target for the WAV opener: each input is written to a file and opened; an
// accepted file is then read the ways the program reads it (window, range RMS, range copy).
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/wav_open_fuzz -max_total_time=60`.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "engine/wav/RangeExport.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

using vocara::fuzz::TempName;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = TempName(".wav");
  static const std::string output = TempName("-out.wav");
  std::ofstream(input, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  vocara::WavDocument wav;
  const vocara::WavOpenResult result = vocara::WavOpenDocument(wav, input);
  if (result.message != vocara::MessageId::None) {
    if (wav.file.IsOpen()) std::abort();
    return 0;
  }
  const unsigned align = wav.BlockAlign();
  if (align < 2 || align > 4) std::abort();
  if (wav.dataOffset + std::uint64_t{wav.sampleCount} * align > size) std::abort();
  if (wav.overviewLength > vocara::OverviewCapacity) std::abort();

  std::vector<double> window(64);
  vocara::WavReadWindow(wav, wav.sampleCount / 2, window);
  vocara::WavRangeRms(wav, 0, wav.sampleCount);
  vocara::WriteRangeAsWav(wav, output, 0, wav.sampleCount);
  if (std::filesystem::file_size(output) != 44 + std::uint64_t{wav.sampleCount} * align) std::abort();
  return 0;
}
