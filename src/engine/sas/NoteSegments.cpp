#include "engine/sas/NoteSegments.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

#include "engine/sas/SasDocument.h"

namespace vocara {

namespace {

constexpr double LowPassSeconds = 0.150;       // one moving average; the note low-pass applies it twice
constexpr double SteadyCentsPerSecond = 250;   // faster moves of the smoothed pitch are no held level
constexpr double HeldSeconds = 0.060;          // a note holds its level at least this long
constexpr double LevelSeconds = 0.250;         // levels compared over a whole vibrato cycle at 4 Hz
constexpr double LevelChangeCents = 20;        // the smoothed level moved at least this far
constexpr double SameNoteCents = 25;           // held parts closer than this are one note
constexpr double TouchSeconds = 0.020;         // the light smoothing: noise out, vibrato and steps in
constexpr double FlatCents = 15;               // a flat hold stays inside this range ...
constexpr double FlatSeconds = 0.070;          // ... at least this long (a vibrato crest does not)
constexpr double JumpCents = 50;               // flat holds this far apart are two notes
constexpr double HeldBandCents = 20;           // the held part: where the pitch is this close to the level
constexpr double MaxGlideSeconds = 0.100;      // a cut moves back over a glide at most this far
constexpr double HeldTrimSeconds = 0.030;      // the held part keeps this far from a glide
constexpr double GlideSeconds = 0.060;         // a glide between held notes takes about this long
constexpr double StepCents = 12;               // held levels this far apart on two notes are two notes
constexpr std::size_t SpikeReach = 4;          // frames either side of the median a slip is told by
constexpr double SpikeCents = 50;              // a frame this far from that median is a slip
constexpr double ShortestNoteSeconds = 0.075;  // a voiced run shorter than this holds no note
constexpr double FallSeconds = 0.250;          // a fall at a phrase's end lasts less than this ...
constexpr double FallCents = 30;               // ... and falls at least this far
constexpr double StillCents = 5;               // a pitch this close to its level holds still
constexpr long LongGlideNotes = 3;
constexpr double PassingCents = 30;            // a passing hold in a quick run stays inside this range ...
constexpr double PassingReachSeconds = 0.100;  // ... with the pitch this long before and after a jump away,
constexpr double PassingHeardSeconds = 0.080;  // ... where the detector hears a note over this long or longer

// The note a level is nearest to (100 cents a semitone).
long NoteOf(double cents) { return std::lround(cents / 100); }

// Whether a glide between two levels is a portamento the two notes share at its middle.
bool LongGlide(double from, double to) { return std::abs(NoteOf(to) - NoteOf(from)) >= LongGlideNotes; }

// Whether two held levels are two notes: a jump apart, or a step apart on either side of the
// middle between two semitones (a B sung sharp into a C sung flat, legato, is two notes however
// close the singer brought them).
bool TwoNotes(double from, double to, double jump) {
  const double d = std::abs(to - from);
  return d >= jump || (d >= StepCents && NoteOf(from) != NoteOf(to));
}

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

// A place where the held level moves from `from` to `to`: found at `at`, it moves back over
// the glide that leads there (the light-smoothed pitch moving on towards the new level while
// it is a quarter of the way there or further: below that, vibrato on the old note moves as
// much), not before lo and at most maxBack frames, so that the glide belongs to the note it
// lands on.
std::size_t BackOverGlide(std::span<const double> touch, std::size_t lo, std::size_t at, double from,
                          double to, std::size_t maxBack) {
  const double direction = to > from ? 1.0 : -1.0;
  std::size_t k = at;
  const double clear = std::abs(to - from) / 4;
  while (k > lo && at - k < maxBack && (touch[k] - touch[k - 1]) * direction > 0 &&
         (touch[k - 1] - from) * direction > clear)
    --k;
  return k;
}

// The first frame in lo <= i < hi at which x has crossed halfway from `from` to `to` (hi when
// it does not).
std::size_t Halfway(std::span<const double> x, std::size_t lo, std::size_t hi, double from, double to) {
  const double mid = (from + to) / 2;
  const double direction = to > from ? 1.0 : -1.0;
  for (std::size_t i = lo; i < hi; ++i)
    if ((x[i] - mid) * direction >= 0) return i;
  return hi;
}

// Where a portamento from `from` to `to` changes note: in the middle of the movement, found
// between the last frame at a quarter of the way before the pitch first reaches three quarters
// (vibrato on either note does not reach that far) and that frame, as the centre of the frames
// moving at least half as fast as the fastest. A glide moving evenly changes note in its middle;
// a leap with a scoop after it, at the leap. hi when the pitch never gets there.
std::size_t GlideMiddle(std::span<const double> touch, std::size_t lo, std::size_t hi, double from,
                        double to) {
  const double direction = to > from ? 1.0 : -1.0;
  const auto progress = [&](std::size_t i) { return (touch[i] - from) / (to - from); };
  std::size_t b = lo;
  while (b < hi && progress(b) < 0.75) ++b;
  if (b == hi) return hi;
  std::size_t a = b;
  while (a > lo && progress(a - 1) > 0.25) --a;
  if (a == lo) return b;
  --a;
  double fastest = 0;
  for (std::size_t i = a; i < b; ++i) fastest = std::max(fastest, (touch[i + 1] - touch[i]) * direction);
  double sum = 0;
  double weight = 0;
  for (std::size_t i = a; i < b; ++i) {
    const double move = (touch[i + 1] - touch[i]) * direction;
    if (move < fastest / 2) continue;
    sum += move * (static_cast<double>(i) + 0.5);
    weight += move;
  }
  return weight > 0 ? static_cast<std::size_t>(std::lround(sum / weight)) : b;
}

struct Stretch {
  std::size_t first;
  std::size_t end;
  double level;
};

// The median of x[first .. end) (the lower middle value), using work.
double Median(std::span<const double> x, std::size_t first, std::size_t end, std::span<double> work) {
  const std::span<double> v = work.first(end - first);
  std::copy(x.begin() + static_cast<std::ptrdiff_t>(first), x.begin() + static_cast<std::ptrdiff_t>(end),
            v.begin());
  const auto middle = v.begin() + static_cast<std::ptrdiff_t>((v.size() - 1) / 2);
  std::nth_element(v.begin(), middle, v.end());
  return *middle;
}

// The held part of a note: from the first to the last frame whose light-smoothed pitch lies
// within the held band of the note's level (the whole note when none does), less `trim` frames
// at either end where that leaves a held part twice the least: next to a glide the smoothing
// (and the analysis window before it) already carries some of the glide. Next to a note whose
// level lies within twice the band (a legato step, a B sung sharp into a C sung flat) the band on
// that side is a quarter of the step: the frames of the move between the two levels are in
// neither note as held.
Stretch HeldPart(std::span<const double> touch, std::size_t first, std::size_t end, double level,
                 std::size_t trim, std::size_t least, double stepBefore, double stepAfter) {
  const auto band = [](double step) { return step < 2 * HeldBandCents ? step / 4 : HeldBandCents; };
  const double bandBefore = band(stepBefore);
  const double bandAfter = band(stepAfter);
  std::size_t a = first;
  while (a < end && std::abs(touch[a] - level) > bandBefore) ++a;
  if (a == end) return {first, end, level};
  std::size_t b = end;
  while (b > a + 1 && std::abs(touch[b - 1] - level) > bandAfter) --b;
  if (b - a >= 2 * (least + trim)) {
    a += trim;
    b -= trim;
  }
  return {a, b, level};
}

}  // namespace

void ReplaceSlips(std::span<const double> pitch, std::size_t reach, double cents, std::span<double> out) {
  reach = std::min(reach, MaxSlipReach);
  const std::size_t n = pitch.size();
  std::array<double, 2 * MaxSlipReach + 1> around{};
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t a = i < reach ? 0 : i - reach;
    const std::size_t b = std::min(n, i + reach + 1);
    std::copy(pitch.begin() + static_cast<std::ptrdiff_t>(a), pitch.begin() + static_cast<std::ptrdiff_t>(b),
              around.begin());
    const auto count = static_cast<std::ptrdiff_t>(b - a);
    std::nth_element(around.begin(), around.begin() + count / 2, around.begin() + count);
    const double median = around[static_cast<std::size_t>(count / 2)];
    out[i] = std::abs(pitch[i] - median) > cents ? median : pitch[i];
  }
}

