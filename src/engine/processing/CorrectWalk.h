// The walk Correct's renders share, and the streams they read and write through.
//
// The render walks the input one sample at a time and places every sample on the output time
// axis, 2^(c/1200) output positions after the previous one, c being the pitch offset in cents
// that moves linearly across the frame from the current frame's offset to the next frame's.
// Output samples are read off that axis at whole positions by linear interpolation between the
// two neighbouring input samples, each first scaled by a gain that moves linearly from the
// current frame's gain to the next frame's. Output positions are counted in the input's
// numbering: the first output sample has position `start`.
//
// At every frame boundary the next frameLength + 1 input samples are loaded into the segment.
// With time correction on, the drift D of the output against the time links (the output
// position minus the link timeline's position of the current input sample) is compared with
// one source period P: more than P ahead, one period is dropped (the segment cross-fades from
// the frame's start into the same signal one period later and is P samples shorter); more
// than P behind, one is repeated (the second period cross-fades back into the first and the
// last period is appended, P samples longer). Either way the segment stays continuous at both
// ends and the next frame boundary stays where it was.
//
// Samples are left-aligned 32-bit values held in doubles while computed; every computed sample
// is clamped to the 32-bit range and truncated toward zero.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "base/FileHandle.h"
#include "engine/processing/Correct.h"
#include "engine/sas/SasRecords.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara::render {

constexpr double CentsToExponent = 0.00057762265046662;  // ln 2 / 1200: exp(c x it) = 2^(c/1200)
constexpr double OneOver440 = 0.0022727272727272726;

// A frame's source period in samples, not rounded or capped.
inline double SourcePeriod(const SasFrame& frame, std::uint32_t sampleRate) {
  return std::exp(-static_cast<double>(frame.sourcePitch) * CentsToExponent) *
         (static_cast<double>(sampleRate) * 16.0 * OneOver440);
}

// Input samples staged per read of the recording (at least a frame and one sample).
constexpr std::size_t StagedSamples = 65536;
// SAS frames read from the file at once: the current frame and the next are almost always in
// the same block.
constexpr std::uint32_t FramesPerBlock = 256;
// A SAS without frames renders through one frame of this length that changes nothing.
constexpr std::uint32_t PassThroughFrameLength = 4096;

// A frame that changes nothing: no pitch change, gain 1 (maxSample = minSample) and no time
// correction. It stands in for the frames of a SAS that has none.
constexpr SasFrame NeutralFrame{0, TimeCorrectionOffBit, 0, 0, 0};

// Input samples from the recording, read through the shared read buffer in large pieces and
// kept as left-aligned values. Positions at or past the end of the data read as 0.
class SampleStream {
 public:
  SampleStream(WavDocument& wav, std::size_t longestRead)
      : wav_(wav), staged_(std::max(StagedSamples, longestRead)) {}

  void Read(std::uint64_t first, std::span<std::int32_t> out) {
    if (first < stagedFirst_ || first + out.size() > stagedFirst_ + staged_.size() || !loaded_) Stage(first);
    std::copy_n(staged_.begin() + static_cast<std::ptrdiff_t>(first - stagedFirst_), out.size(), out.begin());
  }

 private:
  void Stage(std::uint64_t first) {
    loaded_ = true;
    stagedFirst_ = first;
    const std::uint64_t count = wav_.sampleCount;
    const std::uint64_t available =
        first < count ? std::min<std::uint64_t>(count - first, staged_.size()) : 0;
    const unsigned blockAlign = wav_.BlockAlign();
    std::size_t filled = 0;
    if (available > 0) {
      wav_.file.Seek(wav_.dataOffset + first * blockAlign);
      while (filled < available) {
        const std::size_t wanted = static_cast<std::size_t>(
            std::min<std::uint64_t>(available - filled, SampleBuffer::ScanPieceSamples(blockAlign)));
        std::uint8_t* piece = wav_.buffer.Piece();
        const std::size_t got = wav_.file.Read(piece, wanted * blockAlign) / blockAlign;
        for (std::size_t i = 0; i < got; ++i)
          staged_[filled + i] = LeftAlignedSample(piece + i * blockAlign, blockAlign);
        filled += got;
        if (got < wanted) break;  // a file cut short behind the program's back reads as silence
      }
    }
    std::fill(staged_.begin() + static_cast<std::ptrdiff_t>(filled), staged_.end(), 0);
  }

  WavDocument& wav_;
  std::vector<std::int32_t> staged_;
  std::uint64_t stagedFirst_ = 0;
  bool loaded_ = false;
};

