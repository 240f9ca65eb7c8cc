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

#include "engine/processing/Correct.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <system_error>
#include <vector>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace vocara {
namespace {

constexpr double CentsToExponent = 0.00057762265046662;  // ln 2 / 1200: exp(c x it) = 2^(c/1200)
constexpr double OneOver440 = 0.0022727272727272726;

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

std::int32_t ToSample(double value) {
  // Clamped in doubles first, so the truncation toward zero is always defined; NaN gives 0.
  if (!(value >= -2147483648.0)) return value != value ? 0 : std::numeric_limits<std::int32_t>::min();
  if (value > 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

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

// Appends left-aligned samples to the output in the file's sample width.
class OutputWriter {
 public:
  OutputWriter(FileHandle& file, unsigned blockAlign, std::size_t capacity)
      : file_(file), blockAlign_(blockAlign), bytes_(capacity * blockAlign) {}

  void Write(std::span<const std::int32_t> samples) {
    // Written back by an arithmetic shift right, so the stored value is the upper bytes.
    const unsigned shift = 8 * (4 - blockAlign_);
    std::uint8_t* p = bytes_.data();
    for (const std::int32_t sample : samples) {
      const auto stored = static_cast<std::uint32_t>(sample >> shift);
      for (unsigned b = 0; b < blockAlign_; ++b) *p++ = static_cast<std::uint8_t>(stored >> (8 * b));
    }
    if (!file_.Write(bytes_.data(), samples.size() * blockAlign_)) failed_ = true;
  }
  bool Failed() const { return failed_; }

 private:
  FileHandle& file_;
  unsigned blockAlign_;
  std::vector<std::uint8_t> bytes_;
  bool failed_ = false;
};

// Where the time links put an input position on the output axis, piecewise linear between
// the two links around it. A span of zero length (only in damaged files) pins it to the
// span's target.
double LinkTarget(const TimeLink& prev, const TimeLink& next, std::uint32_t inPos) {
  const auto d = [](std::uint32_t value) { return static_cast<double>(value); };
  const double sourceSpan = d(next.source) - d(prev.source);
  if (!(sourceSpan > 0.0)) return d(next.target);
  return d(prev.target) + (d(next.target) - d(prev.target)) * (d(inPos) - d(prev.source)) / sourceSpan;
}

}  // namespace

double FrameGain(const SasFrame& frame) {
  if (frame.maxSample == frame.minSample) return 1.0;
  return static_cast<double>(frame.targetAmplitude) / frame.Amplitude();
}

int FramePitchOffset(const SasFrame& frame) {
  // sourcePitch is read as a signed 16-bit value here (unlike in the period), and bit 15 of the
  // target is the time-correction switch, not pitch.
  return static_cast<std::int16_t>(frame.sourcePitch) - static_cast<int>(frame.TargetPitch());
}

std::uint32_t FrameSourcePeriod(const SasFrame& frame, std::uint32_t sampleRate, std::uint32_t frameLength) {
  const double period = std::exp(-static_cast<double>(frame.sourcePitch) * CentsToExponent) *
                        (static_cast<double>(sampleRate) * 16.0 * OneOver440);
  const std::uint32_t cap = frameLength - 1;
  // Compared in doubles before the truncation, so any pitch and rate give a defined value.
  if (!(period < static_cast<double>(cap))) return cap;
  return static_cast<std::uint32_t>(period);
}

std::uint32_t LargestFrameLength(std::uint32_t sampleRate) {
  // The analysis window of the tone 1.5 semitones below A0, then 5 periods of that tone; one
  // sample of slack for a different rounding of the same product in the last place.
  const double window =
      std::trunc(std::exp(-0.0) * (static_cast<double>(sampleRate) * 293.42777920733) * OneOver440);
  return static_cast<std::uint32_t>(std::trunc(window * 5.0 * 0.0594630943593)) + 1;
}

CorrectResult Correct(WavDocument& wav, SasDocument& sas, const CorrectRequest& request,
                      const std::string& output, const ProgressCallback& progress) {
  CorrectResult result;
  const SasHeader& header = sas.header;
  const std::uint32_t sampleRate = wav.header.fields.sampleRate;
  // A SAS without frames (a recording shorter than one hop) renders unchanged through the
  // neutral frame, of a length that needs no large buffers whatever the header says.
  const bool hasFrames = header.frameCount > 0;
  const std::uint32_t frameLength =
      hasFrames ? header.frameLength
                : std::clamp<std::uint32_t>(header.frameLength, 1, PassThroughFrameLength);
  if (hasFrames && (frameLength == 0 || frameLength > LargestFrameLength(sampleRate))) {
    result.message = MessageId::SasSettingsCorrupted;
    result.result = LongOperationResult::Failed;
    return result;
  }
  OutputFile target;
  if (const MessageId refused = target.Begin(output, {wav.path, sas.path}); refused != MessageId::None) {
    result.message = refused;
    result.result = LongOperationResult::Failed;
    return result;
  }
  FileHandle& file = target.File();
  file.Seek(WavHeader::ByteSize);  // the header is written last

  const unsigned blockAlign = wav.BlockAlign();
  // The segment holds a frame and its next sample, plus one appended period (P < frameLength).
  const std::size_t segmentLength = 2 * std::size_t{frameLength} + 1;
  // Output is flushed per frame and also whenever the buffer fills, so a strong lowering of
  // the pitch (many output samples per input sample) never overruns it.
  const std::size_t outputCapacity = 2 * segmentLength;
  // The header's sizes are 32-bit: data size and data size + 36 must fit.
  const std::uint64_t maxOutputSamples = (std::uint64_t{0xFFFFFFFF} - 36) / blockAlign;

  std::vector<std::int32_t> segment(segmentLength);
  std::vector<std::int32_t> out(outputCapacity);
  SampleStream samples(wav, segmentLength);
  FrameStream frames(sas.file, header.frameCount);
  OutputWriter writer(file, blockAlign, outputCapacity);
  std::size_t count = 0;
  const auto flush = [&] {
    writer.Write(std::span<const std::int32_t>(out.data(), count));
    count = 0;
  };

  const std::span<const TimeLink> links(sas.links);
  const bool timeCorrection = request.timeCorrection && links.size() >= 2;
  // The first link whose source lies beyond start, and the one before it.
  std::size_t linkIndex = 1;
  while (linkIndex + 1 < links.size() && links[linkIndex].source <= request.start) ++linkIndex;

  const std::uint32_t start = request.start;
  const std::uint32_t end = request.end;
  samples.Read(start, std::span<std::int32_t>(segment.data(), 1));
  out[count++] = ToSample(segment[0] * FrameGain(frames.Get(start / frameLength)));

  std::uint32_t inPos = start;
  double x = start;
  double xPrev = x;
  std::uint64_t outPos = std::uint64_t{start} + 1;
  std::uint32_t k = 0;
  std::uint32_t L = 0;
  int dF = 0;
  int dDelta = 0;
  double gF = 1.0;
  double gDelta = 0.0;
  bool aborted = false;

  while (inPos < end) {
    if (k == L) {
      const std::uint32_t reached = inPos;
      samples.Read(inPos, std::span<std::int32_t>(segment.data(), std::size_t{frameLength} + 1));
      const std::uint32_t number = inPos / frameLength;
      // Both limited to the last frame, so the tail behind the last whole frame reads that
      // frame rather than the link table behind it.
      const SasFrame F = frames.Get(number);
      const SasFrame G = frames.Get(std::uint64_t{number} + 1);
      flush();

      L = frameLength;
      if (timeCorrection && !F.TimeCorrectionOff()) {
        if (inPos > links[linkIndex].source && linkIndex + 1 < links.size()) ++linkIndex;  // one step a frame
        const std::uint32_t P = FrameSourcePeriod(F, sampleRate, frameLength);
        const double drift =
            static_cast<double>(outPos) - LinkTarget(links[linkIndex - 1], links[linkIndex], inPos);
        std::int32_t* s = segment.data();
        if (drift > P) {
          // Drop one period: cross-fade from the frame's start into the same signal one period
          // later, ending exactly on the frame's last sample.
          inPos += P;
          L = frameLength - P;
          const double length = L;
          for (std::uint32_t i = 0; i <= L; ++i)
            s[i] = ToSample((static_cast<double>(L - i) * s[i] + static_cast<double>(i) * s[i + P]) / length);
        } else if (drift < -static_cast<double>(P) && inPos >= P) {
          // Repeat one period (never within the first period of the recording, where inPos
          // would wrap): append the last period behind the frame, then cross-fade the second
          // period back into the first. Computed from the end down so that it can be done in
          // place: slot P + i is written only after every slot below it was read.
          std::copy_n(s + (frameLength - P + 1), P, s + (frameLength + 1));
          const std::uint32_t M = frameLength - P;
          const double length = M;
          for (std::uint32_t i = M + 1; i-- > 0;)
            s[P + i] =
                ToSample((static_cast<double>(s[i + P]) * (M - i) + static_cast<double>(s[i]) * i) / length);
          L = frameLength + P;
          inPos -= P;
        }
      }
      dF = FramePitchOffset(F);
      dDelta = FramePitchOffset(G) - dF;
      gF = FrameGain(F);
      gDelta = FrameGain(G) - gF;
      k = 0;
      if (progress && !progress(reached, end)) {
        aborted = true;
        break;
      }
    }

    // The pitch offset's slope is a 32-bit integer product, wrapping as such; it cannot wrap
    // for offsets and frame lengths that valid settings give.
    const auto slope = static_cast<std::int32_t>(static_cast<std::uint32_t>(dDelta) * k);
    const double c = dF + static_cast<double>(slope) / L;
    const double ratio = std::exp(c * CentsToExponent);
    xPrev = x;
    x += ratio;
    ++k;
    ++inPos;
    if (inPos >= end) break;

    if (x >= static_cast<double>(outPos)) {
      const double a = (gF + gDelta * (k - 1) / L) * segment[k - 1];
      const double b = (gF + gDelta * k / L) * segment[k];
      const double step = x - xPrev;
      auto last = static_cast<std::uint64_t>(x);
      bool full = false;
      if (last - start >= maxOutputSamples) {
        last = start + maxOutputSamples - 1;
        full = true;
      }
      for (std::uint64_t t = outPos; t <= last; ++t) {
        if (count == out.size()) flush();
        out[count++] = ToSample(a + (b - a) * (static_cast<double>(t) - xPrev) / step);
      }
      outPos = last + 1;
      if (full) break;  // the output holds all a WAV header can count
    }
  }

  flush();
  const auto outputSamples = static_cast<std::uint32_t>(outPos - start);
  WavHeader outputHeader = wav.header;
  outputHeader.SetDataSize(outputSamples * blockAlign);
  const auto image = outputHeader.Serialise();
  bool written = file.Seek(0) && file.Write(image.data(), image.size()) && !writer.Failed();
  const OutputFile::LongEnd ending = target.FinishLong(written, aborted, request.keepWhenCancelled);
  result.outputSamples = ending.kept ? outputSamples : 0;
  result.message = ending.message;
  result.result = ending.result;
  return result;
}

}  // namespace vocara
