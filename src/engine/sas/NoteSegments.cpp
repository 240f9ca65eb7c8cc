#include "engine/sas/NoteSegments.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "engine/sas/SasDocument.h"

namespace vocara {

namespace {

constexpr double LowPassSeconds = 0.150;      // one moving average; the note low-pass applies it twice
constexpr double SteadyCentsPerSecond = 250;  // faster moves of the smoothed pitch are glides
constexpr double CoreSeconds = 0.060;         // a note holds still at least this long
constexpr double GlideCentsPerSecond = 1500;  // faster moves towards the next note are a glide
constexpr double SameNoteCents = 50;          // cores this close are one note

// A centred moving average over 2 x half + 1 values, cut short at the ends, from x into y.
void MovingAverage(std::span<const double> x, int half, std::span<double> y) {
  const auto n = static_cast<std::int64_t>(x.size());
  if (n == 0) return;
  double sum = 0;
  std::int64_t lo = 0;  // the window holds x[lo .. hi)
  std::int64_t hi = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    const std::int64_t wantLo = std::max<std::int64_t>(0, i - half);
    const std::int64_t wantHi = std::min<std::int64_t>(n, i + half + 1);
    while (hi < wantHi) sum += x[static_cast<std::size_t>(hi++)];
    while (lo < wantLo) sum -= x[static_cast<std::size_t>(lo++)];
    y[static_cast<std::size_t>(i)] = sum / static_cast<double>(hi - lo);
  }
}

// Where a note changes from one sung around `from` to one around `to`, between frames lo and
// hi (lo < hi): the last frame from which the pitch lies closer to the new note (hi when none
// does), moved back over the glide that leads there (steps towards the new note faster than
// glideStep), so the glide belongs to the note it lands on.
std::size_t NoteChange(std::span<const double> pitch, std::size_t lo, std::size_t hi, double from, double to,
                       double glideStep) {
  hi = std::min(hi, pitch.size() - 1);
  if (lo >= hi) return hi;
  const auto closerToNew = [&](std::size_t i) { return std::abs(pitch[i] - to) < std::abs(pitch[i] - from); };
  std::size_t cut = hi;
  while (cut > lo && closerToNew(cut - 1)) --cut;
  if (!closerToNew(cut)) return hi;
  const double direction = to > from ? 1.0 : -1.0;
  while (cut > lo && (pitch[cut] - pitch[cut - 1]) * direction > glideStep) --cut;
  return cut;
}

}  // namespace

double SasFrameRate(const SasHeader& header) {
  if (header.frameLength == 0 || header.sampleRate == 0) return 0;
  return static_cast<double>(header.sampleRate) / static_cast<double>(header.frameLength);
}

double SilenceLevel(double silenceThresholdPercent) { return silenceThresholdPercent * 4294967295.0 * 0.01; }

bool VoicedFrame(const SasFrame& frame, double silenceLevel) {
  return frame.sourcePitch > 0 && !frame.TimeCorrectionOff() && frame.Amplitude() > silenceLevel;
}

int NoteLowPassHalfWidth(double frameRate) {
  const double half = std::round(LowPassSeconds * frameRate * 0.5);
  return half >= 1 && half < 1e6 ? static_cast<int>(half) : 1;
}

void NoteLowPass(std::span<double> x, int half, std::span<double> scratch) {
  const std::span<double> y = scratch.first(x.size());
  MovingAverage(x, half, y);
  MovingAverage(y, half, x);
}

void SplitNotes(std::span<const double> pitch, double frameRate, std::span<double> smoothed,
                std::span<double> scratch, std::vector<NoteSegment>& segments) {
  segments.clear();
  const std::size_t n = pitch.size();
  if (n == 0) return;
  const std::span<double> s = smoothed.first(n);
  std::copy(pitch.begin(), pitch.end(), s.begin());
  NoteLowPass(s, NoteLowPassHalfWidth(frameRate), scratch);

  // Steady frames: the smoothed pitch's slope over the two neighbours.
  const double rate = frameRate > 0 ? frameRate : 1;
  const double steadyStep = SteadyCentsPerSecond / rate;  // cents per frame
  const auto steady = [&](std::size_t i) {
    const std::size_t a = i == 0 ? 0 : i - 1;
    const std::size_t b = std::min(n - 1, i + 1);
    if (a == b) return true;
    return std::abs(s[b] - s[a]) / static_cast<double>(b - a) < steadyStep;
  };
  const auto coreLength = static_cast<std::size_t>(std::max(2.0, std::ceil(CoreSeconds * rate)));
  // The smoothing reaches this far: a core ends (and the next begins) up to that far from the
  // change it smooths over, so the change itself is looked for on the pitches as sung.
  const auto reach = static_cast<std::size_t>(2 * NoteLowPassHalfWidth(frameRate) + 1);
  const double glideStep = GlideCentsPerSecond / rate;

  // Walk the cores in order; each one either joins the current note or starts the next note at
  // the first frame after the current note's last core (the glide belongs to the new note).
  bool haveNote = false;
  double noteSum = 0;  // smoothed pitches of the current note's cores
  double noteFrames = 0;
  std::size_t noteStart = 0;
  std::size_t firstCore = 0;  // of the current note
  std::size_t lastCoreEnd = 0;
  const auto u32 = [](std::size_t v) { return static_cast<std::uint32_t>(v); };
  std::size_t i = 0;
  while (i < n) {
    if (!steady(i)) {
      ++i;
      continue;
    }
    std::size_t j = i;
    double sum = 0;
    while (j < n && steady(j)) sum += s[j++];
    if (j - i >= coreLength) {
      const double mean = sum / static_cast<double>(j - i);
      if (!haveNote) {
        haveNote = true;
        firstCore = i;
      } else if (const double was = noteSum / noteFrames; std::abs(mean - was) > SameNoteCents) {
        const std::size_t cut =
            NoteChange(pitch, std::max(noteStart + 1, lastCoreEnd - std::min(lastCoreEnd, reach)), i, was,
                       mean, glideStep);
        segments.push_back({u32(noteStart), u32(cut), u32(firstCore), u32(std::min(lastCoreEnd, cut))});
        noteStart = cut;
        firstCore = std::max(i, cut);
        noteSum = 0;
        noteFrames = 0;
      }
      noteSum += sum;
      noteFrames += static_cast<double>(j - i);
      lastCoreEnd = j;
    }
    i = j;
  }
  if (haveNote) {
    segments.push_back({u32(noteStart), u32(n), u32(firstCore), u32(lastCoreEnd)});
  } else {
    segments.push_back({0, u32(n), 0, u32(n)});
  }
}