// SAS frames straight from the file, a block at a time. Frame numbers past the last frame read
// the last frame, and a SAS without frames reads the neutral frame; records the file does not
// hold read as zeros.
class FrameStream {
 public:
  FrameStream(FileHandle& file, std::uint32_t frameCount) : file_(file), frameCount_(frameCount) {}

  SasFrame Get(std::uint64_t wanted) {
    if (frameCount_ == 0) return NeutralFrame;
    const auto number = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, frameCount_ - 1));
    if (number < blockFirst_ || number >= blockFirst_ + blockCount_) Load(number);
    return SasFrame::ParseFrom(&bytes_[(number - blockFirst_) * SasFrame::ByteSize]);
  }

 private:
  void Load(std::uint32_t first) {
    blockFirst_ = first;
    blockCount_ = std::min(FramesPerBlock, frameCount_ - first);
    const std::size_t wanted = std::size_t{blockCount_} * SasFrame::ByteSize;
    std::size_t got = 0;
    if (file_.Seek(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{first}))
      got = file_.Read(bytes_.data(), wanted);
    std::fill(bytes_.begin() + static_cast<std::ptrdiff_t>(got), bytes_.end(), std::uint8_t{0});
  }

  FileHandle& file_;
  std::uint32_t frameCount_;
  std::array<std::uint8_t, FramesPerBlock * SasFrame::ByteSize> bytes_{};
  std::uint32_t blockFirst_ = 0;
  std::uint32_t blockCount_ = 0;
};

// Appends left-aligned samples to the output in the file's sample width. Its byte buffer holds
// `capacity` samples; a longer span is converted and written in pieces of that size, so no
// caller can write past it, whatever buffer it collects its samples in.
class OutputWriter {
 public:
  OutputWriter(FileHandle& file, unsigned blockAlign, std::size_t capacity)
      : file_(file), blockAlign_(blockAlign), capacity_(capacity), bytes_(capacity * blockAlign) {}

  void Write(std::span<const std::int32_t> samples) {
    // Written back by an arithmetic shift right, so the stored value is the upper bytes.
    const unsigned shift = 8 * (4 - blockAlign_);
    while (!samples.empty()) {
      const std::span<const std::int32_t> piece = samples.first(std::min(samples.size(), capacity_));
      std::uint8_t* p = bytes_.data();
      if (blockAlign_ == 2) {
        // The common case in a loop of its own, which the compiler can widen.
        for (std::size_t i = 0; i < piece.size(); ++i) {
          const auto stored = static_cast<std::uint32_t>(piece[i] >> 16);
          p[2 * i] = static_cast<std::uint8_t>(stored);
          p[2 * i + 1] = static_cast<std::uint8_t>(stored >> 8);
        }
      } else {
        for (const std::int32_t sample : piece) {
          const auto stored = static_cast<std::uint32_t>(sample >> shift);
          for (unsigned b = 0; b < blockAlign_; ++b) *p++ = static_cast<std::uint8_t>(stored >> (8 * b));
        }
      }
      if (!file_.Write(bytes_.data(), piece.size() * blockAlign_)) failed_ = true;
      samples = samples.subspan(piece.size());
    }
  }
  bool Failed() const { return failed_; }
  // The samples one write converts at once: the size for a caller's own output buffer.
  std::size_t Capacity() const { return capacity_; }

 private:
  FileHandle& file_;
  unsigned blockAlign_;
  std::size_t capacity_;
  std::vector<std::uint8_t> bytes_;
  bool failed_ = false;
};

// Where the time links put an input position on the output axis, piecewise linear between
// the two links around it. A span of zero length (only in damaged files) pins it to the
// span's target.
inline double LinkTarget(const TimeLink& prev, const TimeLink& next, std::uint32_t inPos) {
  const auto d = [](std::uint32_t value) { return static_cast<double>(value); };
  const double sourceSpan = d(next.source) - d(prev.source);
  if (!(sourceSpan > 0.0)) return d(next.target);
  return d(prev.target) + (d(next.target) - d(prev.target)) * (d(inPos) - d(prev.source)) / sourceSpan;
}

// The render's walk over request.start .. request.end: which frames each segment reads, where a
// period is dropped or repeated, where every input sample lands on the output axis and which
// output positions it produces. It depends on the frames, the links and the request, never on
// the samples; the render hands it a sink that reads, reshapes and writes them, and the length
// alone comes from the same walk with a sink that does nothing, so the two cannot differ.
struct WalkParameters {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::uint32_t frameLength = 0;
  std::uint32_t sampleRate = 0;
  bool timeCorrection = false;  // asked for and there are links to follow
  std::uint64_t maxOutputSamples = 0;
};

