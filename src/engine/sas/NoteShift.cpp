#include "engine/sas/NoteShift.h"

#include <algorithm>
#include <cmath>

#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"

namespace vocara {

void RunOffsets(std::uint32_t runFirst, std::span<const NoteShift> shifts, std::int64_t rampFrames,
                std::span<double> offsets, std::vector<double>& scratch) {
  const std::size_t n = offsets.size();
  std::fill(offsets.begin(), offsets.end(), 0.0);
  const std::uint64_t runEnd = std::uint64_t{runFirst} + n;
  // The first shift that may reach into the run, then every one that does.
  auto shift = std::lower_bound(shifts.begin(), shifts.end(), runFirst,
                                [](const NoteShift& s, std::uint32_t frame) { return s.end <= frame; });
  for (; shift != shifts.end() && shift->first < runEnd; ++shift) {
    const std::uint32_t from = std::max(shift->first, runFirst) - runFirst;
    const auto to = static_cast<std::size_t>(std::min<std::uint64_t>(shift->end, runEnd) - runFirst);
    std::fill(offsets.begin() + from, offsets.begin() + static_cast<std::ptrdiff_t>(to), shift->cents);
  }
  if (rampFrames < 2 || n < 2) return;
  // Ramps from the plain offsets, each inside the two stretches of one offset it joins.
  scratch.assign(offsets.begin(), offsets.end());
  std::size_t before = 0;  // first frame of the stretch before the boundary
  for (std::size_t b = 1; b < n; ++b) {
    if (scratch[b] == scratch[b - 1]) continue;
    std::size_t after = b + 1;  // end of the stretch after it
    while (after < n && scratch[after] == scratch[b]) ++after;
    const double low = scratch[b - 1];
    const double high = scratch[b];
    const std::int64_t start = static_cast<std::int64_t>(b) - rampFrames / 2;
    const std::int64_t stop = std::min<std::int64_t>(start + rampFrames, static_cast<std::int64_t>(after));
    for (std::int64_t i = std::max<std::int64_t>(start, static_cast<std::int64_t>(before)); i < stop; ++i) {
      const double t = (static_cast<double>(i - start) + 0.5) / static_cast<double>(rampFrames);
      offsets[static_cast<std::size_t>(i)] = low + (high - low) * t;
    }
    before = b;
  }
}

namespace {

// Sorted by first; false when two overlap.
bool SortNotes(std::vector<NoteShift>& notes) {
  std::sort(notes.begin(), notes.end(),
            [](const NoteShift& a, const NoteShift& b) { return a.first < b.first; });
  for (std::size_t k = 1; k < notes.size(); ++k)
    if (notes[k].first < notes[k - 1].end) return false;
  return true;
}

// The notes sorted with the empty ones dropped, and frames first <= i < end over them widened to
// whole voiced runs. False when notes overlap, the document is open for reading only, or a read
// failed; with no notes left, true and an empty stretch.
bool NotesToChange(SasDocument& document, std::vector<NoteShift>& notes, double silenceLevel,
                   std::uint32_t& first, std::uint32_t& end) {
  if (!SortNotes(notes) || document.readOnly) return false;
  std::erase_if(notes, [](const NoteShift& s) { return s.end <= s.first; });
  first = end = 0;
  if (notes.empty()) return true;
  first = notes.front().first;
  end = notes.back().end;
  return WidenToWholeRuns(document, first, end, silenceLevel);
}

}  // namespace

bool SasShiftNotes(SasDocument& document, std::vector<NoteShift> shifts, double retuneMs,
                   const FrameChangeSink& sink) {
  std::erase_if(shifts, [](const NoteShift& s) { return s.cents == 0.0; });
  const double silenceLevel = SilenceLevel(document.header.settings.silenceThreshold);
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  if (!NotesToChange(document, shifts, silenceLevel, first, end)) return false;
  if (shifts.empty()) return true;
  const double frameRate = SasFrameRate(document.header);
  const double retune = std::isfinite(retuneMs) ? std::clamp(retuneMs, 0.0, 1000.0) : 0.0;
  const auto ramp = static_cast<std::int64_t>(std::lround(retune * frameRate / 1000.0));
  std::vector<double> offsets;
  std::vector<double> scratch;
  return ForEachVoicedRun(
      document, first, end, silenceLevel,
      [&](std::uint32_t runFirst, std::span<SasFrame> run) {
        offsets.resize(run.size());
        RunOffsets(runFirst, shifts, ramp, offsets, scratch);
        for (std::size_t i = 0; i < run.size(); ++i) {
          if (offsets[i] == 0.0) continue;
          const double pitch = run[i].targetPitch & ~TimeCorrectionOffBit;
          run[i].targetPitch = WithTargetPitch(run[i].targetPitch, pitch + offsets[i]);
        }
        return true;
      },
      true, sink);
}

bool SasShapeNotes(SasDocument& document, std::vector<NoteShift> notes, double drift, double vibrato,
                   const FrameChangeSink& sink) {
  ScaleSnapParams shape;
  shape.scale = ScaleKind::Chromatic;
  shape.centre = 0;  // the note stays where it is
  shape.drift = drift;
  shape.vibrato = vibrato;
  shape = ClampScaleSnapParams(shape);
  const SnapContext context{SasFrameRate(document.header),
                            SilenceLevel(document.header.settings.silenceThreshold)};
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  if (!NotesToChange(document, notes, context.silenceLevel, first, end)) return false;
  if (notes.empty()) return true;
  SnapWork work;
  std::vector<SasFrame> shaped;
  std::vector<double> offsets;
  std::vector<double> scratch;
  const int half = NoteLowPassHalfWidth(context.frameRate);
  return ForEachVoicedRun(
      document, first, end, context.silenceLevel,
      [&](std::uint32_t runFirst, std::span<SasFrame> run) {
        // The shape of the whole run as sung (its notes split as Snap splits them), then taken
        // over by the chosen notes only.
        shaped.assign(run.begin(), run.end());
        SnapRun(shaped, shape, context, work);
        const std::uint64_t runEnd = std::uint64_t{runFirst} + run.size();
        for (const NoteShift& note : notes) {
          if (note.end <= runFirst || note.first >= runEnd) continue;
          const std::size_t from = std::max(note.first, runFirst) - runFirst;
          const auto to = static_cast<std::size_t>(std::min<std::uint64_t>(note.end, runEnd) - runFirst);
          // Where the note's targets stand now, frame by frame and without any swing of their
          // own: the offset of target over source through the note low-pass. A constant offset
          // and the ramps into the neighbours stay; a vibrato an earlier shape changed does not
          // add up with this one.
          offsets.clear();
          for (std::size_t i = from; i < to; ++i)
            offsets.push_back(static_cast<double>(run[i].targetPitch & ~TimeCorrectionOffBit) -
                              run[i].sourcePitch);
          scratch.resize(offsets.size());
          NoteLowPass(offsets, half, scratch);
          for (std::size_t i = from; i < to; ++i) {
            const double shapedTarget = shaped[i].targetPitch & ~TimeCorrectionOffBit;
            // The new shape fades in and out over the low-pass's half width at the note's
            // edges, where the targets meet the glides and ramps to the neighbours unchanged.
            const double edge = static_cast<double>(std::min(i - from, to - 1 - i)) + 0.5;
            const double weight = std::min(1.0, edge / static_cast<double>(half));
            const double target = run[i].targetPitch & ~TimeCorrectionOffBit;
            run[i].targetPitch = WithTargetPitch(
                run[i].targetPitch, target + weight * (shapedTarget + offsets[i - from] - target));
          }
        }
        return true;
      },
      true, sink);
}

}  // namespace vocara