void FoldOctaveJumps(std::span<const double> pitch, double frameRate, std::span<double> out) {
  constexpr double Octave = 1200;
  constexpr double Tolerance = 100;  // cents either way of an octave, or of the note
  std::copy(pitch.begin(), pitch.end(), out.begin());
  const auto longest = static_cast<std::size_t>(std::max(1.0, std::floor(OctaveJumpSeconds * frameRate)));
  const auto octaveOff = [](double from, double to) {
    return from > 0 && std::abs(std::abs(to - from) - Octave) <= Tolerance;
  };
  ForEachPitchJump(
      pitch.size(), [&](std::size_t i) { return pitch[i]; }, longest, Tolerance, octaveOff,
      [&](std::size_t r, std::size_t m) {
        const double before = pitch[r];
        for (std::size_t i = r + 1; i < m; ++i)
          if (octaveOff(before, pitch[i])) out[i] = pitch[i] + (pitch[i] < before ? Octave : -Octave);
        return true;
      });
}

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
  const double rate = frameRate > 0 ? frameRate : 1;
  const auto frames = [&](double seconds, std::size_t least) {
    return std::max(least, static_cast<std::size_t>(std::lround(seconds * rate)));
  };
  // A voiced piece too short to hold a note (a consonant's voiced edge, a breath's catch) is no
  // note at all.
  if (n < frames(ShortestNoteSeconds, 1)) return;
  const std::size_t held = frames(HeldSeconds, 2);
  const std::size_t window = frames(LevelSeconds, 4);
  const std::size_t maxBack = frames(MaxGlideSeconds, 1);
  const std::size_t trim = frames(HeldTrimSeconds, 0);

  // The pitch with the detector's octave jumps folded back and its slips taken out (a few frames
  // of a held note read a few semitones off, an overtone's leakage at a quick change), then
  // lightly smoothed as sung: vibrato, glides and steps stay. The note low-pass runs over the
  // same pitch.
  std::vector<double> touch(n);
  FoldOctaveJumps(pitch, rate, touch);
  ReplaceSlips(touch, SpikeReach, SpikeCents, s);
  MovingAverage(s, static_cast<int>(frames(TouchSeconds / 2, 0)), touch);
  NoteLowPass(s, NoteLowPassHalfWidth(frameRate), scratch);

  // Steady frames of the note low-pass (the slope over the two neighbours): a held level with
  // vibrato of 4 Hz and faster shows as such frames. Cores: steady for a held part or longer.
  // Near the ends of the run the low-pass averages fewer frames and a scoop or a fall can look
  // steady there; those frames do not count.
  const double steadyStep = SteadyCentsPerSecond / rate;
  const auto half = static_cast<std::size_t>(NoteLowPassHalfWidth(frameRate));
  std::vector<char> steady(n);
  std::vector<double> sumBefore(n + 1, 0);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t a = i == 0 ? 0 : i - 1;
    const std::size_t b = std::min(n - 1, i + 1);
    steady[i] = n <= 2 * half || (i >= half && i + half < n && std::abs(s[b] - s[a]) < steadyStep * 2);
    sumBefore[i + 1] = sumBefore[i] + s[i];
  }
  std::vector<Stretch> cores;
  for (std::size_t a = 0; a < n;) {
    std::size_t b = a;
    while (b < n && steady[b]) ++b;
    if (b - a >= held) cores.push_back({a, b, (sumBefore[b] - sumBefore[a]) / static_cast<double>(b - a)});
    a = std::max(b, a + 1);
  }

  // Flat holds: the light-smoothed pitch inside FlatCents for FlatSeconds or longer, as the
  // short notes of a fast run are held. A vibrato crest is too short for one.
  std::vector<Stretch> flats;
  for (std::size_t a = 0; a < n;) {
    double lo = touch[a];
    double hi = touch[a];
    double sum = 0;
    std::size_t b = a;
    for (; b < n; ++b) {
      lo = std::min(lo, touch[b]);
      hi = std::max(hi, touch[b]);
      if (hi - lo > FlatCents) break;
      sum += touch[b];
    }
    if (b - a >= frames(FlatSeconds, 2)) {
      flats.push_back({a, b, sum / static_cast<double>(b - a)});
      a = b;
    } else {
      ++a;
    }
  }
  // Passing holds: a quick run sung low reaches the detector over so long a span (16.8 periods,
  // 128 ms at C3) that its 120 ms notes hold no flat level, only a slower stretch between two
  // moves the same way. Such a stretch, the pitch a jump below it before and a jump above it
  // after (or the other way), is a note; a vibrato's crest, where the pitch comes back, is not.
  {
    const std::size_t span = held;
    const std::size_t reach = frames(PassingReachSeconds, 2);
    const auto taken = [&](std::size_t a, std::size_t b) {
      const auto overlaps = [&](const Stretch& x) { return x.first < b && a < x.end; };
      return std::any_of(flats.begin(), flats.end(), overlaps) ||
             std::any_of(cores.begin(), cores.end(), overlaps);
    };
    const std::size_t found = flats.size();
    for (std::size_t a = reach; a + span + reach <= n;) {
      const std::size_t b = a + span;
      const auto [lo, hi] = std::minmax_element(touch.begin() + a, touch.begin() + b);
      const double level = (*lo + *hi) / 2;
      const double before = touch[a - reach];
      const double after = touch[b + reach - 1];
      const bool passing = (level - before >= JumpCents && after - level >= JumpCents) ||
                           (before - level >= JumpCents && level - after >= JumpCents);
      const double heard = DetectorSpanPeriods / (27.5 * std::exp2(level / 1200));
      if (*hi - *lo <= PassingCents && passing && heard >= PassingHeardSeconds && !taken(a, b)) {
        flats.push_back({a, b, level});
        a = b;
      } else {
        ++a;
      }
    }
    if (flats.size() > found)
      std::sort(flats.begin(), flats.end(),
                [](const Stretch& x, const Stretch& y) { return x.first < y.first; });
  }
  // Frames that hold a level one way or the other, counted from the start.
  std::vector<std::size_t> heldBefore(n + 1, 0);
  {
    std::vector<char> holding(steady);
    for (const Stretch& flat : flats) std::fill(holding.begin() + flat.first, holding.begin() + flat.end, 1);
    for (std::size_t i = 0; i < n; ++i) heldBefore[i + 1] = heldBefore[i] + (holding[i] ? 1 : 0);
  }
  const auto heldIn = [&](std::size_t a, std::size_t b) { return heldBefore[b] - heldBefore[a]; };

  // The held parts in order: cores, and flat holds outside them. Where a flat hold and the held
  // part next to it lie a jump apart, the note changes where the pitch crosses halfway.
  std::vector<std::pair<Stretch, bool>> parts;  // (part, flat)
  for (const Stretch& core : cores) parts.push_back({core, false});
  for (const Stretch& flat : flats) {
    const bool inCore = std::any_of(cores.begin(), cores.end(), [&](const Stretch& core) {
      return flat.first < core.end && core.first < flat.end;
    });
    if (!inCore) parts.push_back({flat, true});
  }
  std::sort(parts.begin(), parts.end(),
            [](const auto& x, const auto& y) { return x.first.first < y.first.first; });
  std::vector<std::size_t> cuts;
  for (std::size_t k = 1; k < parts.size(); ++k) {
    const Stretch& was = parts[k - 1].first;
    const Stretch& now = parts[k].first;
    if (!(parts[k - 1].second || parts[k].second) || !TwoNotes(was.level, now.level, JumpCents)) continue;
    // A step smaller than a jump is taken only between two long holds: the crest and trough of
    // a vibrato hold as flat as a short note does.
    if (std::abs(now.level - was.level) < JumpCents &&
        std::min(was.end - was.first, now.end - now.first) < 2 * frames(FlatSeconds, 2))
      continue;
    if (now.first + 1 < was.end) continue;
    // A short glide belongs to the note it lands on; a long one (a portamento) is shared.
    if (LongGlide(was.level, now.level)) {
      cuts.push_back(GlideMiddle(touch, was.end - 1, now.first + 1, was.level, now.level));
    } else {
      const std::size_t at = Halfway(touch, was.end - 1, now.first + 1, was.level, now.level);
      cuts.push_back(BackOverGlide(touch, was.end - 1, at, was.level, now.level, maxBack));
    }
  }
  std::vector<std::size_t> flatCuts = cuts;
  std::sort(flatCuts.begin(), flatCuts.end());
  const auto nearFlatCut = [&](std::size_t i) {
    const auto after = std::lower_bound(flatCuts.begin(), flatCuts.end(), i - std::min(i, window / 2));
    return after != flatCuts.end() && *after <= i + window / 2;
  };

  // Longer notes, vibrato and all: the mean of the note low-pass over a window after a frame
  // against that before it. A level change of LevelChangeCents or more, the largest around,
  // with held frames on both sides, is a cut where the low-pass crosses halfway, less half a
  // glide (the low-pass crosses in the glide's middle; vibrato hides where the glide begins).
  const std::size_t side = window / 2;
  const std::size_t edge = window * 4 / 5;  // the windows need most of their frames
  const std::size_t halfGlide = frames(GlideSeconds / 2, 0);
  const auto change = [&](std::size_t i) {
    if (i < edge || n - i < edge) return 0.0;
    const std::size_t a = i - std::min(i, window);
    const std::size_t b = std::min(n, i + window);
    return (sumBefore[b] - sumBefore[i]) / static_cast<double>(b - i) -
           (sumBefore[i] - sumBefore[a]) / static_cast<double>(i - a);
  };
  std::vector<double> levelChange(n);
  for (std::size_t i = 0; i < n; ++i) levelChange[i] = change(i);
  for (std::size_t i = side; i + side <= n; ++i) {
    const double d = std::abs(levelChange[i]);
    if (d < StepCents) continue;
    bool largest = true;
    for (std::size_t j = i - std::min(i, side); largest && j < std::min(n, i + side + 1); ++j)
      largest = j < i ? d > std::abs(levelChange[j]) : d >= std::abs(levelChange[j]);
    if (!largest || nearFlatCut(i)) continue;
    const std::size_t a = i - std::min(i, window);
    const std::size_t b = std::min(n, i + window);
    if (heldIn(a, i) < held / 2 || heldIn(i, b) < held / 2) continue;
    const double from = (sumBefore[i] - sumBefore[a]) / static_cast<double>(i - a);
    const double to = (sumBefore[b] - sumBefore[i]) / static_cast<double>(b - i);
    if (!TwoNotes(from, to, LevelChangeCents)) continue;
    const std::size_t lo = i - side;
    const std::size_t hi = std::min(n, i + side);
    // A portamento changes note in its middle (see GlideMiddle). A smaller change is seen as sung where the
    // pitch holds still on both sides (no vibrato to speak of); under vibrato through the
    // low-pass, which crosses halfway in the glide's middle, half a glide after it begins.
    const double fromSung = Median(touch, lo, i, scratch);
    const double toSung = Median(touch, i, hi, scratch);
    double wobble = 0;
    for (std::size_t j = lo; j < hi; ++j) {
      const double off = std::min(std::abs(touch[j] - fromSung), std::abs(touch[j] - toSung));
      wobble += off * off;
    }
    const bool still = std::sqrt(wobble / static_cast<double>(hi - lo)) < StillCents;
    std::size_t at = 0;
    if (LongGlide(fromSung, toSung)) {
      at = GlideMiddle(touch, lo, hi, fromSung, toSung);
    } else if (still) {
      at = BackOverGlide(touch, lo, Halfway(touch, lo, hi, fromSung, toSung), fromSung, toSung, maxBack);
    } else {
      at = Halfway(s, lo, hi, from, to);
      at = std::max(lo, at - std::min(at, halfGlide));
    }
    cuts.push_back(at);
  }
  std::sort(cuts.begin(), cuts.end());
  // Two held levels next to each other, a jump or a step across a semitone's middle apart, with
  // no cut between them yet (a short note held between two changes, too close to either for the
  // level windows): where the pitch sung crosses the middle between them once, the note changes
  // there. Vibrato on either note crossing the middle too leaves it to the windows.
  for (std::size_t k = 1; k < parts.size(); ++k) {
    const Stretch& was = parts[k - 1].first;
    const Stretch& now = parts[k].first;
    if (now.first + 1 < was.end || !TwoNotes(was.level, now.level, JumpCents)) continue;
    if (std::any_of(cuts.begin(), cuts.end(),
                    [&](std::size_t c) { return c + 1 >= was.end && c <= now.first + 1; }))
      continue;
    const double middle = (was.level + now.level) / 2;
    const double direction = now.level > was.level ? 1.0 : -1.0;
    std::size_t crossings = 0;
    std::size_t at = now.first;
    for (std::size_t j = was.first + 1; j < now.end; ++j)
      if (((touch[j - 1] - middle) * direction < 0) != ((touch[j] - middle) * direction < 0)) {
        ++crossings;
        at = j;
      }
    if (crossings != 1) continue;
    cuts.push_back(LongGlide(was.level, now.level)
                       ? GlideMiddle(touch, was.end - 1, now.first + 1, was.level, now.level)
                       : BackOverGlide(touch, was.end - 1, at, was.level, now.level, maxBack));
  }
  std::sort(cuts.begin(), cuts.end());

  // The notes between the cuts (cuts closer than a held part to each other or to an end count
  // once), each with its level: the median of its light-smoothed pitch.
  std::vector<Stretch> notes;
  std::size_t start = 0;
  for (const std::size_t c : cuts) {
    if (c < start + held || c + held > n) continue;
    notes.push_back({start, c, 0});
    start = c;
  }
  notes.push_back({start, n, 0});
  const auto measure = [&](Stretch& note) { note.level = Median(touch, note.first, note.end, scratch); };
  for (Stretch& note : notes) measure(note);
  // A stretch that holds no level (a scoop, a fall, a long glide) belongs to the note after it,
  // the last one to the note before it; two held parts nothing but vibrato or drift apart
  // (levels within SameNoteCents) are one note.
  for (std::size_t k = 0; k < notes.size() && notes.size() > 1;) {
    const bool last = k + 1 == notes.size();
    const bool holds = heldIn(notes[k].first, notes[k].end) >= held;
    const bool same = !last && std::abs(notes[k + 1].level - notes[k].level) < SameNoteCents &&
                      NoteOf(notes[k + 1].level) == NoteOf(notes[k].level);
    if (holds && !same) {
      ++k;
      continue;
    }
    const std::size_t into = last ? k - 1 : k;
    notes[into].end = notes[into + 1].end;
    notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(into) + 1);
    measure(notes[into]);
    k = into == 0 ? 0 : into - 1;
  }

  // A fall at the end of a phrase: a short last piece below the note before, still falling as the
  // voice fades (its end lower than its start), belongs to that note however it levels out.
  if (notes.size() > 1) {
    const Stretch& last = notes.back();
    const Stretch& before = notes[notes.size() - 2];
    if (last.end - last.first < frames(FallSeconds, 2) && last.level < before.level - StepCents &&
        touch[last.end - 1] < touch[last.first] - FallCents) {
      notes[notes.size() - 2].end = last.end;
      notes.pop_back();
    }
  }
  const auto u32 = [](std::size_t v) { return static_cast<std::uint32_t>(v); };
  for (std::size_t k = 0; k < notes.size(); ++k) {
    const Stretch& note = notes[k];
    const double none = std::numeric_limits<double>::infinity();
    const Stretch part = HeldPart(touch, note.first, note.end, note.level, trim, held,
                                  k > 0 ? std::abs(note.level - notes[k - 1].level) : none,
                                  k + 1 < notes.size() ? std::abs(notes[k + 1].level - note.level) : none);
    segments.push_back({u32(note.first), u32(note.end), u32(part.first), u32(part.end)});
  }
}

