// The block scan walks the samples in runs: a run ends where the current piece of the read
// buffer or the current block ends, whichever comes first. Each run goes through the loop for
// its sample width (ScanKernels), which keeps its sum and extremes in registers.

#include "engine/wav/SampleAccess.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

#include "engine/wav/ScanKernels.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

void ScanRun(unsigned blockAlign, const std::uint8_t* p, std::size_t n, RunState& state) {
  switch (blockAlign) {
    case 2:
      ScanRun16(p, n, state);
      break;
    case 3:
      ScanRun24(p, n, state);
      break;
    default:
      ScanRun32(p, n, state);
      break;
  }
}

// Reads `samples` samples into the piece area; what the file no longer holds reads as
// silence, so a file cut short behind the program's back cannot leave stale bytes.
const std::uint8_t* ReadPiece(WavDocument& document, std::size_t samples) {
  std::uint8_t* piece = document.buffer.Piece();
  const std::size_t bytes = samples * document.BlockAlign();
  const std::size_t got = document.file.Read(piece, bytes);
  if (got < bytes) std::memset(piece + got, 0, bytes - got);
  return piece;
}

std::uint64_t SampleOffset(const WavDocument& document, std::uint64_t sample) {
  return document.dataOffset + sample * document.BlockAlign();
}

// The storage of a buffer that went away, waiting for the next one; at most one is kept, since
// the program and the command-line tool hold one document at a time. Atomic, because documents
// may live and die on different threads (tests).
std::atomic<std::uint8_t*> keptStorage{nullptr};

}  // namespace

void SampleBuffer::Keep::operator()(std::uint8_t* storage) const noexcept {
  std::uint8_t* none = nullptr;
  if (!keptStorage.compare_exchange_strong(none, storage)) delete[] storage;
}

std::uint8_t* SampleBuffer::Piece() {
  if (!storage_) {
    std::uint8_t* storage = keptStorage.exchange(nullptr);
    storage_.reset(storage != nullptr ? storage : new std::uint8_t[SpareBytes + PieceBytes]());
  }
  return storage_.get() + SpareBytes;
}

ScanResult WavScanBlocks(WavDocument& document, std::uint32_t firstSample, std::uint32_t blockLength,
                         std::uint32_t blockCount, std::span<SamplePair> pairs) {
  ScanResult result;
  blockCount = static_cast<std::uint32_t>(std::min<std::size_t>(blockCount, pairs.size()));
  if (blockCount == 0) {
    result.dataMax = -2147483648.0;
    result.dataMin = 2147483647.0;
    return result;
  }
  const unsigned blockAlign = document.BlockAlign();
  const std::uint64_t count = document.sampleCount;
  const std::uint64_t length = blockLength;
  // Samples to read: the blocks as cut at the end of the data, and never past the data.
  std::uint64_t remaining = std::min<std::uint64_t>(std::uint64_t{blockCount} * length, count);
  remaining = std::min(remaining, firstSample < count ? count - firstSample : 0);
  document.file.Seek(SampleOffset(document, firstSample));

  const std::size_t pieceSamples = SampleBuffer::ScanPieceSamples(blockAlign);
  const std::uint8_t* piece = nullptr;
  std::size_t pieceLeft = 0;
  std::int32_t overallMin = std::numeric_limits<std::int32_t>::max();
  std::int32_t overallMax = std::numeric_limits<std::int32_t>::min();
  std::uint32_t checksum = 0;
  for (std::uint32_t block = 0; block < blockCount; ++block) {
    const std::uint64_t start = block * length;
    std::uint64_t blockLeft = start < count ? std::min(length, count - start) : 0;
    blockLeft = std::min(blockLeft, remaining);
    remaining -= blockLeft;
    RunState state;
    while (blockLeft > 0) {
      if (pieceLeft == 0) {
        pieceLeft = static_cast<std::size_t>(std::min<std::uint64_t>(pieceSamples, blockLeft + remaining));
        piece = ReadPiece(document, pieceLeft);
      }
      const auto run = static_cast<std::size_t>(std::min<std::uint64_t>(pieceLeft, blockLeft));
      ScanRun(blockAlign, piece, run, state);
      piece += run * blockAlign;
      pieceLeft -= run;
      blockLeft -= run;
    }
    checksum += state.sum;
    pairs[block] = {state.min, state.max};
    overallMin = std::min(overallMin, state.min);
    overallMax = std::max(overallMax, state.max);
  }
  result.checksum = checksum;
  result.dataMin = overallMin;
  result.dataMax = overallMax;
  return result;
}

std::uint32_t WavReadWindow(WavDocument& document, std::uint32_t centre, std::span<double> values) {
  const std::uint64_t length = values.size();
  const std::uint64_t half = length / 2;
  const std::uint64_t count = document.sampleCount;
  std::uint64_t lead = 0;
  std::uint64_t first = 0;
  if (centre <= half) {
    lead = half - centre;
  } else {
    first = centre - half;
  }
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{centre} + half, count);
  const std::uint64_t samples = end > first ? end - first : 0;

  std::fill(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(lead), 0.0);
  if (samples > 0) {
    const unsigned blockAlign = document.BlockAlign();
    document.file.Seek(SampleOffset(document, first));
    // Windows up to 1048576 samples of 4 bytes take one read; anything longer takes pieces.
    double* out = values.data() + lead;
    std::uint64_t left = samples;
    while (left > 0) {
      const auto n =
          static_cast<std::size_t>(std::min<std::uint64_t>(left, SampleBuffer::PieceSamples(blockAlign)));
      const std::uint8_t* piece = ReadPiece(document, n);
      for (std::size_t i = 0; i < n; ++i) out[i] = LeftAlignedSample(piece + i * blockAlign, blockAlign);
      out += n;
      left -= n;
    }
  }
  std::fill(values.begin() + static_cast<std::ptrdiff_t>(lead + samples), values.end(), 0.0);
  return static_cast<std::uint32_t>(samples);
}

double WavRangeRms(WavDocument& document, std::uint32_t left, std::uint32_t right) {
  if (right <= left) return 0.0;
  const unsigned blockAlign = document.BlockAlign();
  document.file.Seek(SampleOffset(document, left));
  double sum = 0.0;
  std::uint64_t remaining = right - left;
  while (remaining > 0) {
    const auto n = static_cast<std::size_t>(
        std::min<std::uint64_t>(remaining, SampleBuffer::ScanPieceSamples(blockAlign)));
    const std::uint8_t* piece = ReadPiece(document, n);
    for (std::size_t i = 0; i < n; ++i) {
      const double v = LeftAlignedSample(piece + i * blockAlign, blockAlign);
      sum += v * v;
    }
    remaining -= n;
  }
  return std::sqrt(sum / (right - left)) * PercentPerUnit;
}

}  // namespace vocara
