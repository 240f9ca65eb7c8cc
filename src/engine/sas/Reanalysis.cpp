#include "engine/sas/Reanalysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <utility>

#include "engine/sas/BlockAnalyser.h"
#include "engine/sas/BlockRunner.h"
#include "engine/sas/NoteSegments.h"
#include "engine/wav/WavDocument.h"

namespace vocara {

namespace {

constexpr double JumpTolerance = 100;  // cents either way of an octave or a fifth
constexpr double JumpSeconds = 0.250;  // longer runs are taken as sung
constexpr int RepairHalfRange = 1;     // notes either side of the neighbours' note
constexpr double RepairReach = 150;    // cents from the neighbours' note a repaired frame may lie

bool Continue(const ProgressCallback& progress, std::uint64_t done, std::uint64_t total) {
  return !progress || progress(done, total);
}

bool ReadFrames(SasDocument& sas, std::uint32_t first, std::span<SasFrame> frames,
                std::vector<std::uint8_t>& bytes) {
  bytes.resize(frames.size() * SasFrame::ByteSize);
  if (!sas.file.Seek(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{first}) ||
      sas.file.Read(bytes.data(), bytes.size()) != bytes.size())
    return false;
  for (std::size_t k = 0; k < frames.size(); ++k)
    frames[k] = SasFrame::ParseFrom(bytes.data() + k * SasFrame::ByteSize);
  return true;
}

// An interval of about an octave or a fifth, either way.
bool JumpInterval(double cents) {
  const double d = std::abs(cents);
  return std::abs(d - 1200) <= JumpTolerance || std::abs(d - 700) <= JumpTolerance;
}

// Measures frames first <= i < end again with `settings` and puts each back through `accept`,
// which decides the new record (or keeps the old one); changed records are written back.
template <typename Accept>
bool MeasureAgain(WavDocument& wav, SasDocument& sas, const GeneralSettings& settings, std::uint32_t first,
                  std::uint32_t end, const FrameChangeSink& sink, const ProgressCallback& progress,
                  Accept accept) {
  std::vector<SasFrame> old;
  std::vector<std::uint8_t> bytes;
  std::vector<std::pair<std::uint32_t, SasFrame>> changed;
  bool ok = true;
  const bool analysed = AnalyseFrames(
      wav, settings, sas.header.frameLength, first, end,
      [&](std::uint32_t blockFirst, std::span<const SasFrame> measured) {
        if (!ok) return;
        old.resize(measured.size());
        if (!ReadFrames(sas, blockFirst, old, bytes)) {
          ok = false;
          return;
        }
        changed.clear();
        for (std::size_t k = 0; k < measured.size(); ++k) {
          const SasFrame now = accept(old[k], measured[k]);
          if (now == old[k]) continue;
          const auto index = blockFirst + static_cast<std::uint32_t>(k);
          if (sink) sink(index, old[k], now);
          changed.emplace_back(index, now);
        }
        if (!changed.empty() && !SasWriteFrames(sas, changed)) ok = false;
      },
      progress);
  return analysed && ok;
}

}  // namespace

bool AnalyseFrames(WavDocument& wav, const GeneralSettings& settings, std::uint32_t frameLength,
                   std::uint32_t first, std::uint32_t end, const AnalysedFramesSink& sink,
                   const ProgressCallback& progress) {
  if (frameLength == 0 || !wav.file.IsOpen()) return false;
  AnalysisPlan plan = MakeAnalysisPlan(wav, settings, BestKernelWidth());
  // The SAS's hop, not the one this note range would choose: the frames stay where they were.
  plan.frameLength = frameLength;
  plan.frameCount = plan.sampleCount / frameLength;
  end = std::min(end, plan.frameCount);
  first = std::min(first, end);
  try {
    return RunBlocks(wav, plan, first, end, -1,
                     [&](std::uint32_t blockFirst, std::span<const SasFrame> frames) {
                       if (!Continue(progress, blockFirst, end)) return false;
                       sink(blockFirst, frames);
                       return true;
                     });
  } catch (const std::bad_alloc&) {
    return false;
  }
}

SasFrame ReanalysedFrame(const SasFrame& old, const SasFrame& measured) {
  SasFrame frame = old;
  const int moved = static_cast<int>(measured.sourcePitch) - static_cast<int>(old.sourcePitch);
  const int target = std::clamp(static_cast<int>(old.TargetPitch()) + moved, 0, HighestTargetPitch);
  frame.sourcePitch = measured.sourcePitch;
  frame.targetPitch = static_cast<std::uint16_t>((old.targetPitch & TimeCorrectionOffBit) | target);
  frame.minSample = measured.minSample;
  frame.maxSample = measured.maxSample;
  return frame;
}

bool SasReanalyse(WavDocument& wav, SasDocument& sas, std::uint32_t first, std::uint32_t end, int lowestNote,
                  int highestNote, const FrameChangeSink& sink, const ProgressCallback& progress) {
  if (!sas.file.IsOpen() || sas.readOnly) return false;
  GeneralSettings settings = sas.header.settings;
  settings.lowestNote = std::clamp(std::min(lowestNote, highestNote), 0, 87);
  settings.highestNote = std::clamp(std::max(lowestNote, highestNote), 0, 87);
  end = std::min(end, sas.header.frameCount);
  first = std::min(first, end);
  return MeasureAgain(
             wav, sas, settings, first, end, sink, progress,
             [](const SasFrame& old, const SasFrame& measured) { return ReanalysedFrame(old, measured); }) &&
         sas.file.Flush();
}

bool FindPitchJumps(SasDocument& sas, std::uint32_t first, std::uint32_t end, std::vector<PitchJump>& jumps,
                    std::size_t limit) {
  jumps.clear();
  const auto longest =
      static_cast<std::size_t>(std::max(1.0, std::floor(JumpSeconds * SasFrameRate(sas.header))));
  const auto visit = [&](std::uint32_t runFirst, std::span<SasFrame> run) {
    if (jumps.size() >= limit) return true;
    const auto pitch = [&](std::size_t i) { return static_cast<double>(run[i].sourcePitch); };
    ForEachPitchJump(
        run.size(), pitch, longest, JumpTolerance,
        [](double from, double to) { return JumpInterval(to - from); },
        [&](std::size_t r, std::size_t m) {
          const int note = std::clamp(static_cast<int>(std::lround((pitch(r) + pitch(m)) / 200)), 0, 87);
          jumps.push_back(
              {runFirst + static_cast<std::uint32_t>(r + 1), runFirst + static_cast<std::uint32_t>(m), note});
          return jumps.size() < limit;
        });
    return true;
  };
  return ForEachVoicedRun(sas, first, end, SilenceLevel(sas.header.settings.silenceThreshold), visit);
}

bool SasRepairOctaveJumps(WavDocument& wav, SasDocument& sas, std::uint32_t first, std::uint32_t end,
                          const FrameChangeSink& sink, std::uint32_t* repaired,
                          const ProgressCallback& progress) {
  if (repaired) *repaired = 0;
  if (!sas.file.IsOpen() || sas.readOnly) return false;
  std::vector<PitchJump> jumps;
  if (!FindPitchJumps(sas, first, end, jumps)) return false;
  std::vector<std::uint8_t> bytes;
  for (const PitchJump& jump : jumps) {
    if (!Continue(progress, jump.first, end)) return false;
    // The jumped frames take the correction of the note around them: their own target was set
    // against a source an octave (or a fifth) away, so keeping it would keep the jump.
    std::array<SasFrame, 2> neighbours;
    if (!ReadFrames(sas, jump.first - 1, std::span(neighbours).first(1), bytes) ||
        !ReadFrames(sas, jump.end, std::span(neighbours).last(1), bytes))
      return false;
    const auto correction = [](const SasFrame& f) { return int{f.TargetPitch()} - int{f.sourcePitch}; };
    const int noteCorrection =
        static_cast<int>(std::lround((correction(neighbours[0]) + correction(neighbours[1])) / 2.0));
    GeneralSettings settings = sas.header.settings;
    settings.lowestNote = std::clamp(jump.note - RepairHalfRange, 0, 87);
    settings.highestNote = std::clamp(jump.note + RepairHalfRange, 0, 87);
    const double centre = jump.note * 100.0;
    const bool ok = MeasureAgain(
        wav, sas, settings, jump.first, jump.end, sink, {},
        [&](const SasFrame& old, const SasFrame& measured) {
          const double now = std::abs(measured.sourcePitch - centre);
          if (measured.sourcePitch == 0 || now > RepairReach || now >= std::abs(old.sourcePitch - centre))
            return old;
          if (repaired) ++*repaired;
          SasFrame frame = ReanalysedFrame(old, measured);
          const int target = std::clamp(measured.sourcePitch + noteCorrection, 0, HighestTargetPitch);
          frame.targetPitch = static_cast<std::uint16_t>((old.targetPitch & TimeCorrectionOffBit) | target);
          return frame;
        });
    if (!ok) return false;
  }
  return sas.file.Flush();
}

}  // namespace vocara
