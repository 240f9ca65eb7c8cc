#include "engine/sas/SasBuild.h"

#include <algorithm>
#include <new>
#include <vector>

#include "base/FileHandle.h"
#include "base/OutputFile.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/BlockAnalyser.h"
#include "engine/sas/BlockRunner.h"
#include "engine/sas/SasRecords.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

enum class FramesOutcome { Done, Cancelled, WriteFailed };

bool Continue(const ProgressCallback& progress, std::uint64_t position, std::uint64_t total) {
  return !progress || progress(position, total);
}

FramesOutcome ReferenceFrames(WavDocument& wav, const GeneralSettings& settings, std::uint32_t windowLength,
                              std::uint32_t frameLength, std::uint32_t frameCount, FileHandle& file,
                              const ProgressCallback& progress) {
  std::vector<double> window(std::size_t{windowLength} + 1);
  NoteSpectrum spectrum;
  const std::uint32_t rate = wav.header.fields.sampleRate;
  const std::uint32_t w = windowLength;
  const std::uint32_t h = frameLength;
  for (std::uint32_t i = 0; i < frameCount; ++i) {
    const std::uint32_t pos = i * h;
    if (!Continue(progress, pos, wav.sampleCount)) return FramesOutcome::Cancelled;
    LoadAnalysisWindow(wav, pos, window);
    double lo = 2147483647.0;
    double hi = -2147483648.0;
    for (std::uint32_t k = (w - h) / 2; k < (w + h) / 2; ++k) {
      if (window[k] < lo) lo = window[k];
      if (window[k] > hi) hi = window[k];
    }
    DetectNote(spectrum, window, rate, settings);
    SasFrame frame;
    frame.sourcePitch = FramePitch(spectrum.detected, spectrum.fine);
    frame.targetPitch = frame.sourcePitch;
    frame.minSample = static_cast<std::int32_t>(lo);
    frame.maxSample = static_cast<std::int32_t>(hi);
    frame.targetAmplitude =
        static_cast<std::uint32_t>(frame.maxSample) - static_cast<std::uint32_t>(frame.minSample);
    const auto bytes = frame.Serialise();
    if (!file.Write(bytes.data(), bytes.size())) return FramesOutcome::WriteFailed;
  }
  return FramesOutcome::Done;
}

FramesOutcome BlockFrames(WavDocument& wav, const GeneralSettings& settings, const SasBuildOptions& options,
                          FileHandle& file, const ProgressCallback& progress) {
  const KernelWidth width = KernelWidthAvailable(options.width) ? options.width : KernelWidth::Portable;
  const AnalysisPlan plan = MakeAnalysisPlan(wav, settings, width);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(plan.blockFrames) * SasFrame::ByteSize);
  FramesOutcome outcome = FramesOutcome::Done;
  RunBlocks(wav, plan, 0, plan.frameCount, options.workers,
            [&](std::uint32_t firstFrame, std::span<const SasFrame> frames) {
              for (std::size_t j = 0; j < frames.size(); ++j) {
                const std::uint64_t pos = (std::uint64_t{firstFrame} + j) * plan.frameLength;
                if (!Continue(progress, pos, plan.sampleCount)) {
                  outcome = FramesOutcome::Cancelled;
                  return false;
                }
                frames[j].SerialiseInto(bytes.data() + j * SasFrame::ByteSize);
              }
              if (!file.Write(bytes.data(), frames.size() * SasFrame::ByteSize)) {
                outcome = FramesOutcome::WriteFailed;
                return false;
              }
              return true;
            });
  return outcome;
}
}  // namespace

SasBuildResult SasBuildFile(WavDocument& wav, const GeneralSettings& settings, const std::string& outPath,
                            const ProgressCallback& progress, const SasBuildOptions& options) {
  SasBuildResult result;
  OutputFile output;
  if (const MessageId refused = output.Begin(outPath, {wav.path}); refused != MessageId::None) {
    result.message = refused;
    result.result = LongOperationResult::Failed;
    return result;
  }
  FileHandle& file = output.File();

  const std::uint32_t count = wav.sampleCount;
  const std::uint32_t windowLength = AnalysisWindowLength(settings.lowestNote, wav.header.fields.sampleRate);
  const std::uint32_t frameLength = AnalysisFrameLength(windowLength, settings.chunkPeriods);
  const std::uint32_t frameCount = frameLength == 0 ? 0 : count / frameLength;
  result.frameCount = frameCount;
  result.frameLength = frameLength;

  SasHeader header;
  header.frameCount = frameCount;
  header.linkCount = 2;
  header.frameLength = frameLength;
  header.sampleRate = wav.header.fields.sampleRate;
  header.wavChecksum = wav.checksum;
  header.settings = settings;
  const auto headerBytes = header.Serialise();
  FramesOutcome outcome = FramesOutcome::WriteFailed;
  if (file.Write(headerBytes.data(), headerBytes.size())) {
    try {
      outcome = options.engine == AnalysisEngine::Reference
                    ? ReferenceFrames(wav, settings, windowLength, frameLength, frameCount, file, progress)
                    : BlockFrames(wav, settings, options, file, progress);
    } catch (const std::bad_alloc&) {
      // Only a sample rate far beyond any real recording asks for more than memory holds.
      outcome = FramesOutcome::WriteFailed;
    }
  }

  if (outcome == FramesOutcome::Done) {
    const auto first = TimeLink{0, 0}.Serialise();
    const auto last = TimeLink{count, count}.Serialise();
    if (!file.Write(first.data(), first.size()) || !file.Write(last.data(), last.size()))
      outcome = FramesOutcome::WriteFailed;
  }
  const OutputFile::LongEnd ending =
      output.FinishLong(outcome != FramesOutcome::WriteFailed, outcome == FramesOutcome::Cancelled);
  result.message = ending.message;
  result.result = ending.result;
  return result;
}

}  // namespace vocara