FrameSpan CentreSpan(const NoteSegment& segment, std::size_t runLength, double frameRate,
                     std::span<const double> pitch) {
  std::size_t a = segment.steadyFirst;
  std::size_t b = std::min<std::size_t>(segment.steadyEnd, pitch.size());
  if (b <= a) return {a, std::max(a, b)};
  const double cents = pitch[a + (b - a) / 2];
  const double hz = 27.5 * std::exp2((cents > 0 ? cents : 3900) / 1200);
  const auto reach = static_cast<std::size_t>(std::lround(0.5 * DetectorSpanPeriods / hz * frameRate));
  const auto least = static_cast<std::size_t>(std::lround(2 * HeldSeconds * frameRate));
  const std::size_t before = segment.first > 0 ? reach : 0;
  const std::size_t after = segment.end < runLength ? reach : 0;
  if (b - a >= least + before + after) {
    a += before;
    b -= after;
  }
  return {a, b};
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

double NoteCentre(std::span<const double> values, std::span<const double> weights,
                  std::span<std::uint32_t> order) {
  constexpr double Reach = 150;  // cents either side of the median
  const double median = WeightedMedian(values, weights, order);
  double sum = 0;
  double count = 0;
  for (const double value : values) {
    if (!(std::abs(value - median) <= Reach)) continue;
    sum += value;
    ++count;
  }
  return count > 0 ? sum / count : median;
}

FrameSpan WholeCycles(std::span<const double> pitch, std::size_t first, std::size_t end, int half,
                      std::span<double> scratch) {
  // A swing must reach this far below the low-pass before its next upward crossing counts:
  // the detector's jitter on a flat note would otherwise cross at random.
  constexpr double Hysteresis = 3;
  end = std::min(end, pitch.size());
  first = std::min(first, end);
  const std::size_t n = end - first;
  if (n < 3) return {first, end};
  const std::span<double> slow = scratch.first(n);
  double last = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (pitch[first + i] > 0) {
      last = pitch[first + i];
      break;
    }
  for (std::size_t i = 0; i < n; ++i) slow[i] = last = pitch[first + i] > 0 ? pitch[first + i] : last;
  NoteLowPass(slow, half, scratch.subspan(n, n));
  // A swing counts when it reaches a third of the deepest below the low-pass: where a vibrato
  // sets in late, the jitter of the still part before it makes no cycles of its own (the span
  // would end mid-swing, a half cycle's lean in the centre).
  // A frame further off than any vibrato (a slip of the detector) neither counts nor crosses.
  constexpr double Slip = 120;
  double deepest = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (pitch[first + i] > 0 && slow[i] - pitch[first + i] < Slip)
      deepest = std::max(deepest, slow[i] - pitch[first + i]);
  const double reach = std::max(Hysteresis, deepest / 3);
  std::size_t up = n;
  std::size_t lastUp = n;
  std::size_t ups = 0;
  bool below = false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!(pitch[first + i] > 0) || std::abs(pitch[first + i] - slow[i]) >= Slip) continue;
    const double d = pitch[first + i] - slow[i];
    if (d < -reach) {
      below = true;
    } else if (below && d >= 0) {
      below = false;
      if (up == n) up = i;
      lastUp = i;
      ++ups;
    }
  }
  if (up == n || lastUp <= up) return {first, end, 0};
  return {first + up, first + lastUp, ups - 1};
}

