#include "engine/sas/ScaleSnap.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "base/Instruments.h"

namespace vocara {

namespace {

constexpr std::array<std::string_view, ScaleKindCount> KindNames{"chromatic", "major", "minor",
                                                                 "harmonic-minor", "custom"};
constexpr std::array<std::string_view, ScaleKindCount> KindLabels{"Chromatic", "Major", "Natural Minor",
                                                                  "Harmonic Minor", "Custom"};
constexpr std::array<std::string_view, 12> Keys{"C",  "C#", "D",  "D#", "E",  "F",
                                                "F#", "G",  "G#", "A",  "A#", "B"};

// Intervals above the key, bit k for k semitones.
constexpr std::uint16_t ChromaticSet = 0x0fff;
constexpr std::uint16_t MajorSet = 0x0ab5;          // 0 2 4 5 7 9 11
constexpr std::uint16_t NaturalMinorSet = 0x05ad;   // 0 2 3 5 7 8 10
constexpr std::uint16_t HarmonicMinorSet = 0x09ad;  // 0 2 3 5 7 8 11

double Limit(double value, double low, double high, double fallback) {
  if (std::isnan(value)) return fallback;
  return std::clamp(value, low, high);
}

}  // namespace

std::string_view ScaleKindName(ScaleKind kind) { return KindNames[static_cast<std::size_t>(kind)]; }
std::string_view ScaleKindLabel(ScaleKind kind) { return KindLabels[static_cast<std::size_t>(kind)]; }

std::string_view KeyName(int key) { return Keys[static_cast<std::size_t>(((key % 12) + 12) % 12)]; }

std::optional<int> ParseKey(std::string_view text) {
  const std::optional<int> pitch = ParsePitchSpelling(text);
  if (!pitch) return std::nullopt;
  return ((*pitch % 12) + 12) % 12;
}

ScaleSnapParams ClampScaleSnapParams(const ScaleSnapParams& params) {
  const ScaleSnapParams defaults;
  ScaleSnapParams p = params;
  p.key = std::clamp(p.key, 0, 11);
  if (static_cast<int>(p.scale) < 0 || static_cast<int>(p.scale) >= ScaleKindCount) p.scale = defaults.scale;
  p.custom &= ChromaticSet;
  p.reference = Limit(p.reference, MinReference, MaxReference, defaults.reference);
  p.centre = Limit(p.centre, 0, 100, defaults.centre);
  p.drift = Limit(p.drift, 0, 100, defaults.drift);
  p.retuneMs = Limit(p.retuneMs, 0, MaxRetuneMs, defaults.retuneMs);
  p.vibrato = Limit(p.vibrato, 0, MaxVibrato, defaults.vibrato);
  return p;
}

std::uint16_t ScaleMask(const ScaleSnapParams& params) {
  switch (params.scale) {
    case ScaleKind::Chromatic:
      return ChromaticSet;
    case ScaleKind::Major:
      return MajorSet;
    case ScaleKind::NaturalMinor:
      return NaturalMinorSet;
    case ScaleKind::HarmonicMinor:
      return HarmonicMinorSet;
    case ScaleKind::Custom:
      break;
  }
  return params.custom & ChromaticSet;
}

std::optional<std::uint16_t> ParsePitchClasses(std::string_view text) {
  std::uint16_t set = 0;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view item = text.substr(at, comma - at);
    if (item.empty() || item.size() > 2) return std::nullopt;
    int value = 0;
    for (const char c : item) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    if (value > 11) return std::nullopt;
    set = static_cast<std::uint16_t>(set | (1u << value));
    if (comma == text.size()) return set;
    at = comma + 1;
  }
}

std::string PitchClassesText(std::uint16_t set) {
  std::string text;
  for (int k = 0; k < 12; ++k) {
    if (!(set & (1u << k))) continue;
    if (!text.empty()) text += ',';
    text += std::to_string(k);
  }
  return text;
}

double NearestScalePitch(double cents, const ScaleSnapParams& params) {
  const std::uint16_t mask = ScaleMask(params);
  if (mask == 0 || !std::isfinite(cents)) return cents;
  const double tuning = 1200.0 * std::log2(params.reference / 440.0);
  const double position = (cents - tuning) / 100.0;
  const int centreNote = static_cast<int>(std::floor(position));
  double best = cents;
  double bestDistance = INFINITY;
  for (int k = centreNote - 12; k <= centreNote + 13; ++k) {
    const int interval = ((k + 9 - params.key) % 12 + 12) % 12;  // note 0 is an A: pitch class 9
    if (!(mask & (1u << interval))) continue;
    const double pitch = k * 100.0 + tuning;
    const double distance = std::abs(pitch - cents);
    if (distance < bestDistance) {
      bestDistance = distance;
      best = pitch;
    }
  }
  return best;
}