double WeightedMedian(std::span<const double> values, std::span<const double> weights,
                      std::span<std::uint32_t> order) {
  const std::size_t n = values.size();
  if (n == 0) return 0;
  const std::span<std::uint32_t> index = order.first(n);
  std::iota(index.begin(), index.end(), 0u);
  std::sort(index.begin(), index.end(), [&](std::uint32_t a, std::uint32_t b) {
    return values[a] < values[b] || (values[a] == values[b] && a < b);
  });
  double total = 0;
  for (std::size_t k = 0; k < n; ++k) total += weights[k];
  const bool counted = !(total > 0);
  if (counted) total = static_cast<double>(n);
  double sum = 0;
  for (const std::uint32_t k : index) {
    sum += counted ? 1.0 : weights[k];
    if (sum >= total * 0.5) return values[k];
  }
  return values[index[n - 1]];
}

double VibratoDepth(std::span<const double> pitch, int half, std::span<double> scratch) {
  const std::size_t n = pitch.size();
  if (n == 0) return 0;
  const std::span<double> slow = scratch.first(n);
  std::copy(pitch.begin(), pitch.end(), slow.begin());
  NoteLowPass(slow, half, scratch.subspan(n, n));
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = pitch[i] - slow[i];
    sum += d * d;
  }
  return std::sqrt(2.0 * sum / static_cast<double>(n));
}

bool ForEachVoicedRun(SasDocument& document, std::uint32_t first, std::uint32_t end, double silenceLevel,
                      const VoicedRunVisitor& visit, bool writeBack, const FrameChangeSink& sink,
                      const ProgressCallback& progress) {
  if (!document.file.IsOpen()) return false;
  if (writeBack && document.readOnly) return false;
  end = std::min(end, document.header.frameCount);
  first = std::min(first, end);

  constexpr std::size_t BlockFrames = 1280;
  std::vector<std::uint8_t> bytes(BlockFrames * SasFrame::ByteSize);
  std::vector<SasFrame> run;
  std::vector<SasFrame> original;
  run.reserve(std::min<std::size_t>(MaxRunFrames, end - first));
  std::uint32_t runFirst = 0;

  std::vector<std::uint8_t> out(BlockFrames * SasFrame::ByteSize);
  // Writes run[k .. e) back, in pieces of at most a block.
  const auto writeSpan = [&](std::size_t k, std::size_t e) {
    for (std::size_t piece = k; piece < e; piece += BlockFrames) {
      const std::size_t count = std::min(BlockFrames, e - piece);
      for (std::size_t m = 0; m < count; ++m)
        run[piece + m].SerialiseInto(out.data() + m * SasFrame::ByteSize);
      if (!document.file.Seek(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{runFirst + piece}) ||
          !document.file.Write(out.data(), count * SasFrame::ByteSize))
        return false;
    }
    return true;
  };
  const auto flush = [&]() {
    if (run.empty()) return true;
    if (writeBack) original = run;
    bool ok = visit(runFirst, run);
    if (ok && writeBack) {
      std::size_t k = 0;
      while (ok && k < run.size()) {
        if (run[k] == original[k]) {
          ++k;
          continue;
        }
        std::size_t e = k;
        for (; e < run.size() && !(run[e] == original[e]); ++e)
          if (sink) sink(runFirst + static_cast<std::uint32_t>(e), original[e], run[e]);
        ok = writeSpan(k, e);
        k = e;
      }
    }
    run.clear();
    return ok;
  };

  std::uint32_t at = first;
  while (at < end) {
    if (progress && !progress(at, end)) return false;
    const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::size_t>(BlockFrames, end - at));
    const std::size_t want = std::size_t{count} * SasFrame::ByteSize;
    if (!document.file.Seek(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{at}) ||
        document.file.Read(bytes.data(), want) != want)
      return false;
    // The block is parsed before any write reuses the buffer.
    std::array<SasFrame, BlockFrames> block;
    for (std::uint32_t k = 0; k < count; ++k)
      block[k] = SasFrame::ParseFrom(bytes.data() + k * SasFrame::ByteSize);
    for (std::uint32_t k = 0; k < count; ++k) {
      const SasFrame& frame = block[k];
      if (VoicedFrame(frame, silenceLevel)) {
        if (run.empty()) runFirst = at + k;
        run.push_back(frame);
        if (run.size() == MaxRunFrames && !flush()) return false;
      } else if (!flush()) {
        return false;
      }
    }
    at += count;
  }
  return flush() && (!writeBack || document.file.Flush());
}

}  // namespace vocara