namespace {

constexpr double CentreReachCents = 150;  // a frame further from the median is a slip

// The frames of span with a pitch, copied to the front of scratch and their weights after
// them (at scratch[span length]): how many.
std::size_t Pitched(std::span<const double> pitch, std::span<const double> weights, const FrameSpan& span,
                    std::span<double> scratch) {
  const std::size_t length = span.end - span.first;
  std::size_t count = 0;
  for (std::size_t i = span.first; i < span.end; ++i) {
    if (!(pitch[i] > 0)) continue;
    scratch[count] = pitch[i];
    scratch[length + count] = weights[i];
    ++count;
  }
  return count;
}

// A line and one sine of the span's period fitted to its pitches within the reach of `median`:
// the line at the span's middle, and the sine's amplitude. NaN for the centre when the fit has
// too few frames to stand on.
struct CycleFit {
  double centre = std::numeric_limits<double>::quiet_NaN();
  double swing = 0;
};

CycleFit FitCycles(std::span<const double> pitch, const FrameSpan& span, double median) {
  CycleFit fit;
  if (span.cycles == 0 || span.end <= span.first) return fit;
  const double middle = 0.5 * static_cast<double>(span.first + span.end - 1);
  const double omega =
      2 * std::numbers::pi * static_cast<double>(span.cycles) / static_cast<double>(span.end - span.first);
  std::array<std::array<double, 5>, 4> m{};  // normal equations, the right-hand side last
  std::size_t used = 0;
  for (std::size_t i = span.first; i < span.end; ++i) {
    const double p = pitch[i];
    if (!(p > 0) || !(std::abs(p - median) <= CentreReachCents)) continue;
    const double t = static_cast<double>(i) - middle;
    const std::array<double, 4> x{1.0, t, std::sin(omega * t), std::cos(omega * t)};
    for (std::size_t r = 0; r < 4; ++r) {
      for (std::size_t c = 0; c < 4; ++c) m[r][c] += x[r] * x[c];
      m[r][4] += x[r] * (p - median);
    }
    ++used;
  }
  if (used < 8) return fit;
  // Gauss-Jordan with partial pivoting.
  for (std::size_t c = 0; c < 4; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < 4; ++r)
      if (std::abs(m[r][c]) > std::abs(m[pivot][c])) pivot = r;
    if (!(std::abs(m[pivot][c]) > 1e-9)) return fit;
    std::swap(m[c], m[pivot]);
    for (std::size_t r = 0; r < 4; ++r) {
      if (r == c) continue;
      const double f = m[r][c] / m[c][c];
      for (std::size_t k = c; k < 5; ++k) m[r][k] -= f * m[c][k];
    }
  }
  fit.centre = median + m[0][4] / m[0][0];
  fit.swing = std::hypot(m[2][4] / m[2][2], m[3][4] / m[3][3]);
  return fit;
}

}  // namespace

