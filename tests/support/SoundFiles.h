// Sound files of other kinds for the import's tests, written by libsndfile itself: nothing
// binary is kept in the repository. And the WAV an import wrote, read back.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/wav/WavHeader.h"

namespace vocara::test {

// Writes interleaved frames of `channels` whose values are the integers stored at `bits`
// (8, 16, 24 or 32) in libsndfile's `format` (SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, ...),
// exactly. Returns path.
std::string WriteSound(const std::string& path, int format, int channels, int rate, int bits,
                       const std::vector<std::int32_t>& stored);
// The same with float values (full scale ±1), for the float and double encodings.
std::string WriteFloatSound(const std::string& path, int format, int channels, int rate,
                            const std::vector<float>& values);
// The file at `from` written again as `format` (a FLAC made from a WAV), sample for sample.
std::string ConvertSound(const std::string& from, const std::string& path, int format);

// A mono sine of `frequency` Hz, `seconds` long, as 16-bit values peaking at `amplitude` (half of
// full scale unless given).
std::vector<std::int32_t> Sine16(double frequency, int rate, double seconds, double amplitude = 16384);

// A canonical WAV as the import writes it: its format fields and its samples (sign-extended).
struct ImportedWav {
  FormatFields fields;
  std::vector<std::int32_t> samples;
  bool canonical = false;  // 44-byte header with the sizes of the data that follows, nothing after
};
ImportedWav ReadImportedWav(const std::string& path);

}  // namespace vocara::test