struct WalkEnd {
  std::uint64_t outPos = 0;  // one past the last output position produced
  bool aborted = false;      // the sink said stop
  bool full = false;         // stopped where the output would pass what a WAV header counts
};

template <class Sink>
WalkEnd Walk(FrameStream& frames, std::span<const TimeLink> links, const WalkParameters& p, Sink& sink) {
  const std::uint32_t start = p.start;
  const std::uint32_t end = p.end;
  const std::uint32_t frameLength = p.frameLength;
  // The first link whose source lies beyond start, and the one before it.
  std::size_t linkIndex = 1;
  while (linkIndex + 1 < links.size() && links[linkIndex].source <= start) ++linkIndex;

  sink.First(start, FrameGain(frames.Get(start / frameLength)));

  std::uint32_t inPos = start;
  double x = start;
  double xPrev = x;
  // A frame whose offset does not change towards the next (a transposed take, an unvoiced or
  // uncorrected stretch) has one ratio for all its samples: it is computed once.
  double ratioCents = std::numeric_limits<double>::quiet_NaN();
  double ratio = 1.0;
  std::uint64_t outPos = std::uint64_t{start} + 1;
  std::uint32_t k = 0;
  std::uint32_t L = 0;
  int dF = 0;
  int dDelta = 0;
  double gF = 1.0;
  double gDelta = 0.0;
  WalkEnd walked;
  // The first position the output must not reach; a whole number, exact in a double.
  const double limit = static_cast<double>(start) + static_cast<double>(p.maxOutputSamples);

  while (inPos < end) {
    if (k == L) {
      const std::uint32_t reached = inPos;
      sink.Load(inPos);
      const std::uint32_t number = inPos / frameLength;
      // Both limited to the last frame, so the tail behind the last whole frame reads that
      // frame rather than the link table behind it.
      const SasFrame F = frames.Get(number);
      const SasFrame G = frames.Get(std::uint64_t{number} + 1);
      sink.Flush();

      L = frameLength;
      if (p.timeCorrection && !F.TimeCorrectionOff()) {
        if (inPos > links[linkIndex].source && linkIndex + 1 < links.size()) ++linkIndex;  // one step a frame
        const std::uint32_t P = FrameSourcePeriod(F, p.sampleRate, frameLength);
        const double drift =
            static_cast<double>(outPos) - LinkTarget(links[linkIndex - 1], links[linkIndex], inPos);
        if (drift > P) {
          sink.DropPeriod(P);
          inPos += P;
          L = frameLength - P;
        } else if (drift < -static_cast<double>(P) && inPos >= P) {
          // Never within the first period of the recording, where inPos would wrap.
          sink.RepeatPeriod(P);
          L = frameLength + P;
          inPos -= P;
        }
      }
      dF = FramePitchOffset(F);
      dDelta = FramePitchOffset(G) - dF;
      gF = FrameGain(F);
      gDelta = FrameGain(G) - gF;
      k = 0;
      if (!sink.Continue(reached, end)) {
        walked.aborted = true;
        break;
      }
    }

    // The pitch offset's slope is a 32-bit integer product, wrapping as such; it cannot wrap
    // for offsets and frame lengths that valid settings give.
    const auto slope = static_cast<std::int32_t>(static_cast<std::uint32_t>(dDelta) * k);
    const double c = dF + static_cast<double>(slope) / L;
    if (!(c == ratioCents)) {
      ratioCents = c;
      ratio = std::exp(c * CentsToExponent);
    }
    xPrev = x;
    x += ratio;
    ++k;
    ++inPos;
    if (inPos >= end) break;

    if (x >= static_cast<double>(outPos)) {
      // Compared in doubles, so a position too large for any integer (an infinite ratio from a
      // damaged frame) stops the walk as well.
      const bool full = !(x < limit);
      const std::uint64_t last = full ? start + p.maxOutputSamples - 1 : static_cast<std::uint64_t>(x);
      sink.Produce(k, L, gF, gDelta, xPrev, x, outPos, last);
      outPos = last + 1;
      if (full) {
        walked.full = true;
        break;
      }
    }
  }
  walked.outPos = outPos;
  return walked;
}

}  // namespace vocara::render
