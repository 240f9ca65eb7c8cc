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
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <span>
#include <system_error>
#include <vector>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace vocara {
namespace {

constexpr double CentsToExponent = 0.00057762265046662;  // ln 2 / 1200: exp(c x it) = 2^(c/1200)
constexpr double OneOver440 = 0.0022727272727272726;

// A frame's source period in samples, not rounded or capped.
double SourcePeriod(const SasFrame& frame, std::uint32_t sampleRate) {
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
      for (const std::int32_t sample : piece) {
        const auto stored = static_cast<std::uint32_t>(sample >> shift);
        for (unsigned b = 0; b < blockAlign_; ++b) *p++ = static_cast<std::uint8_t>(stored >> (8 * b));
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
double LinkTarget(const TimeLink& prev, const TimeLink& next, std::uint32_t inPos) {
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
    const double ratio = std::exp(c * CentsToExponent);
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

// The walk with no samples: only the output length.
struct CountingSink {
  void First(std::uint32_t, double) {}
  void Load(std::uint32_t) {}
  void Flush() {}
  void DropPeriod(std::uint32_t) {}
  void RepeatPeriod(std::uint32_t) {}
  bool Continue(std::uint32_t, std::uint32_t) { return true; }
  void Produce(std::uint32_t, std::uint32_t, double, double, double, double, std::uint64_t, std::uint64_t) {}
};

// The render's samples: the segment of the current frame, reshaped for a dropped or repeated
// period, and the output read off it, flushed per frame and whenever the buffer fills.
class RenderSink {
 public:
  RenderSink(SampleStream& samples, OutputWriter& writer, std::uint32_t frameLength,
             std::size_t segmentLength, std::size_t outputCapacity, const ProgressCallback& progress)
      : samples_(samples),
        writer_(writer),
        frameLength_(frameLength),
        segment_(segmentLength),
        out_(outputCapacity),
        progress_(progress) {}

  void First(std::uint32_t start, double gain) {
    samples_.Read(start, std::span<std::int32_t>(segment_.data(), 1));
    out_[count_++] = ToSample(segment_[0] * gain);
  }
  void Load(std::uint32_t inPos) {
    samples_.Read(inPos, std::span<std::int32_t>(segment_.data(), std::size_t{frameLength_} + 1));
  }
  void Flush() {
    writer_.Write(std::span<const std::int32_t>(out_.data(), count_));
    count_ = 0;
  }
  // Cross-fades from the frame's start into the same signal one period later, ending exactly
  // on the frame's last sample.
  void DropPeriod(std::uint32_t P) {
    std::int32_t* s = segment_.data();
    const std::uint32_t L = frameLength_ - P;
    const double length = L;
    for (std::uint32_t i = 0; i <= L; ++i)
      s[i] = ToSample((static_cast<double>(L - i) * s[i] + static_cast<double>(i) * s[i + P]) / length);
  }
  // Appends the last period behind the frame, then cross-fades the second period back into
  // the first. Computed from the end down so that it can be done in place: slot P + i is
  // written only after every slot below it was read.
  void RepeatPeriod(std::uint32_t P) {
    std::int32_t* s = segment_.data();
    std::copy_n(s + (frameLength_ - P + 1), P, s + (frameLength_ + 1));
    const std::uint32_t M = frameLength_ - P;
    const double length = M;
    for (std::uint32_t i = M + 1; i-- > 0;)
      s[P + i] = ToSample((static_cast<double>(s[i + P]) * (M - i) + static_cast<double>(s[i]) * i) / length);
  }
  bool Continue(std::uint32_t reached, std::uint32_t end) { return !progress_ || progress_(reached, end); }
  // The output positions outPos .. last, between input samples k - 1 and k of the segment,
  // each scaled by the gain moving from the current frame's to the next frame's.
  void Produce(std::uint32_t k, std::uint32_t L, double gF, double gDelta, double xPrev, double x,
               std::uint64_t outPos, std::uint64_t last) {
    const double a = (gF + gDelta * (k - 1) / L) * segment_[k - 1];
    const double b = (gF + gDelta * k / L) * segment_[k];
    const double step = x - xPrev;
    for (std::uint64_t t = outPos; t <= last; ++t) {
      if (count_ == out_.size()) Flush();
      out_[count_++] = ToSample(a + (b - a) * (static_cast<double>(t) - xPrev) / step);
    }
  }

 private:
  SampleStream& samples_;
  OutputWriter& writer_;
  std::uint32_t frameLength_;
  std::vector<std::int32_t> segment_;
  std::vector<std::int32_t> out_;
  std::size_t count_ = 0;
  const ProgressCallback& progress_;
};

// The render that keeps the formants: the same walk, so the same output positions, time links
// and length, but each output position is not resampled from the input. Instead, pitch
// synchronous overlap-add: the input is marked at its pitch periods (epochs, one source period
// apart where the waveform best repeats itself; 5 ms apart where the frame is not voiced), and
// at every target period of the
// output (the source period times the walk's ratio) the two periods of input around the epoch
// nearest to where the walk has reached are laid on the output under a Hann window. A grain is
// the recording's own waveform, so the resonances of the voice stay where they were while its
// pulses come at the target rate. Hann windows two periods wide, one period apart, sum to 1, so
// unvoiced and silent stretches at a ratio of 1 are put back together exactly.
class FormantSink {
 public:
  FormantSink(SampleStream& samples, OutputWriter& writer, FrameStream& frames, std::uint32_t frameLength,
              std::uint32_t sampleRate, double silenceLevel, const ProgressCallback& progress)
      : samples_(samples),
        writer_(writer),
        frames_(frames),
        frameLength_(frameLength),
        sampleRate_(sampleRate),
        silenceLevel_(silenceLevel),
        unvoicedPeriod_(std::max<std::uint32_t>(1, std::min(frameLength - 1, sampleRate / 200))),
        window_(WindowLength(frameLength)),
        ring_(std::bit_ceil(16 * std::size_t{frameLength} + 64)),
        ringMask_(ring_.size() - 1),
        grain_(2 * std::size_t{frameLength}),
        early_(2 * std::size_t{frameLength}),
        out_(writer.Capacity()),
        progress_(progress) {
    // The epochs kept are trimmed at 4096, so the list never grows while the render runs.
    epochs_.reserve(4097);
  }

  // The input it keeps at hand: grains and epoch searches reach a few frames around the walk.
  static std::size_t WindowLength(std::uint32_t frameLength) { return 8 * std::size_t{frameLength} + 64; }

  void First(std::uint32_t start, double gain) {
    written_ = start;
    epochs_.push_back(start);
    Mark(start, start, start, gain, 1.0);
  }
  void Load(std::uint32_t inPos) {
    segmentStart_ = inPos;
    scale_ = 1.0;
  }
  void Flush() { WriteFinished(); }
  // A dropped or repeated period: the frame's input is walked in fewer or more steps, which for
  // grains means reading the frame faster or slower.
  void DropPeriod(std::uint32_t P) { scale_ = static_cast<double>(frameLength_) / (frameLength_ - P); }
  void RepeatPeriod(std::uint32_t P) { scale_ = static_cast<double>(frameLength_) / (frameLength_ + P); }
  bool Continue(std::uint32_t reached, std::uint32_t end) { return !progress_ || progress_(reached, end); }
  void Produce(std::uint32_t k, std::uint32_t L, double gF, double gDelta, double xPrev, double x,
               std::uint64_t outPos, std::uint64_t last) {
    const double ratio = x - xPrev;
    for (std::uint64_t t = outPos; t <= last; ++t) {
      if (static_cast<double>(t) < nextMark_) continue;
      const double u = (k - 1) + (static_cast<double>(t) - xPrev) / ratio;
      const double gain = gF + gDelta * u / L;
      // The mark keeps its fractional place, so the periods average exactly the target one;
      // its grain goes to the first whole position at or after it.
      const double mark = static_cast<double>(t) - nextMark_ < 1.0 ? nextMark_ : static_cast<double>(t);
      Mark(t, mark, segmentStart_ + u * scale_, gain, ratio);
    }
    produced_ = last + 1;
    WriteFinished();
  }
  // After the walk: everything up to its last output position.
  void Finish(std::uint64_t end) {
    produced_ = end;
    nextMark_ = std::numeric_limits<double>::infinity();
    WriteUpTo(end);
  }

 private:
  // The input sample at `pos` (0 before the recording and past its data).
  double In(std::int64_t pos) { return pos < 0 ? 0.0 : *Span(pos, pos); }

  // The source period at an input position: the frame's when it is voiced there (a frame whose
  // time correction is off still has its pitch corrected), in whole samples for the search and
  // exactly for the step to the next epoch; a fixed 5 ms where it is not.
  struct Period {
    bool voiced = false;
    std::uint32_t whole = 0;
    double exact = 0.0;
  };
  Period PeriodAt(std::uint64_t pos) {
    const SasFrame frame = frames_.Get(pos / frameLength_);
    Period p;
    p.voiced = FrameHasPitch(frame) && frame.Amplitude() > silenceLevel_;
    p.whole = p.voiced ? std::max<std::uint32_t>(2, FrameSourcePeriod(frame, sampleRate_, frameLength_))
                       : unvoicedPeriod_;
    const double period = SourcePeriod(frame, sampleRate_);
    p.exact = p.voiced && period < frameLength_ - 1 ? period : p.whole;
    return p;
  }

  // Epochs are found on as far as `pos` needs. Where voiced, the next one is a source period on,
  // moved by up to a tenth of a period to where the waveform best repeats the period around
  // the last (its correlation over every second sample), so that every grain starts at the same
  // point of the voice's cycle; one fixed period on where not voiced.
  void EpochsUpTo(double pos) {
    while (static_cast<double>(epochs_.back()) < pos + frameLength_) {
      const std::uint64_t e = epochs_.back();
      const auto [voiced, P, exact] = PeriodAt(e);
      const auto step = static_cast<std::int64_t>(std::lround(exact));
      std::int64_t next = static_cast<std::int64_t>(e) + std::max<std::int64_t>(1, step);
      if (voiced && !lastVoiced_) {
        // The voice starts: the first epoch goes to the period's strongest sample, where the
        // glottis closes, so that every grain holds one pulse and the ringing after it.
        const auto here = static_cast<std::int64_t>(e);
        double best = -1;
        for (std::int64_t j = 0; j < static_cast<std::int64_t>(P); ++j) {
          const double v = std::abs(In(here + j));
          if (v > best) {
            best = v;
            next = here + std::max<std::int64_t>(1, j);
          }
        }
      } else if (voiced) {
        const auto here = static_cast<std::int64_t>(e);
        double score = 0.0;
        next = here + Track(here, step, static_cast<std::int64_t>(P / 2), score);
        // The analysis may have heard the voice an octave or two high (a strong second or
        // fourth harmonic): where one source period on does not repeat the waveform, two,
        // three or four may, and the grains must hold whole cycles of the voice.
        for (std::int64_t times = 2; times <= 4 && score < 0.8; ++times) {
          if (step * times >= static_cast<std::int64_t>(frameLength_) - 1) break;
          double longer = 0.0;
          const std::int64_t reached = Track(here, step * times, static_cast<std::int64_t>(P / 2), longer);
          if (longer > score + 0.1) {
            score = longer;
            next = here + reached;
          }
        }
      }
      lastVoiced_ = voiced;
      epochs_.push_back(static_cast<std::uint64_t>(next));
      // Only the last frames' epochs are ever asked for again.
      if (epochs_.size() > 4096) epochs_.erase(epochs_.begin(), epochs_.begin() + 2048);
    }
  }

  // How far on from `here` the waveform around it best repeats, within a tenth of `lag`: the
  // correlation over every second sample of +-half, and its normalised value in `score`.
  std::int64_t Track(std::int64_t here, std::int64_t lag, std::int64_t half, double& score) {
    const std::int64_t reach = std::max<std::int64_t>(1, lag / 10);
    const std::int64_t first = here - half;
    if (first < 0) {
      score = 1.0;  // no voice before the recording to compare with
      return std::max<std::int64_t>(1, lag);
    }
    const std::int32_t* a = Span(first, here + lag + reach + half);
    const std::int32_t* b = a + lag;
    const auto n = static_cast<std::size_t>(2 * half + 1);
    // Every second shift first, then the two beside the best of them.
    const auto correlate = [&](std::int64_t shift) {
      const std::int32_t* c = b + shift;
      double sum = 0;
      for (std::size_t j = 0; j < n; j += 2) sum += static_cast<double>(a[j]) * static_cast<double>(c[j]);
      return sum;
    };
    double best = -std::numeric_limits<double>::infinity();
    std::int64_t bestShift = 0;
    for (std::int64_t shift = -reach; shift <= reach; shift += 2) {
      const double sum = correlate(shift);
      if (sum > best) {
        best = sum;
        bestShift = shift;
      }
    }
    const std::int64_t coarse = bestShift;
    for (const std::int64_t shift : {coarse - 1, coarse + 1}) {
      if (shift < -reach || shift > reach) continue;
      const double sum = correlate(shift);
      if (sum > best) {
        best = sum;
        bestShift = shift;
      }
    }
    double ea = 0;
    double eb = 0;
    for (std::size_t j = 0; j < n; j += 2) {
      ea += static_cast<double>(a[j]) * static_cast<double>(a[j]);
      eb += static_cast<double>(b[bestShift + static_cast<std::int64_t>(j)]) *
            static_cast<double>(b[bestShift + static_cast<std::int64_t>(j)]);
    }
    score = ea > 0 && eb > 0 ? best / std::sqrt(ea * eb) : 1.0;
    return std::max<std::int64_t>(1, lag + bestShift);
  }

  // The input first <= i <= last (first >= 0) in the window, reloaded around them if needed.
  const std::int32_t* Span(std::int64_t first, std::int64_t last) {
    const auto from = static_cast<std::uint64_t>(first);
    const auto to = static_cast<std::uint64_t>(last);
    if (!windowLoaded_ || from < windowFirst_ || to >= windowFirst_ + window_.size()) {
      const std::uint64_t margin = 2 * std::uint64_t{frameLength_} + 8;
      windowFirst_ = from > margin ? from - margin : 0;
      samples_.Read(windowFirst_, window_);
      windowLoaded_ = true;
    }
    return window_.data() + (from - windowFirst_);
  }

  // A grain at output position t: the input around the epoch nearest `source`, under a Hann
  // window two source periods wide, scaled by the gain; the next mark one target period on.
  void Mark(std::uint64_t t, double mark, double source, double gain, double ratio) {
    EpochsUpTo(source);
    auto it =
        std::lower_bound(epochs_.begin(), epochs_.end(), static_cast<std::uint64_t>(std::max(source, 0.0)));
    if (it == epochs_.end()) --it;
    if (it != epochs_.begin() &&
        source - static_cast<double>(*std::prev(it)) < static_cast<double>(*it) - source)
      --it;
    const std::uint64_t epoch = *it;
    // The period is the epochs' own distance, so that at a ratio of 1 the grains fall exactly
    // where they came from and their windows sum to 1.
    const std::uint64_t period = std::next(it) != epochs_.end()
                                     ? *std::next(it) - epoch
                                     : (it != epochs_.begin() ? epoch - *std::prev(it) : 1);
    const auto interval = static_cast<std::int64_t>(std::clamp<std::uint64_t>(period, 1, frameLength_ - 1));
    const double spacing = std::max(1.0, static_cast<double>(interval) * ratio);
    nextMark_ = mark + spacing;
    const std::int64_t half = interval;
    const std::size_t width = 2 * static_cast<std::size_t>(half) - 1;
    // The grain: the input around the epoch under a Hann window (its cosine turned on by a
    // rotation rather than computed per sample), read straight from the window.
    const auto e = static_cast<std::int64_t>(epoch);
    // Near the recording's start the grain reaches before it, where the input is silence.
    const std::int64_t from = e - half + 1;
    const std::int32_t* x = nullptr;
    if (from >= 0) {
      x = Span(from, e + half);
    } else {
      for (std::size_t j = 0; j < width; ++j)
        early_[j] = static_cast<std::int32_t>(In(from + static_cast<std::int64_t>(j)));
      x = early_.data();
    }
    const double step = std::numbers::pi / static_cast<double>(half);
    const double cosStep = std::cos(step);
    const double sinStep = std::sin(step);
    double c = std::cos(step * static_cast<double>(1 - half));
    double sn = std::sin(step * static_cast<double>(1 - half));
    double weights = 0.0;
    double power = 0.0;
    for (std::size_t j = 0; j < width; ++j) {
      const double w = 0.5 + 0.5 * c;
      const double v = static_cast<double>(x[j]);
      grain_[j] = w * v;
      weights += w;
      power += w * v * v;
      const double nextC = c * cosStep - sn * sinStep;
      sn = sn * cosStep + c * sinStep;
      c = nextC;
    }
    // The level. Grains laid `spacing` apart give, for a voice that repeats itself, a power of
    // their own energy plus their overlaps with the grains one, two ... spacings on, per
    // spacing; the input's power is the window's weighted mean. Scaling by the root of their
    // ratio keeps the voice as loud as it was, whether the overlapping grains add in step (a
    // small change) or by power (a large one). Where the pitch is not moved at all the grains
    // fall back where they came from and add up exactly, so there the scale is 1; it is
    // brought in over the first semitone of a change.
    const auto lag = static_cast<std::size_t>(std::lround(spacing));
    double energy = 0.0;
    for (std::size_t j = 0; j < width; ++j) energy += grain_[j] * grain_[j];
    for (std::size_t m = lag; m < width; m += lag) {
      double overlap = 0.0;
      for (std::size_t j = 0; j + m < width; ++j) overlap += grain_[j] * grain_[j + m];
      energy += 2 * overlap;
    }
    const double wanted = power / weights;
    const double made = energy / spacing;
    const double scale = made > wanted * 1e-6 && wanted > 0 ? std::sqrt(wanted / made) : std::sqrt(ratio);
    smoothedScale_ = firstScale_ ? scale : 0.6 * smoothedScale_ + 0.4 * scale;
    firstScale_ = false;
    const double apart = std::min(1.0, std::abs(std::log2(ratio)) * 12.0);
    const double level = gain * std::pow(std::sqrt(ratio), 1.0 - apart) * std::pow(smoothedScale_, apart);
    const std::int64_t firstAt = static_cast<std::int64_t>(t) - half + 1;
    for (std::size_t j = 0; j < width; ++j) {
      const std::int64_t at = firstAt + static_cast<std::int64_t>(j);
      if (at < static_cast<std::int64_t>(written_)) continue;
      ring_[static_cast<std::size_t>(at) & ringMask_] += level * grain_[j];
    }
  }

  // Positions no later grain can reach: before the next mark less the longest half-window.
  void WriteFinished() {
    const double reach = nextMark_ - frameLength_;
    if (!(reach > static_cast<double>(written_))) return;
    WriteUpTo(std::min<std::uint64_t>(produced_, static_cast<std::uint64_t>(reach)));
  }

  void WriteUpTo(std::uint64_t end) {
    std::size_t count = 0;
    for (; written_ < end; ++written_) {
      const std::size_t slot = written_ & ringMask_;
      out_[count++] = ToSample(ring_[slot]);
      ring_[slot] = 0.0;
      if (count == out_.size()) {
        writer_.Write(std::span<const std::int32_t>(out_.data(), count));
        count = 0;
      }
    }
    writer_.Write(std::span<const std::int32_t>(out_.data(), count));
  }

  SampleStream& samples_;
  OutputWriter& writer_;
  FrameStream& frames_;
  std::uint32_t frameLength_;
  std::uint32_t sampleRate_;
  double silenceLevel_;
  std::uint32_t unvoicedPeriod_;
  std::vector<std::int32_t> window_;
  std::uint64_t windowFirst_ = 0;
  bool windowLoaded_ = false;
  std::vector<std::uint64_t> epochs_;
  bool lastVoiced_ = false;
  std::vector<double> ring_;
  std::size_t ringMask_;
  std::vector<double> grain_;
  std::vector<std::int32_t> early_;
  double smoothedScale_ = 1.0;
  bool firstScale_ = true;
  std::vector<std::int32_t> out_;
  std::uint64_t written_ = 0;   // output positions before this are in the file
  std::uint64_t produced_ = 0;  // output positions before this have their marks
  double nextMark_ = 0.0;
  std::uint32_t segmentStart_ = 0;
  double scale_ = 1.0;
  const ProgressCallback& progress_;
};

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
  const double period = SourcePeriod(frame, sampleRate);
  const std::uint32_t cap = frameLength - 1;
  // Compared in doubles before the truncation, so any pitch and rate give a defined value.
  if (!(period < static_cast<double>(cap))) return cap;
  return static_cast<std::uint32_t>(period);
}

std::uint32_t LargestFrameLength(std::uint32_t sampleRate) {
  // Note 0, A0, is the lowest any settings allow. One sample of slack, so that no file this
  // render has ever accepted is refused now.
  return AnalysisFrameLength(AnalysisWindowLength(0, sampleRate), MaxChunkPeriods) + 1;
}

namespace {

// The frame length the render walks with: a SAS without frames (a recording shorter than one
// hop) renders unchanged through the neutral frame, of a length that needs no large buffers
// whatever the header says. 0 when the header's length is one no settings give at the rate.
std::uint32_t RenderFrameLength(const SasHeader& header, std::uint32_t sampleRate) {
  if (header.frameCount == 0) return std::clamp<std::uint32_t>(header.frameLength, 1, PassThroughFrameLength);
  if (header.frameLength == 0 || header.frameLength > LargestFrameLength(sampleRate)) return 0;
  return header.frameLength;
}

// The header's sizes are 32-bit: data size and data size + 36 must fit.
std::uint64_t MaxOutputSamples(unsigned blockAlign) { return (std::uint64_t{0xFFFFFFFF} - 36) / blockAlign; }

WalkParameters WalkFor(const WavDocument& wav, const SasDocument& sas, const CorrectRequest& request,
                       std::uint32_t frameLength) {
  return {request.start,
          request.end,
          frameLength,
          wav.header.fields.sampleRate,
          request.timeCorrection && sas.links.size() >= 2,
          MaxOutputSamples(wav.BlockAlign())};
}

// Whether the output may pass the largest WAV, from one look at each segment's two frames: a
// segment takes at most frameLength + P input steps (a repeated period), and every step moves
// the output by at most the larger of the two frames' ratios, since the pitch offset moves
// linearly between them. False means the render surely fits; true only that it must be walked
// to know. The margin covers the rounding of billions of additions to the output position.
bool MayPassWavLimit(FrameStream& frames, const WalkParameters& p) {
  const double limit = static_cast<double>(p.maxOutputSamples) - 65536.0;
  double bound = 0.0;
  for (std::uint64_t segment = p.start; segment < p.end; segment += p.frameLength) {
    const std::uint64_t number = segment / p.frameLength;
    const SasFrame F = frames.Get(number);
    const SasFrame G = frames.Get(number + 1);
    const bool periods = p.timeCorrection && !F.TimeCorrectionOff();
    const double steps =
        p.frameLength +
        (periods ? static_cast<double>(FrameSourcePeriod(F, p.sampleRate, p.frameLength)) : 0.0);
    const int dF = FramePitchOffset(F);
    const int dG = FramePitchOffset(G);
    // A slope that can wrap its 32-bit product can give any offset.
    if (std::abs(static_cast<double>(dG - dF)) * steps >= 2147483648.0) return true;
    bound += steps * std::exp(std::max(dF, dG) * CentsToExponent) * (1.0 + 1e-9);
    if (!(bound <= limit)) return true;
  }
  return false;
}

}  // namespace

CorrectLength CorrectOutputLength(const WavDocument& wav, SasDocument& sas, const CorrectRequest& request) {
  CorrectLength length;
  const std::uint32_t frameLength = RenderFrameLength(sas.header, wav.header.fields.sampleRate);
  if (frameLength == 0) {
    length.message = MessageId::SasSettingsCorrupted;
    return length;
  }
  const WalkParameters parameters = WalkFor(wav, sas, request, frameLength);
  FrameStream frames(sas.file, sas.header.frameCount);
  CountingSink counting;
  const WalkEnd walked = Walk(frames, sas.links, parameters, counting);
  length.samples = walked.outPos - request.start;
  length.passesWavLimit = walked.full;
  return length;
}

CorrectResult Correct(WavDocument& wav, SasDocument& sas, const CorrectRequest& request,
                      const std::string& output, const ProgressCallback& progress) {
  CorrectResult result;
  const SasHeader& header = sas.header;
  const std::uint32_t frameLength = RenderFrameLength(header, wav.header.fields.sampleRate);
  if (frameLength == 0) {
    result.message = MessageId::SasSettingsCorrupted;
    result.result = LongOperationResult::Failed;
    return result;
  }
  const WalkParameters parameters = WalkFor(wav, sas, request, frameLength);
  // Pitch offsets of many octaves (a damaged or random SAS) stretch the output without end.
  // An output that cannot fit a WAV is refused before anything is written; the exact walk is
  // needed only when the quick bound cannot tell.
  FrameStream frames(sas.file, header.frameCount);
  if (MayPassWavLimit(frames, parameters)) {
    CountingSink counting;
    if (Walk(frames, sas.links, parameters, counting).full) {
      result.message = MessageId::OutputWriteFailed;
      result.result = LongOperationResult::Failed;
      result.passesWavLimit = true;
      return result;
    }
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

  SampleStream samples(
      wav, request.formants == Formants::Keep ? FormantSink::WindowLength(frameLength) : segmentLength);
  OutputWriter writer(file, blockAlign, outputCapacity);
  WalkEnd walked;
  if (request.formants == Formants::Keep) {
    FormantSink sink(samples, writer, frames, frameLength, wav.header.fields.sampleRate,
                     SilenceLevel(header.settings.silenceThreshold), progress);
    walked = Walk(frames, sas.links, parameters, sink);
    sink.Finish(walked.outPos);
  } else {
    RenderSink sink(samples, writer, frameLength, segmentLength, outputCapacity, progress);
    walked = Walk(frames, sas.links, parameters, sink);
    sink.Flush();
  }

  const auto outputSamples = static_cast<std::uint32_t>(walked.outPos - request.start);
  WavHeader outputHeader = wav.header;
  outputHeader.SetDataSize(outputSamples * blockAlign);
  const auto image = outputHeader.Serialise();
  // Reaching the limit here would mean the file changed since the walk above; the output is
  // then not written rather than cut short.
  const bool written =
      !walked.full && file.Seek(0) && file.Write(image.data(), image.size()) && !writer.Failed();
  const OutputFile::LongEnd ending = target.FinishLong(written, walked.aborted, request.keepWhenCancelled);
  result.outputSamples = ending.kept ? outputSamples : 0;
  result.message = ending.message;
  result.result = ending.result;
  result.passesWavLimit = walked.full;
  return result;
}

}  // namespace vocara
