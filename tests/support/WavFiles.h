// Generated WAV files for the tests: chunks, format chunks, sample data of every width, and
// whole files, as byte strings. Nothing binary is kept in the repository.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/wav/WavHeader.h"

namespace vocara::test {

std::string Le16(std::uint16_t value);
std::string Le32(std::uint32_t value);

// A chunk: identifier, declared size (the body's size unless given), body.
std::string Chunk(std::string_view id, std::string_view body);
std::string Chunk(std::string_view id, std::uint32_t declaredSize, std::string_view body);

// The 16 format bytes, followed by `extra` more bytes (an 18-byte chunk has 2).
std::string FormatBody(const FormatFields& fields, std::string_view extra = {});

// "RIFF", the RIFF size 4 + chunks (or as given), "WAVE", then the chunks.
std::string RiffFile(std::string_view chunks);
std::string RiffFile(std::string_view chunks, std::uint32_t riffSize);

// The canonical file: 44-byte header of that format and the data.
std::string CanonicalWav(const FormatFields& fields, std::string_view data);

FormatFields Format(std::uint16_t blockAlign, std::uint32_t sampleRate = 48000);

// Stored sample bytes, little-endian, blockAlign bytes each (values are the stored integers).
std::string Samples(unsigned blockAlign, const std::vector<std::int32_t>& values);
// The other way: the 16-bit samples of a canonical WAV file (data right after its 44 bytes of header).
std::vector<std::int32_t> Stored16(const std::string& path);
// `count` stored integers of `bits` bits spread over their whole signed range, the same on every
// platform for a seed: a linear congruential generator's top bits.
std::vector<std::int32_t> UniformNoise(std::size_t count, int bits, std::uint32_t seed = 1);

// Writes bytes to path (replacing it) and returns path.
std::string WriteFile(const std::string& path, std::string_view bytes);
// Writes the canonical 16-bit file of `values` at `rate` to path and returns path.
std::string WriteWav16(const std::string& path, const std::vector<std::int32_t>& values,
                       std::uint32_t rate = 48000);
std::string ReadFile(const std::string& path);

}  // namespace vocara::test