void SnapWork::Reserve(std::size_t frames) {
  if (pitch.size() >= frames) return;
  pitch.resize(frames);
  weight.resize(frames);
  smoothed.resize(frames);
  scratch.resize(2 * frames);
  correction.resize(frames);
  order.resize(frames);
}

void SnapRun(std::span<SasFrame> run, const ScaleSnapParams& params, const SnapContext& context,
             SnapWork& work) {
  const std::size_t n = run.size();
  if (n == 0 || ScaleMask(params) == 0) return;
  work.Reserve(n);
  const std::span<double> pitch(work.pitch.data(), n);
  const std::span<double> weight(work.weight.data(), n);
  const std::span<double> correction(work.correction.data(), n);
  for (std::size_t i = 0; i < n; ++i) {
    pitch[i] = run[i].sourcePitch;
    weight[i] = run[i].Amplitude();
  }
  SplitNotes(pitch, context.frameRate, work.smoothed, work.scratch, work.segments);
  // A piece too short to be a note keeps its pitch.
  std::fill(correction.begin(), correction.end(), 0.0);

  const int half = NoteLowPassHalfWidth(context.frameRate);
  const double centreShare = params.centre / 100.0;
  const double driftShare = params.drift / 100.0;
  // The vibrato is scaled only when asked to, so that a snap keeping it is the same arithmetic
  // as one that never had the choice.
  const bool scaleVibrato = params.vibrato != 100.0;
  const double vibratoShare = params.vibrato / 100.0;
  // Each note's own correction; the note's offset is kept in `smoothed` at its first frame's
  // place for the ramps below (smoothed is free again once the notes are split).
  for (const NoteSegment& segment : work.segments) {
    const std::size_t length = segment.end - segment.first;
    // The centre of the note as held, over whole vibrato cycles: a scoop into it or a glide out
    // of it is not where the singer meant the note to be, and would pull the held pitch off the
    // scale; so would the extra half of a cycle and a half.
    const bool held = segment.steadyEnd > segment.steadyFirst;
    const FrameSpan centred = CentreSpan(segment, n, context.frameRate, pitch);
    const FrameSpan span = held ? CentreCycles(pitch, weight, centred.first, centred.end, half,
                                               context.frameRate, work.scratch, work.order)
                                : FrameSpan{segment.first, segment.end};
    const double centre = SpanCentre(pitch, weight, span, work.scratch, work.order);
    const double offset = centreShare * (NearestScalePitch(centre, params) - centre);
    const std::span<double> drift = correction.subspan(segment.first, length);
    for (std::size_t i = 0; i < length; ++i) drift[i] = pitch[segment.first + i] - centre;
    if (driftShare > 0 || scaleVibrato) NoteLowPass(drift, half, work.scratch);
    for (std::size_t i = 0; i < length; ++i) {
      const double low = drift[i];  // the note low-pass, relative to the centre
      drift[i] = offset - (driftShare > 0 ? driftShare * low : 0.0);
      if (scaleVibrato) drift[i] += (vibratoShare - 1.0) * (pitch[segment.first + i] - centre - low);
    }
    work.smoothed[segment.first] = offset;
  }

  // Between two notes the offset ramps over the retune time, centred on the new note's first
  // frame and kept inside the two notes.
  const auto ramp = static_cast<std::int64_t>(std::lround(params.retuneMs * context.frameRate / 1000.0));
  if (ramp >= 2) {
    for (std::size_t k = 1; k < work.segments.size(); ++k) {
      const NoteSegment& before = work.segments[k - 1];
      const NoteSegment& after = work.segments[k];
      const double from = work.smoothed[before.first];
      const double to = work.smoothed[after.first];
      const std::int64_t start = static_cast<std::int64_t>(after.first) - ramp / 2;
      for (std::int64_t i = std::max<std::int64_t>(start, before.first);
           i < std::min<std::int64_t>(start + ramp, after.end); ++i) {
        const double t = (static_cast<double>(i - start) + 0.5) / static_cast<double>(ramp);
        const double own = i < static_cast<std::int64_t>(after.first) ? from : to;
        correction[static_cast<std::size_t>(i)] += from + (to - from) * t - own;
      }
    }
  }

  for (std::size_t i = 0; i < n; ++i) {
    run[i].targetPitch = WithTargetPitch(run[i].targetPitch, pitch[i] + correction[i]);
  }
}

bool SasSnapToScale(SasDocument& document, std::uint32_t first, std::uint32_t end,
                    const ScaleSnapParams& params, const FrameChangeSink& sink,
                    const ProgressCallback& progress) {
  const ScaleSnapParams p = ClampScaleSnapParams(params);
  const SnapContext context{SasFrameRate(document.header),
                            SilenceLevel(document.header.settings.silenceThreshold)};
  SnapWork work;
  return ForEachVoicedRun(
      document, first, end, context.silenceLevel,
      [&](std::uint32_t, std::span<SasFrame> run) {
        SnapRun(run, p, context, work);
        return true;
      },
      true, sink, progress);
}

}  // namespace vocara