FrameSpan CentreCycles(std::span<const double> pitch, std::span<const double> weights, std::size_t first,
                       std::size_t end, int half, double frameRate, std::span<double> scratch,
                       std::span<std::uint32_t> order) {
  constexpr double SlowestHz = 3;
  constexpr double FastestHz = 10;
  end = std::min(end, pitch.size());
  first = std::min(first, end);
  const FrameSpan held{first, end, 0};
  const FrameSpan whole = WholeCycles(pitch, first, end, half, scratch);
  if (whole.cycles == 0 || !(frameRate > 0)) return held;
  const double rate =
      frameRate * static_cast<double>(whole.cycles) / static_cast<double>(whole.end - whole.first);
  if (rate < SlowestHz || rate > FastestHz) return held;
  const std::size_t count = Pitched(pitch, weights, whole, scratch);
  const std::size_t length = whole.end - whole.first;
  const double median = WeightedMedian(scratch.first(count), scratch.subspan(length, count), order);
  return FitCycles(pitch, whole, median).swing >= MinCentreSwingCents ? whole : held;
}

double SpanCentre(std::span<const double> pitch, std::span<const double> weights, const FrameSpan& span,
                  std::span<double> scratch, std::span<std::uint32_t> order) {
  FrameSpan within = span;
  within.end = std::min(within.end, pitch.size());
  within.first = std::min(within.first, within.end);
  const std::size_t count = Pitched(pitch, weights, within, scratch);
  if (count == 0) return 0;
  const std::size_t length = within.end - within.first;
  const std::span<const double> values = scratch.first(count);
  const std::span<const double> valueWeights = scratch.subspan(length, count);
  if (within.cycles > 0) {
    const CycleFit fit = FitCycles(pitch, within, WeightedMedian(values, valueWeights, order));
    if (std::isfinite(fit.centre)) return fit.centre;
  }
  return NoteCentre(values, valueWeights, order);
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

bool WidenToWholeRuns(SasDocument& document, std::uint32_t& first, std::uint32_t& end, double silenceLevel) {
  if (!document.file.IsOpen()) return false;
  const std::uint32_t count = document.header.frameCount;
  end = std::min(end, count);
  first = std::min(first, end);
  if (first == end) return true;
  constexpr std::uint32_t BlockFrames = 1280;
  std::array<std::uint8_t, BlockFrames * SasFrame::ByteSize> bytes;
  const auto voiced = [&](std::uint32_t from, std::uint32_t k) {
    return VoicedFrame(SasFrame::ParseFrom(bytes.data() + std::size_t{k - from} * SasFrame::ByteSize),
                       silenceLevel);
  };
  const auto read = [&](std::uint32_t from, std::uint32_t n) {
    const std::size_t want = std::size_t{n} * SasFrame::ByteSize;
    return document.file.Seek(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{from}) &&
           document.file.Read(bytes.data(), want) == want;
  };
  // Back from first while first and the frame before it are voiced.
  if (!read(first, 1)) return false;
  bool firstVoiced = voiced(first, first);
  while (firstVoiced && first > 0) {
    const std::uint32_t n = std::min(first, BlockFrames);
    const std::uint32_t from = first - n;
    if (!read(from, n)) return false;
    std::uint32_t k = first;
    while (k > from && voiced(from, k - 1)) --k;
    firstVoiced = k == from;
    first = k;
  }
  // On from end while the frame before end and the frame at end are voiced.
  bool lastVoiced = true;
  if (end > 0) {
    if (!read(end - 1, 1)) return false;
    lastVoiced = voiced(end - 1, end - 1);
  }
  while (lastVoiced && end < count) {
    const std::uint32_t n = std::min(count - end, BlockFrames);
    if (!read(end, n)) return false;
    std::uint32_t k = end;
    while (k < end + n && voiced(end, k)) ++k;
    lastVoiced = k == end + n;
    end = k;
  }
  return true;
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

SungPitches MeasureSungPitches(SasDocument& document, double silenceLevel) {
  constexpr double BinCents = 10.0;
  std::array<std::uint64_t, (TargetPitchMask + 1) / 10 + 1> histogram{};
  std::uint64_t count = 0;
  const bool read = ForEachVoicedRun(
      document, 0, document.header.frameCount, silenceLevel, [&](std::uint32_t, std::span<SasFrame> run) {
        for (const SasFrame& frame : run) {
          ++histogram[std::min<std::size_t>(frame.sourcePitch / 10, histogram.size() - 1)];
          ++count;
        }
        return true;
      });
  SungPitches sung;
  if (!read || count == 0) return sung;
  // The pitch below which the given share of the frames lies, at its bin's middle.
  const auto percentile = [&](double share) {
    const auto wanted = static_cast<std::uint64_t>(std::ceil(share * static_cast<double>(count)));
    std::uint64_t below = 0;
    for (std::size_t bin = 0; bin < histogram.size(); ++bin) {
      below += histogram[bin];
      if (below >= std::max<std::uint64_t>(wanted, 1)) return (static_cast<double>(bin) + 0.5) * BinCents;
    }
    return (static_cast<double>(histogram.size()) - 0.5) * BinCents;
  };
  sung = {true, percentile(0.05), percentile(0.95)};
  return sung;
}

}  // namespace vocara
