// The resampling render, Correct's default, and the output length; the walk itself is in
// CorrectWalk.h and the formant-keeping render in FormantRender.cpp.

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
#include "engine/processing/CorrectWalk.h"
#include "engine/processing/FormantRender.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace vocara {

using namespace render;

namespace {

// The rendered samples reach the system in pieces this large: a few large writes cost far less
// than one a frame, and each leaves at most two of the file's pages partly written.
constexpr std::size_t OutputBufferBytes = std::size_t{1} << 20;

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
  file.BufferWrites(OutputBufferBytes);
  file.Seek(WavHeader::ByteSize);  // the header is written last

  const unsigned blockAlign = wav.BlockAlign();
  // The segment holds a frame and its next sample, plus one appended period (P < frameLength).
  const std::size_t segmentLength = 2 * std::size_t{frameLength} + 1;
  // Output is flushed per frame and also whenever the buffer fills, so a strong lowering of
  // the pitch (many output samples per input sample) never overruns it.
  const std::size_t outputCapacity = 2 * segmentLength;

  SampleStream samples(wav,
                       request.formants == Formants::Keep ? FormantWindowLength(frameLength) : segmentLength);
  OutputWriter writer(file, blockAlign, outputCapacity);
  WalkEnd walked;
  if (request.formants == Formants::Keep) {
    walked = RenderKeepingFormants(
        samples, writer, frames, sas.links, parameters, SilenceLevel(header.settings.silenceThreshold),
        std::clamp(request.formantShift, -MaxFormantShift, MaxFormantShift), progress);
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
