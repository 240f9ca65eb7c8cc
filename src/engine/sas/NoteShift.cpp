#include "engine/sas/NoteShift.h"

#include <algorithm>
#include <cmath>

#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"

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

bool SasShiftNotes(SasDocument& document, std::vector<NoteShift> shifts, double retuneMs,
                   const FrameChangeSink& sink) {
  std::sort(shifts.begin(), shifts.end(),
            [](const NoteShift& a, const NoteShift& b) { return a.first < b.first; });
  for (std::size_t k = 1; k < shifts.size(); ++k)
    if (shifts[k].first < shifts[k - 1].end) return false;
  std::erase_if(shifts, [](const NoteShift& s) { return s.end <= s.first || s.cents == 0.0; });
  if (document.readOnly) return false;
  if (shifts.empty()) return true;
  const double silenceLevel = SilenceLevel(document.header.settings.silenceThreshold);
  const double frameRate = SasFrameRate(document.header);
  const double retune = std::isfinite(retuneMs) ? std::clamp(retuneMs, 0.0, 1000.0) : 0.0;
  const auto ramp = static_cast<std::int64_t>(std::lround(retune * frameRate / 1000.0));
  std::uint32_t first = shifts.front().first;
  std::uint32_t end = shifts.back().end;
  if (!WidenToWholeRuns(document, first, end, silenceLevel)) return false;
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
          const double target = std::clamp(std::round(pitch + offsets[i]), 0.0, double{HighestTargetPitch});
          run[i].targetPitch = static_cast<std::uint16_t>((run[i].targetPitch & TimeCorrectionOffBit) |
                                                          static_cast<std::uint16_t>(target));
        }
        return true;
      },
      true, sink);
}

}  // namespace vocara
