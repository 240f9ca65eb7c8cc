// Reading samples of the open recording straight from its file.
//
// Every sample, 2, 3 or 4 bytes wide, is handled as a left-aligned value: a signed 32-bit
// integer whose upper bytes are the stored little-endian bytes and whose lower bytes are
// zero (stored value x 2^(32 - 8 x blockAlign)). Full scale is thus -2^31 .. 2^31 - 1 for
// every width; a 16-bit 0x1234 is 0x12340000, a 24-bit 0x800000 is -2^31.
//
// All reads go through the document's one read buffer in pieces of at most 4194308 bytes;
// nothing else holds samples, whatever the size of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <span>

namespace vocara {

struct WavDocument;

// Percent of full scale per unit of a left-aligned value: 100 x 4.656612875245797e-10. The
// constant is 1 / (2^31 - 1), a hair above 2^-31; it is used wherever a sample becomes a
// percentage, so that exports, status values and levels agree to the last digit.
inline constexpr double PercentPerUnit = 100.0 * 4.656612875245797e-10;

// A computed value as a left-aligned sample: clamped to the 32-bit range in doubles first, so
// that the truncation toward zero is always defined; not a number gives 0.
inline std::int32_t ToSample(double value) {
  if (!(value >= -2147483648.0)) return value != value ? 0 : std::numeric_limits<std::int32_t>::min();
  if (value > 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

// Minimum and maximum left-aligned sample of a block of samples.
struct SamplePair {
  std::int32_t min = 0;
  std::int32_t max = 0;
  friend bool operator==(const SamplePair&, const SamplePair&) = default;
};

// The shared read buffer: 4 spare bytes, then room for one piece. Reads land behind the spare
// bytes, so the four bytes that end with any sample's last byte can always be loaded.
// Allocated once, on first use, and reused by every read and copy after that. A buffer whose
// document goes away is kept for the next document that needs one instead of being freed, so
// that opening one file after another (the command-line tool's steps, tests, fuzz runs) does
// not allocate and clear 4 MiB per file. Every read uses only bytes it has just filled, and the
// spare bytes are zero from the first allocation on and never written, so a kept buffer reads
// exactly like a new one.
class SampleBuffer {
 public:
  static constexpr std::size_t PieceBytes = 4194308;
  static constexpr std::size_t SpareBytes = 4;

  // The first byte of the piece area; the SpareBytes bytes before it are readable.
  std::uint8_t* Piece();
  // Samples of blockAlign bytes that fit one piece.
  static std::size_t PieceSamples(unsigned blockAlign) { return PieceBytes / blockAlign; }

  // Scans that walk every sample read smaller pieces, so that a piece is still in the
  // processor's cache when the loop reads it; reading is then the whole cost of a scan.
  static constexpr std::size_t ScanPieceBytes = 262144;
  static std::size_t ScanPieceSamples(unsigned blockAlign) { return ScanPieceBytes / blockAlign; }

 private:
  // Hands the storage over to the next buffer instead of freeing it.
  struct Keep {
    void operator()(std::uint8_t* storage) const noexcept;
  };
  std::unique_ptr<std::uint8_t[], Keep> storage_;
};

// The left-aligned value of the sample whose first byte is at `sample`; the 4 - blockAlign
// bytes in front of it must be readable (they are masked off).
inline std::int32_t LeftAlignedSample(const std::uint8_t* sample, unsigned blockAlign) {
  const std::uint8_t* word = sample + blockAlign - 4;
  const std::uint32_t bits = std::uint32_t{word[0]} | (std::uint32_t{word[1]} << 8) |
                             (std::uint32_t{word[2]} << 16) | (std::uint32_t{word[3]} << 24);
  return static_cast<std::int32_t>(bits & (0xFFFFFFFFu << (8 * (4 - blockAlign))));
}

struct ScanResult {
  std::uint32_t checksum = 0;  // wrap-around sum of the left-aligned values scanned
  double dataMin = 0.0;        // smallest block minimum
  double dataMax = 0.0;        // largest block maximum
};

// Scans blockCount consecutive blocks of blockLength samples from firstSample and writes one
// (minimum, maximum) pair per block into pairs (at most pairs.size() blocks). A block is cut
// where the data ends, counted from the start of the data as the open scan needs it; callers
// that start elsewhere keep firstSample + blockCount x blockLength within the data. A block
// with no samples gets (2147483647, -2147483648). No blocks: dataMax -2^31, dataMin 2^31 - 1.
ScanResult WavScanBlocks(WavDocument& document, std::uint32_t firstSample, std::uint32_t blockLength,
                         std::uint32_t blockCount, std::span<SamplePair> pairs);

// Fills values with values.size() samples centred on sample `centre` as doubles (left-aligned
// units), starting at centre - size / 2, zero where the window lies outside the data. With an
// odd size the last value is always 0. Returns the number of samples read.
std::uint32_t WavReadWindow(WavDocument& document, std::uint32_t centre, std::span<double> values);

// RMS of the samples left <= i < right in percent of full scale; 0 for an empty range.
double WavRangeRms(WavDocument& document, std::uint32_t left, std::uint32_t right);

}  // namespace vocara
