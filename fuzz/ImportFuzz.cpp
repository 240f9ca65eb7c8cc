// libFuzzer target for the import: each input is one byte of options, then a file that
// libsndfile reads as any sound file and the import converts. The import must end without a crash or a hang;
// when it reports Done, the output is a mono WAV the opener accepts with exactly the width, rate and samples
// reported, and when it does not, there is no output at all. ImportCanRead must answer yes for every input
// converted.
//
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/import_fuzz -max_total_time=60`.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FuzzFiles.h"
#include "engine/wav/Import.h"
#include "engine/wav/WavDocument.h"

namespace {

using namespace vocara;

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile input = fuzz::InputFile::Memory("import-input");
  static const std::string output = fuzz::ScratchPath("import.wav");
  static WavDocument& wav = *new WavDocument;

  if (size == 0) return 0;
  // The options byte: bits 0-1 the channel (3 for the mix), bits 2-3 the width (0 for the
  // source's, else 16, 24 or 32), bit 4 a rate of 22050 Hz asked for, bit 5 salvage.
  ImportOptions options;
  options.channel = (data[0] & 3) == 3 ? ImportMix : data[0] & 3;
  options.bits = (data[0] >> 2 & 3) == 0 ? 0 : 8 + 8 * (data[0] >> 2 & 3);
  options.rate = (data[0] & 16) != 0 ? 22050 : 0;
  options.salvage = (data[0] & 32) != 0;
  input.Fill(data + 1, size - 1);
  std::filesystem::remove(output);
  const bool readable = ImportCanRead(input.Path());
  const ImportResult result = ImportToWav(input.Path(), output, options, {});

  std::error_code error;
  const bool written = std::filesystem::exists(output, error);
  if (result.result != LongOperationResult::Done) {
    Require(!written);
    return 0;
  }
  // A file cut short may be salvaged though the quick check refuses it.
  Require(written && (readable || (options.salvage && result.cut)));
  Require(result.bits == 16 || result.bits == 24 || result.bits == 32);
  const WavOpenResult opened = WavOpenDocument(wav, output);
  Require(opened.message == MessageId::None);
  Require(wav.header.fields.channels == 1 && wav.header.fields.bitsPerSample == result.bits);
  Require(wav.header.fields.sampleRate == result.rate && wav.sampleCount == result.samples);
  Require(result.clipped <= result.samples);
  wav.file.Close();
  return 0;
}
