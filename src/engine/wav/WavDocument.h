// The open recording: one mono integer-PCM WAV file, kept open for reading while it is the
// document and read on demand, never loaded whole.
//
// Accepted files: RIFF form "WAVE" with a "fmt " chunk and, after it, a "data" chunk; format
// tag 1 (integer PCM; WAVE_FORMAT_EXTENSIBLE is refused), 1 channel, 22000 to 768000 Hz,
// block align 2 to 4 bytes and 16 to 32 bits per sample, checked independently (the block
// align alone decides how samples are stored, the bits only the amplitude scale). Other
// chunks may stand before "fmt " and between "fmt " and "data"; they are skipped by their
// declared size with no pad byte for odd sizes. A format chunk longer than 16 bytes has
// its rest skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavHeader.h"

namespace vocara {

inline constexpr std::uint32_t OverviewCapacity = 65536;
inline constexpr std::uint32_t MinimumSampleRate = 22000;
// The fastest rate a recorder delivers. The header may claim any 32-bit rate, and the frame
// length, the analysis windows and the spectrum buffers grow with it: a file of a hundred
// samples claiming 4 GHz would take gigabytes to analyse. It is refused like a rate below the
// minimum, with the same format message.
inline constexpr std::uint32_t MaximumSampleRate = 768000;

struct WavDocument {
  FileHandle file;   // not open when no WAV is open
  std::string path;  // the open file, or the last name refused; empty after closing
  // Read from the open file with its format chunk size set to 16: the header written at the
  // head of every file made from this one, so those files keep its format.
  WavHeader header;
  // Offset of the first data byte. 64-bit: chunks before the data may lie past 4 GiB.
  std::uint64_t dataOffset = 0;
  std::uint32_t sampleCount = 0;  // whole samples in the data chunk; a partial one is ignored
  double amplitudeScale = 1.0;    // 100 / 2^bitsPerSample; 1 when closed
  std::uint32_t checksum = 0;     // wrap-around sum of all left-aligned samples
  // Samples per overview entry, ceil(sampleCount / 65536); 1 for a file without samples, so
  // that nothing divides by zero.
  std::uint32_t overviewFactor = 0;
  std::uint32_t overviewLength = 0;  // entries in use, ceil(sampleCount / overviewFactor)
  std::vector<SamplePair> overview = std::vector<SamplePair>(OverviewCapacity);
  std::uint32_t cursor = 0;      // the current sample: where Play starts
  std::uint32_t rangeLeft = 0;   // selected samples rangeLeft <= i < rangeRight;
  std::uint32_t rangeRight = 0;  // none when equal
  double rangeRms = 0.0;         // RMS of the range in percent of full scale
  SampleBuffer buffer;           // the one read buffer every sample read and copy uses

  unsigned BlockAlign() const { return header.fields.blockAlign; }
};

struct WavOpenResult {
  MessageId message = MessageId::None;
  // Extremes of the whole file from the open scan, in left-aligned units.
  double dataMin = 0.0;
  double dataMax = 0.0;
};

// Opens and validates `path` into the document (which must have no file open), in this order,
// the first failing check giving its message:
//   the file opens for reading            "Invalid File Handle" (nothing else changes)
//   at least 44 bytes                     "WAVE to short"
//   "RIFF", RIFF size <= file size - 8,   "Not a RIFF file", "RIFF bigger than file size",
//   form "WAVE"                           "Not a WAVE file"
//   a "fmt " chunk with 16 bytes          "Format chunk not found"
//   tag, channels, rate, align, bits      "Compression not supported", "Not a mono file",
//                                         "Sample rate to low" (also for a rate above
//                                         768000 Hz), "Wrong number bytes per sample",
//                                         "Wrong number bits per sample"
//   a "data" chunk after "fmt "           "DATA chunk not found"
//   the data within the file              "File to short"
// then scans the whole file for the checksum and the overview. A chunk walk ends with its
// "not found" message at the end of the file, at a chunk header cut by the end, and at a
// chunk whose declared size is 2^31 or more or runs past the end; so it always ends. On a
// refusal the file is closed; path and the header keep what was read, and nothing else of
// the document changes.
WavOpenResult WavOpenDocument(WavDocument& document, const std::string& path);

// The checks of WavOpenDocument without the scan: reads the header of the open `file` (its
// format chunk size set to 16) and the offset of its first data byte. For a file that is only
// to be read through, such as one being played.
MessageId WavReadLayout(FileHandle& file, WavHeader& header, std::uint64_t& dataOffset);

}  // namespace vocara
