#include "engine/processing/CorrectionReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <span>
#include <string>
#include <string_view>

#include "base/Instruments.h"
#include "base/MessageId.h"
#include "base/Settings.h"
#include "engine/processing/Correct.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/NoteSegments.h"
#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"

namespace vocara {

namespace {

// The render's timeline at frame resolution: where (output sample, counted from the first
// sample of the corrected file) the input position of each frame boundary firstFrame <= f <=
// endFrame landed. Correct places every input sample 2^(c/1200) output samples after the
// previous one (c the frame's pitch offset, moving linearly to the next frame's), so a pitch
// shift alone stretches or shrinks the output; with time correction a frame whose drift from
// the time links passes one source period drops or repeats that period. The same walk, a frame
// at a time, keeps a note's place in the output within a period of where the render put it.
class OutputTimeline {
 public:
  bool Walk(SasDocument& sas, const ReportRequest& request, std::uint32_t firstFrame,
            std::uint32_t endFrame) {
    const std::uint32_t frameLength = sas.header.frameLength;
    const std::vector<TimeLink>& links = sas.links;
    const bool followLinks = request.timeCorrection && links.size() >= 2;
    first_ = firstFrame;
    at_.assign(endFrame - firstFrame + 1, 0.0);
    // The partial frame before the first boundary counts with its own offset; the walk reads
    // the frames from the one holding request.start.
    const std::uint32_t readFirst = std::min(request.start / frameLength, firstFrame);
    const std::uint32_t readEnd = std::min(sas.header.frameCount, endFrame + 1);
    const auto ratio = [](const SasFrame& f, const SasFrame& g) {
      return (std::exp2(FramePitchOffset(f) / 1200.0) + std::exp2(FramePitchOffset(g) / 1200.0)) * 0.5;
    };
    double inPos = request.start;
    double outPos = request.start;  // in the input's numbering, as the render counts
    SasFrame frame;
    bool haveFrame = false;
    std::vector<std::uint8_t> bytes(BlockFrames * SasFrame::ByteSize);
    for (std::uint32_t block = readFirst; block < readEnd; block += BlockFrames) {
      const std::uint32_t count = std::min<std::uint32_t>(BlockFrames, readEnd - block);
      const std::size_t want = std::size_t{count} * SasFrame::ByteSize;
      if (!sas.file.Seek(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{block}) ||
          sas.file.Read(bytes.data(), want) != want)
        return false;
      for (std::uint32_t k = 0; k < count; ++k) {
        const SasFrame next = SasFrame::ParseFrom(bytes.data() + k * SasFrame::ByteSize);
        const std::uint32_t number = block + k;
        if (haveFrame) Advance(number, frameLength, ratio(frame, next), inPos, outPos);
        frame = next;
        haveFrame = true;
        if (number < firstFrame || number > endFrame) continue;
        // The frame boundary: drift against the links first, as the render checks it there.
        if (followLinks && !frame.TimeCorrectionOff()) {
          const double period = FrameSourcePeriod(frame, sas.header.sampleRate, frameLength);
          const double drift = outPos - LinkTarget(links, inPos);
          if (drift > period) {
            inPos += period;
          } else if (drift < -period && inPos >= period) {
            inPos -= period;
          }
        }
        at_[number - firstFrame] = outPos - request.start;
      }
    }
    // Boundaries past the last frame read (the tail) continue at the last frame's pace.
    for (std::uint32_t number = readEnd; number <= endFrame; ++number)
      at_[number - firstFrame] = at_[number - firstFrame - 1] + frameLength;
    return true;
  }

  // The output frame (of frameLength samples) nearest to where frame boundary f landed.
  std::int64_t OutputFrame(std::uint32_t f, std::uint32_t frameLength) const {
    return std::llround(at_[f - first_] / frameLength);
  }

 private:
  static constexpr std::uint32_t BlockFrames = 1280;

  // From the boundary of the frame before `number` to number's: the input moves to number's
  // first sample and the output by as many samples times the frame's stretch.
  static void Advance(std::uint32_t number, std::uint32_t frameLength, double stretch, double& inPos,
                      double& outPos) {
    const double boundary = static_cast<double>(number) * frameLength;
    outPos += std::max(0.0, boundary - inPos) * stretch;
    inPos = boundary;
  }

  static double LinkTarget(const std::vector<TimeLink>& links, double x) {
    std::size_t k = 1;
    while (k + 1 < links.size() && links[k].source <= x) ++k;
    const double s0 = links[k - 1].source;
    const double s1 = links[k].source;
    const double t0 = links[k - 1].target;
    const double t1 = links[k].target;
    if (!(s1 > s0)) return t1;
    return t0 + (t1 - t0) * (x - s0) / (s1 - s0);
  }

  std::uint32_t first_ = 0;
  std::vector<double> at_;
};

// How much of a vibrato at `rate` Hz on a note at `cents` (above A0) the figures see: the note
// detector hears the pitch over about 16.8 of the note's periods (the span of its Fourier
// sums), which smooths a low voice's vibrato, and the measure's own smoothing (a moving average
// over 2 x half + 1 frames) takes a little more. The first is measured, not derived: the
// detector's pitch follows a swing as a moving average over about 0.7 of that span would
// (within 3 % from A2 to F#6 at 4 to 7 Hz; deeper swings below A2 at 7 Hz reach the floor). Never under
// MinSwingLeft, where a figure would be mostly the detector's noise scaled up.
double SwingLeft(double rate, double frameRate, int half, double cents) {
  constexpr double Effective = 0.7;
  constexpr double MinSwingLeft = 0.35;
  const double hz = 27.5 * std::exp2(cents / 1200);
  const double x = Effective * DetectorSpanPeriods * rate / hz;
  const double heard = x > 1e-9 ? std::sin(std::numbers::pi * x) / (std::numbers::pi * x) : 1.0;
  const double w = std::numbers::pi * rate / frameRate;
  const double width = 2.0 * half + 1;
  const double smoothed = std::sin(w) > 1e-12 ? std::sin(width * w) / (width * std::sin(w)) : 1.0;
  return std::max(MinSwingLeft, heard * smoothed);
}

// The vibrato over heldFirst <= i < heldEnd of a note's pitches (cents; 0 where there is no
// pitch), as a listener hears it: half the mean peak-to-trough swing where the pitch oscillates,
// and the rate from the swings' period. Gaps are bridged linearly and the pitch is lightly
// smoothed (the detector's jitter out, the swing in); its turning points are the extremes
// between crossings of a band of LeastDepth either way. Where it oscillates is the longest chain
// of turning points half a period of 3 to 10 Hz apart: a vibrato that sets in late is measured
// where it swings, not averaged with the still part before it, and a scoop or a fall the held
// part kept (one long move) ends a chain rather than counting as a swing. Up and down swings
// are taken in pairs, so a drift under the vibrato adds to one as much as it takes from the
// other; pairs away from the upper quartile (still setting in, or a stray step) do not count. The
// depth is then divided by what the detector's long span and the smoothing leave of a swing at
// that rate. No figure when fewer than minFrames of the held part have a pitch; a depth of 0
// and no rate when nothing oscillates.
VibratoFigures MeasureVibrato(std::span<const double> pitch, std::size_t heldFirst, std::size_t heldEnd,
                              std::size_t minFrames, double frameRate, std::vector<double>& work) {
  constexpr double LeastDepth = 3;  // cents: a swing this small is the detector's own jitter
  constexpr double Slowest = 3;     // Hz
  constexpr double Fastest = 10;
  constexpr double SmoothSeconds = 0.020;
  constexpr double SpikeCents = 30;
  VibratoFigures v;
  heldEnd = std::min(heldEnd, pitch.size());
  heldFirst = std::min(heldFirst, heldEnd);
  const std::size_t n = heldEnd - heldFirst;
  std::size_t voiced = 0;
  for (std::size_t i = heldFirst; i < heldEnd; ++i) voiced += pitch[i] > 0;
  if (voiced < std::max<std::size_t>(minFrames, 1)) return v;
  if (work.size() < 3 * n) work.resize(3 * n);
  const std::span<double> filled(work.data(), n);
  const std::span<double> smooth(work.data() + n, n);
  const std::span<double> swings(work.data() + 2 * n, n);
  std::size_t last = n;  // the last frame with a pitch so far
  for (std::size_t i = 0; i < n; ++i) {
    const double p = pitch[heldFirst + i];
    if (!(p > 0)) continue;
    filled[i] = p;
    const std::size_t from = last == n ? 0 : last + 1;
    for (std::size_t j = from; j < i; ++j)
      filled[j] = last == n ? p : filled[last] + (p - filled[last]) * double(j - last) / double(i - last);
    last = i;
  }
  for (std::size_t j = last + 1; j < n; ++j) filled[j] = filled[last];
  // A frame or two read a few semitones off (an overtone's leakage) would make turns of their
  // own; the swing's own frames stay as they are.
  ReplaceSlips(filled, 2, SpikeCents, swings);
  std::copy(swings.begin(), swings.end(), filled.begin());
  const int touch = std::max(0, static_cast<int>(std::lround(SmoothSeconds * frameRate / 2)));
  {
    double sum = 0;
    std::size_t lo = 0, hi = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t wantLo = i >= static_cast<std::size_t>(touch) ? i - touch : 0;
      const std::size_t wantHi = std::min(n, i + touch + 1);
      while (hi < wantHi) sum += filled[hi++];
      while (lo < wantLo) sum -= filled[lo++];
      smooth[i] = sum / static_cast<double>(hi - lo);
    }
  }
  // Turning points, alternating, each the extreme between two crossings of a band `band` wide.
  // Found twice: with the least band, then with a band of a fifth of the larger swings, so that
  // the detector's jitter on a wide vibrato's crest makes no turns of its own.
  std::vector<std::size_t> turns;
  const auto findTurns = [&](double band) {
    turns.clear();
    std::size_t low = 0;  // before the first turn: the lowest and highest so far
    std::size_t high = 0;
    std::size_t extreme = 0;
    int direction = 0;  // +1 rising towards a peak, -1 falling towards a trough
    for (std::size_t i = 1; i < n; ++i) {
      if (direction == 0) {
        if (smooth[i] < smooth[low]) low = i;
        if (smooth[i] > smooth[high]) high = i;
        if (smooth[i] - smooth[low] > band) {
          turns.push_back(low);
          direction = 1;
        } else if (smooth[high] - smooth[i] > band) {
          turns.push_back(high);
          direction = -1;
        }
        extreme = i;
      } else if ((smooth[i] - smooth[extreme]) * direction > 0) {
        extreme = i;
      } else if ((smooth[extreme] - smooth[i]) * direction > band) {
        turns.push_back(extreme);
        extreme = i;
        direction = -direction;
      }
    }
  };
  findTurns(LeastDepth);
  if (turns.size() >= 2) {
    std::size_t count = 0;
    for (std::size_t k = 1; k < turns.size(); ++k)
      swings[count++] = std::abs(smooth[turns[k]] - smooth[turns[k - 1]]);
    std::nth_element(swings.begin(), swings.begin() + static_cast<std::ptrdiff_t>(count * 3 / 4),
                     swings.begin() + static_cast<std::ptrdiff_t>(count));
    findTurns(std::max(LeastDepth, swings[count * 3 / 4] / 5));
  }
  // The longest chain of turning points a vibrato's half period apart.
  const double shortest = frameRate / (2 * Fastest);
  const double longest = frameRate / (2 * Slowest);
  std::size_t bestFirst = 0, bestEnd = 0;
  for (std::size_t a = 0; a < turns.size();) {
    std::size_t b = a + 1;
    while (b < turns.size()) {
      const auto gap = static_cast<double>(turns[b] - turns[b - 1]);
      if (gap < shortest || gap > longest) break;
      ++b;
    }
    if (b - a > bestEnd - bestFirst) bestFirst = a, bestEnd = b;
    a = b;
  }
  // Three turning points (a swing each way) at least.
  if (bestEnd - bestFirst < 3) {
    v.depth = 0;
    return v;
  }
  // Each up swing with the down swing after it; the pairs near the upper quartile of them (a
  // swing still growing as the vibrato sets in, or a stray step, is not the swing sung).
  std::size_t count = 0;
  for (std::size_t k = bestFirst + 2; k < bestEnd; k += 2)
    swings[count++] = (std::abs(smooth[turns[k - 1]] - smooth[turns[k - 2]]) +
                       std::abs(smooth[turns[k]] - smooth[turns[k - 1]])) /
                      2;
  std::copy_n(swings.begin(), count, filled.begin());
  std::nth_element(filled.begin(), filled.begin() + static_cast<std::ptrdiff_t>(count * 3 / 4),
                   filled.begin() + static_cast<std::ptrdiff_t>(count));
  const double upper = filled[count * 3 / 4];
  double sum = 0;
  std::size_t used = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (swings[k] < 0.8 * upper || swings[k] > upper / 0.8) continue;
    sum += swings[k];
    ++used;
  }
  // The rate over the chain's half periods, the first left out when there are others: it may
  // begin where the held part begins rather than at a turn of the swing.
  const std::size_t rateFirst = bestEnd - bestFirst >= 5 ? bestFirst + 1 : bestFirst;
  v.rate = frameRate * static_cast<double>(bestEnd - rateFirst - 1) /
           (2.0 * static_cast<double>(turns[bestEnd - 1] - turns[rateFirst]));
  const double mid = smooth[n / 2];
  v.depth = sum / static_cast<double>(used) / 2 / SwingLeft(v.rate, frameRate, touch, mid);
  return v;
}

std::string Format(const char* format, auto... values) {
  char text[160];
  const int length = std::snprintf(text, sizeof text, format, values...);
  return std::string(text,
                     static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof text) - 1)));
}

// A JSON number with `decimals` decimals; JSON has no NaN or infinity, so those are null.
std::string JsonNumber(double value, int decimals) {
  return std::isfinite(value) ? Format("%.*f", decimals, value) : std::string("null");
}

}  // namespace

std::string CorrectedFileMismatch(const WavDocument& recording, SasDocument& sas,
                                  const ReportRequest& request, const WavDocument& corrected) {
  // Correct writes the recording's own header, so the rendering has its rate and sample format.
  const FormatFields& in = recording.header.fields;
  const FormatFields& out = corrected.header.fields;
  const std::string& name = corrected.path;
  if (out.sampleRate != in.sampleRate) {
    return name + ": " + std::to_string(out.sampleRate) + " Hz, " + recording.path + " is " +
           std::to_string(in.sampleRate) + " Hz";
  }
  if (out.blockAlign != in.blockAlign || out.bitsPerSample != in.bitsPerSample) {
    const auto format = [](const FormatFields& f) {
      return std::to_string(f.bitsPerSample) + "-bit samples in " + std::to_string(f.blockAlign) + " bytes";
    };
    return name + ": " + format(out) + ", " + recording.path + " has " + format(in);
  }
  CorrectRequest render;
  render.start = request.start;
  render.end = request.end;
  render.timeCorrection = request.timeCorrection;
  const CorrectLength length = CorrectOutputLength(recording, sas, render);
  if (length.message != MessageId::None)
    return name + ": no rendering, " + sas.path + ": " + std::string(MessageText(length.message));
  if (length.passesWavLimit) return name + ": no rendering, it would pass the 4 GiB limit of a WAV file";
  if (corrected.sampleCount != length.samples) {
    return name + ": " + std::to_string(corrected.sampleCount) + " samples, the rendering has " +
           std::to_string(length.samples);
  }
  return {};
}

namespace {

// The working memory of one voiced run, reused from run to run.
struct RunWork {
  std::vector<double> source, target, weight, smoothed, scratch, out, outWeight, vibrato, cycles,
      expectTarget, expectSource;
  std::vector<std::uint32_t> order;
  std::vector<NoteSegment> segments;
  std::vector<SasFrame> output;  // the corrected file's frames over the run
  std::vector<SasFrame> below;   // the same analysed an octave further down, when that reaches lower
};

// The least-squares line through x (one value a frame): its end minus its start over `span`
// frames.
double LineRise(std::span<const double> x, double span) {
  const std::size_t n = x.size();
  if (n < 2) return 0;
  const double mid = 0.5 * static_cast<double>(n - 1);
  double mean = 0;
  for (const double p : x) mean += p;
  mean /= static_cast<double>(n);
  double xy = 0;
  double xx = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) - mid;
    xy += t * (x[i] - mean);
    xx += t * t;
  }
  return xy / xx * span;
}

// How far the note moves over its held part (pitches, one a frame): the end minus the start of
// a least-squares line. A line through the pitches themselves leans with where in its swing a
// vibrato starts and stops, even over whole cycles (by about 2 x depth / cycles), so with a
// vibrato of `period` frames the line goes through the means over one whole period (a moving
// average of exactly that width, which a swing of that period leaves out), as long as the held
// part spans a period and a half; without, through the pitches. scratch must hold pitch.size()
// values.
double Drift(std::span<const double> pitch, double period, std::span<double> scratch) {
  const std::size_t n = pitch.size();
  const double span = static_cast<double>(n > 0 ? n - 1 : 0);
  if (!(period >= 2) || static_cast<double>(n) < 1.5 * period) return LineRise(pitch, span);
  const auto whole = static_cast<std::size_t>(std::floor(period));
  const double part = period - static_cast<double>(whole);
  std::size_t count = 0;
  for (std::size_t j = 0; j + whole < n; ++j) {
    double sum = part * pitch[j + whole];
    for (std::size_t i = j; i < j + whole; ++i) sum += pitch[i];
    scratch[count++] = sum / period;
  }
  if (count < 2) return LineRise(pitch, span);
  return LineRise(scratch.subspan(0, count), span);
}

// How far the corrected file's pitch lies from the target, frame by frame, counted in bins of
// ShiftBinCents over +-MaxShiftCents (farther ones in the end bins). A rendering moves the take's
// own pitch by each frame's offset, so it lands on the target plus what the analysis got wrong
// about the take: for a SAS built from the take nothing, for one made by hand the same amount
// all along. Its shifts pile up in one place; another file's are spread.
constexpr double ShiftBinCents = 10;
constexpr double MaxShiftCents = 9600;
constexpr std::size_t ShiftBins = 2 * static_cast<std::size_t>(MaxShiftCents / ShiftBinCents) + 1;

std::size_t ShiftBin(double cents) {
  const double bin = std::round(std::clamp(cents, -MaxShiftCents, MaxShiftCents) / ShiftBinCents);
  return static_cast<std::size_t>(bin + MaxShiftCents / ShiftBinCents);
}

// The most frames whose shifts lie within RenderedPitchCents of one shift.
std::uint32_t MostAtOneShift(const std::vector<std::uint32_t>& shifts) {
  const auto reach = static_cast<std::size_t>(RenderedPitchCents / ShiftBinCents);
  std::uint32_t inWindow = 0;
  std::uint32_t most = 0;
  // A window of 2 x reach + 1 bins sliding over the bins: add the bin entering, drop the one leaving.
  for (std::size_t i = 0; i < shifts.size() + reach; ++i) {
    if (i < shifts.size()) inWindow += shifts[i];
    if (i >= 2 * reach + 1) inWindow -= shifts[i - 2 * reach - 1];
    most = std::max(most, inWindow);
  }
  return most;
}

// The note ranges the corrected file is analysed over, for the frames of one voiced run.
// heard, whose readings are the figures: the take's own range widened to HeardMarginNotes
// beyond the run's lowest and highest target. A note moved below the take's lowest note would
// otherwise be read from its octave, one moved above its highest not at all; where every target
// lies inside the take's range the corrected file is measured exactly as the take was.
// below, the check on those readings: heard reaching an octave further down. The detector names
// the lowest note that is strong enough, so where heard reads an overtone (a weak fundamental,
// a low voice built over too high a range, its targets set an octave up with it) only a range
// that holds the fundamental hears where the note really is.
// The check reads every CheckStride-th output frame (a held note lasts many), which keeps its
// longer window and lower notes from multiplying the time the report takes.
constexpr int HeardMarginNotes = 2;
constexpr std::uint32_t CheckStride = 4;

struct HeardRanges {
  GeneralSettings heard;
  GeneralSettings below;
};

HeardRanges HeardSettings(const GeneralSettings& take, std::span<const SasFrame> frames) {
  int lowest = NoteCount;
  int highest = -1;
  for (const SasFrame& frame : frames) {
    if (!FrameHasPitch(frame) || frame.TargetPitch() == 0) continue;
    const auto note = static_cast<int>(std::lround(frame.TargetPitch() / 100.0));
    lowest = std::min(lowest, note);
    highest = std::max(highest, note);
  }
  HeardRanges ranges{take, take};
  if (highest < 0) return ranges;
  const auto limit = [](int note) { return std::clamp(note, 0, NoteCount - 1); };
  ranges.heard.lowestNote = limit(std::min(take.lowestNote, lowest - HeardMarginNotes));
  ranges.heard.highestNote = limit(std::max(take.highestNote, highest + HeardMarginNotes));
  ranges.below = ranges.heard;
  ranges.below.lowestNote = limit(std::min(take.lowestNote, lowest - HeardMarginNotes - 12));
  return ranges;
}

// How many output frames at each end of a range's rendering an analysis over `settings` cannot
// be trusted for: a window reaching past the corrected file's ends would measure sound cut off
// mid-note, which the take never had.
std::int64_t EdgeFrames(const GeneralSettings& settings, std::uint32_t sampleRate,
                        std::uint32_t frameLength) {
  return static_cast<std::int64_t>(
      (std::uint64_t{AnalysisWindowLength(settings.lowestNote, sampleRate)} + frameLength - 1) / frameLength);
}

// Whether a pitch the analysis read in the corrected file (cents) can be what the render put
// there: within RenderedPitchCents of the target of the take's frame that landed there (the
// render followed it) or of the take's own pitch (it left the frame alone). Anything else, an
// octave or a fifth away or a stray reading where two notes meet, is the analysis slipping,
// not the sound: counted, it would pull a note's centre by tens of cents.
bool Explained(double heard, double target, double source) {
  return (target > 0 && std::abs(heard - target) <= RenderedPitchCents) ||
         (source > 0 && std::abs(heard - source) <= RenderedPitchCents);
}

bool Measure(SasDocument& sas, WavDocument* corrected, const ReportRequest& request, CorrectionReport& report,
             const ProgressCallback& progress) {
  report = CorrectionReport{};
  report.corrected = corrected != nullptr;
  const std::uint32_t frameLength = sas.header.frameLength;
  if (frameLength == 0 || !sas.file.IsOpen()) return false;
  const double frameRate = SasFrameRate(sas.header);
  const double seconds = static_cast<double>(frameLength) / sas.header.sampleRate;
  const int half = NoteLowPassHalfWidth(frameRate);
  const auto minFrames = static_cast<std::size_t>(std::ceil(MinHeldSeconds * frameRate));
  const double silence = SilenceLevel(sas.header.settings.silenceThreshold);
  const std::uint32_t first = static_cast<std::uint32_t>(
      std::min<std::uint64_t>((std::uint64_t{request.start} + frameLength - 1) / frameLength, UINT32_MAX));
  const std::uint32_t end = std::min(request.end / frameLength, sas.header.frameCount);
  if (first >= end) return true;
  OutputTimeline timeline;
  if (corrected && !timeline.Walk(sas, request, first, end)) return false;
  const std::int64_t outputFrames = corrected ? corrected->sampleCount / frameLength : 0;
  const bool cutAtEnd = std::uint64_t{request.end} < std::uint64_t{sas.header.frameCount} * frameLength;
  RunWork work;
  bool ok = true;
  std::vector<std::uint32_t> shifts(corrected ? ShiftBins : 0);

  // Whole runs, so that a note the range cuts is found as sung; only its part inside is measured.
  std::uint32_t scanFirst = first;
  std::uint32_t scanEnd = end;
  if (!WidenToWholeRuns(sas, scanFirst, scanEnd, silence)) return false;
  const bool visited = ForEachVoicedRun(
      sas, scanFirst, scanEnd, silence, [&](std::uint32_t runFirst, std::span<SasFrame> run) {
        const std::size_t n = run.size();
        const std::uint32_t runEnd = runFirst + static_cast<std::uint32_t>(n);
        if (runEnd <= first || runFirst >= end) return true;
        if (progress && !progress(std::max(runFirst, first), end)) return false;
        for (std::vector<double>* v : {&work.source, &work.target, &work.weight, &work.smoothed})
          if (v->size() < n) v->resize(n);
        if (work.scratch.size() < 2 * n) work.scratch.resize(2 * n);
        if (work.order.size() < n) work.order.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
          work.source[i] = run[i].sourcePitch;
          work.target[i] = run[i].TargetPitch();
          work.weight[i] = run[i].Amplitude();
        }
        // The corrected file's frames over the part of the run inside the range.
        const std::uint32_t inFirst = std::max(runFirst, first);
        const std::uint32_t inEnd = std::min(runEnd, end);
        const HeardRanges ranges =
            HeardSettings(sas.header.settings, run.subspan(inFirst - runFirst, inEnd - inFirst));
        const std::int64_t edge = EdgeFrames(ranges.heard, sas.header.sampleRate, frameLength);
        const auto edgeFrames = static_cast<std::size_t>(edge);
        const std::int64_t measuredFirst = request.start > 0 ? edge : 0;
        const std::int64_t measuredEnd = outputFrames - (cutAtEnd ? edge : 0);
        const std::int64_t belowEdge = EdgeFrames(ranges.below, sas.header.sampleRate, frameLength);
        const std::int64_t belowFirst = request.start > 0 ? belowEdge : 0;
        const std::int64_t belowEnd = outputFrames - (cutAtEnd ? belowEdge : 0);
        const bool check = ranges.below.lowestNote < ranges.heard.lowestNote;
        std::int64_t outFirst = 0;
        if (corrected) {
          outFirst = std::clamp<std::int64_t>(timeline.OutputFrame(inFirst, frameLength), 0, outputFrames);
          const std::int64_t outEnd =
              std::clamp<std::int64_t>(timeline.OutputFrame(inEnd, frameLength), outFirst, outputFrames);
          // The check first, the caller hearing of the run's start all along, then the figures,
          // the caller hearing of each block (the program keeps its sound and window going in
          // there) as the note is measured.
          // Output frames first <= i < end read at a hop of `stride` frames into `into`: entry k
          // holds output frame (first / stride + k) x stride.
          const auto analyse = [&](const GeneralSettings& settings, std::uint32_t stride,
                                   std::vector<SasFrame>& into, bool moving) {
            const auto from = static_cast<std::uint32_t>(outFirst) / stride;
            const auto to = static_cast<std::uint32_t>((outEnd + stride - 1) / stride);
            into.assign(to - from, SasFrame{});
            return to <= from ||
                   AnalyseFrames(
                       *corrected, settings, frameLength * stride, from, to,
                       [&](std::uint32_t blockFirst, std::span<const SasFrame> frames) {
                         std::copy(frames.begin(), frames.end(), into.begin() + (blockFirst - from));
                       },
                       [&](std::uint64_t frame, std::uint64_t) {
                         const auto reached = moving ? static_cast<std::uint32_t>(frame - from) : 0;
                         return !progress || progress(inFirst + reached, end);
                       });
          };
          work.below.clear();
          if ((check && !analyse(ranges.below, CheckStride, work.below, false)) ||
              !analyse(ranges.heard, 1, work.output, true)) {
            ok = false;
            return false;
          }
        }

        if (corrected) {
          for (std::uint32_t f = inFirst; f < inEnd; ++f) {
            const SasFrame& frame = run[f - runFirst];
            if (!FrameHasPitch(frame) || frame.TargetPitch() == 0) continue;
            const std::int64_t at = timeline.OutputFrame(f, frameLength);
            if (at < measuredFirst || at >= measuredEnd) continue;
            ++report.comparedFrames;
            // The middle of where the render put the frame's sound.
            const std::int64_t o = (at + timeline.OutputFrame(f + 1, frameLength)) / 2 - outFirst;
            if (o < 0 || o >= static_cast<std::int64_t>(work.output.size())) continue;
            const SasFrame& heard = work.output[static_cast<std::size_t>(o)];
            if (heard.sourcePitch == 0 || !(heard.Amplitude() > silence)) continue;
            const double shift = static_cast<double>(heard.sourcePitch) - frame.TargetPitch();
            ++shifts[ShiftBin(shift)];
          }
        }

        SplitNotes(std::span<const double>(work.source.data(), n), frameRate, work.smoothed, work.scratch,
                   work.segments);
        const std::span<const double> weight(work.weight.data(), n);
        for (const NoteSegment& segment : work.segments) {
          // Relative to the run, limited to the range.
          const std::size_t a = std::max<std::size_t>(segment.first, inFirst - runFirst);
          const std::size_t b = std::min<std::size_t>(segment.end, inEnd - runFirst);
          if (a >= b) continue;
          // Where the range cuts the note, the corrected file's analysis cannot be trusted for a
          // window's length (see measuredFirst); both sides leave those frames out alike.
          const std::size_t cutFirst = a != segment.first && request.start > 0 ? a + edgeFrames : a;
          const std::size_t cutEnd = b != segment.end ? b - std::min(b, edgeFrames) : b;
          // The held part as Snap to Scale centres it (next to another note, clear of the glide
          // the detector still hears).
          const FrameSpan centred = CentreSpan(segment, n, frameRate, work.source);
          const std::size_t heldFirst = std::clamp<std::size_t>(centred.first, cutFirst, b);
          const std::size_t heldEnd =
              std::clamp<std::size_t>(centred.end, heldFirst, std::max(heldFirst, cutEnd));
          const bool held = heldEnd > heldFirst;
          NoteReport note;
          note.firstFrame = runFirst + static_cast<std::uint32_t>(a);
          note.endFrame = runFirst + static_cast<std::uint32_t>(b);
          note.startSeconds = note.firstFrame * seconds;
          note.lengthSeconds = static_cast<double>(b - a) * seconds;
          note.heldFirst = runFirst + static_cast<std::uint32_t>(heldFirst);
          note.heldEnd = runFirst + static_cast<std::uint32_t>(heldEnd);
          note.partial = a != segment.first || b != segment.end;
          // Centres over whole vibrato cycles of the held part; a note without one (cut to its
          // glide) over what there is.
          const std::size_t ca = held ? heldFirst : a;
          const std::size_t cb = held ? heldEnd : b;
          if (work.cycles.size() < 2 * n) work.cycles.resize(2 * n);
          const FrameSpan whole =
              held ? CentreCycles(work.source, weight, ca, cb, half, frameRate, work.cycles, work.order)
                   : FrameSpan{ca, cb};
          const double target = SpanCentre(work.target, weight, whole, work.cycles, work.order);
          const double centre = SpanCentre(work.source, weight, whole, work.cycles, work.order);
          note.note = std::clamp(static_cast<int>(std::lround((corrected ? target : centre) / 100)), 0,
                                 NoteCount - 1);
          note.targetCents = target - note.note * 100.0;
          note.centreCents = centre - note.note * 100.0;
          const std::span<const double> sung(work.source.data() + a, b - a);
          const VibratoFigures before =
              MeasureVibrato(sung, ca - a, cb - a, held ? minFrames : b - a + 1, frameRate, work.vibrato);
          if (held) {
            const double period = before.rate > 0 ? frameRate / before.rate : 0.0;
            note.driftCents = Drift(sung.subspan(heldFirst - a, heldEnd - heldFirst), period, work.scratch);
          }
          note.vibratoBefore = before.depth;
          note.rateBefore = before.rate;
          if (corrected && held) {
            // The note and its held part where the render put them in the corrected file.
            const auto outAt = [&](std::size_t i) {
              return static_cast<std::size_t>(std::clamp<std::int64_t>(
                  timeline.OutputFrame(runFirst + static_cast<std::uint32_t>(i), frameLength) - outFirst, 0,
                  static_cast<std::int64_t>(work.output.size())));
            };
            const std::size_t oa = outAt(a);
            const std::size_t ob = std::max(oa, outAt(b));
            const std::size_t oha = std::clamp(outAt(heldFirst), oa, ob);
            const std::size_t ohb = std::clamp(outAt(heldEnd), oha, ob);
            work.out.assign(ob - oa, 0.0);
            work.outWeight.assign(ob - oa, 0.0);
            // What the render put at each output frame of the note: the target and the take's
            // pitch of the take's frame that landed there.
            work.expectTarget.assign(ob - oa, 0.0);
            work.expectSource.assign(ob - oa, 0.0);
            for (std::size_t f = a; f < b; ++f) {
              const std::size_t from = std::clamp(outAt(f), oa, ob);
              const std::size_t to = std::clamp(std::max(outAt(f + 1), from + 1), oa, ob);
              for (std::size_t i = from; i < to; ++i) {
                work.expectTarget[i - oa] = work.target[f];
                work.expectSource[i - oa] = FrameHasPitch(run[f]) ? work.source[f] : 0.0;
              }
            }
            for (std::size_t i = oa; i < ob; ++i) {
              const SasFrame& frame = work.output[i];
              const auto at = static_cast<std::int64_t>(i) + outFirst;
              if (frame.sourcePitch == 0 || !(frame.Amplitude() > silence) || at < measuredFirst ||
                  at >= measuredEnd)
                continue;
              // Where the check hears the sound lower, the reading was an overtone.
              double heard = frame.sourcePitch;
              const auto k = static_cast<std::size_t>((at + CheckStride / 2) / CheckStride -
                                                      static_cast<std::uint64_t>(outFirst) / CheckStride);
              if (check && at >= belowFirst && at < belowEnd && k < work.below.size() &&
                  work.below[k].sourcePitch > 0 && work.below[k].sourcePitch + RenderedPitchCents < heard)
                heard = work.below[k].sourcePitch;
              if (!Explained(heard, work.expectTarget[i - oa], work.expectSource[i - oa])) continue;
              work.out[i - oa] = heard;
              work.outWeight[i - oa] = frame.Amplitude();
            }
            if (work.cycles.size() < 2 * (ob - oa)) work.cycles.resize(2 * (ob - oa));
            if (work.order.size() < ob - oa) work.order.resize(ob - oa);
            const FrameSpan outWhole = CentreCycles(work.out, work.outWeight, oha - oa, ohb - oa, half,
                                                    frameRate, work.cycles, work.order);
            std::size_t heldPitches = 0;
            for (std::size_t i = oha - oa; i < ohb - oa; ++i) heldPitches += work.out[i] > 0;
            std::size_t wholePitches = 0;
            for (std::size_t i = outWhole.first; i < outWhole.end; ++i) wholePitches += work.out[i] > 0;
            // Too few of the held frames measured (most of the note read where the render cannot
            // have put it), or a centre that is neither the target's nor the take's own: no
            // figure, rather than a wrong one.
            double achieved = 0;
            if (heldPitches >= std::max<std::size_t>({minFrames, 1, (ohb - oha + 1) / 2}) &&
                wholePitches > 0) {
              achieved = SpanCentre(work.out, work.outWeight, outWhole, work.cycles, work.order);
              note.achieved = Explained(achieved, target, centre);
            }
            if (note.achieved) {
              note.achievedCents = achieved - note.note * 100.0;
              note.errorCents = note.achievedCents - note.targetCents;
              const VibratoFigures after =
                  MeasureVibrato(work.out, oha - oa, ohb - oa, minFrames, frameRate, work.vibrato);
              note.vibratoAfter = after.depth;
              note.rateAfter = after.rate;
            }
          }
          report.notes.push_back(note);
        }
        return true;
      });
  report.pitchedFrames = MostAtOneShift(shifts);
  SummariseReport(report);
  return visited && ok;
}

}  // namespace

VibratoFigures NoteVibrato(std::span<const double> pitch, std::size_t heldFirst, std::size_t heldEnd,
                           double frameRate, std::vector<double>& work) {
  heldEnd = std::min(heldEnd, pitch.size());
  heldFirst = std::min(heldFirst, heldEnd);
  return MeasureVibrato(pitch, heldFirst, heldEnd,
                        static_cast<std::size_t>(std::ceil(MinHeldSeconds * frameRate)), frameRate, work);
}

bool MakeCorrectionReport(SasDocument& sas, WavDocument& corrected, const ReportRequest& request,
                          CorrectionReport& report, const ProgressCallback& progress) {
  return Measure(sas, &corrected, request, report, progress);
}

bool ListNotes(SasDocument& sas, const ReportRequest& request, CorrectionReport& report,
               const ProgressCallback& progress) {
  return Measure(sas, nullptr, request, report, progress);
}

bool ListNotesOfFrames(SasDocument& sas, std::int64_t first, std::int64_t end, CorrectionReport& report) {
  const std::int64_t frameLength = sas.header.frameLength;
  const std::int64_t frames = sas.header.frameCount;
  const auto sample = [&](std::int64_t frame) {
    return static_cast<std::uint32_t>(
        std::min<std::int64_t>(std::clamp<std::int64_t>(frame, 0, frames) * frameLength, UINT32_MAX));
  };
  return ListNotes(sas, {sample(first), sample(end), false}, report);
}

std::string RenderingDoubt(const CorrectionReport& report, const std::string& corrected,
                           const std::string& recording) {
  if (!report.corrected || report.comparedFrames < MinComparedFrames ||
      report.pitchedFrames >= MinRenderedShare * report.comparedFrames)
    return {};
  return Format(
      "%s: its pitch follows the targets at only %u of the %u frames where %s and its targets have a pitch",
      corrected.c_str(), report.pitchedFrames, report.comparedFrames, recording.c_str());
}

void SummariseReport(CorrectionReport& report) {
  std::vector<double> errors;
  for (const NoteReport& note : report.notes)
    if (note.achieved) errors.push_back(std::abs(note.errorCents));
  report.meanAbsError = 0;
  report.p95AbsError = 0;
  if (errors.empty()) return;
  std::sort(errors.begin(), errors.end());
  double sum = 0;
  for (const double e : errors) sum += e;
  report.meanAbsError = sum / static_cast<double>(errors.size());
  const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(errors.size())));
  report.p95AbsError = errors[std::max<std::size_t>(rank, 1) - 1];
}

namespace {

// A figure of width `width` with one decimal, or - when it was not measured.
std::string Figure(double value, int width, bool sign) {
  if (!std::isfinite(value)) return Format("%*s", width, "-");
  return sign ? Format("%+*.1f", width, value) : Format("%*.1f", width, value);
}

std::string NoteColumn(const NoteReport& note) {
  return Format("%-5s", (std::string(NoteName(note.note)) + (note.partial ? "~" : "")).c_str());
}

// The note's frames of the SAS, firstFrame <= i < endFrame, last on its line so that the
// columns before them keep their places: what a script passes on as frames to another command.
constexpr std::string_view FramesHeader = "  first-frame  end-frame\n";

std::string FramesColumns(const NoteReport& note) {
  return Format("%13u%11u\n", static_cast<unsigned>(note.firstFrame), static_cast<unsigned>(note.endFrame));
}

std::string FramesJson(const NoteReport& note) {
  return ", \"firstFrame\": " + std::to_string(note.firstFrame) +
         ", \"endFrame\": " + std::to_string(note.endFrame) + "}";
}

}  // namespace

std::string ReportText(const CorrectionReport& report) {
  if (!report.corrected) {
    std::string text = "   start  length  note    centre   drift  vibrato   rate" + std::string(FramesHeader);
    for (const NoteReport& note : report.notes) {
      text += Format("%8.3f %7.3f  ", note.startSeconds, note.lengthSeconds) + NoteColumn(note) +
              Figure(note.centreCents, 8, true) + Figure(note.driftCents, 8, true) +
              Figure(note.vibratoBefore, 9, false) + Figure(note.rateBefore, 7, false) + FramesColumns(note);
    }
    text += Format("%zu notes (seconds, cents, Hz; ~ cut by the range)\n", report.notes.size());
    return text;
  }
  std::string text =
      "   start  length  note    target  achieved    error  vibrato-in  rate-in  vibrato-out  rate-out" +
      std::string(FramesHeader);
  for (const NoteReport& note : report.notes) {
    const double unmeasured = NotMeasured;
    text += Format("%8.3f %7.3f  ", note.startSeconds, note.lengthSeconds) + NoteColumn(note) +
            Figure(note.targetCents, 8, true) +
            Figure(note.achieved ? note.achievedCents : unmeasured, 10, true) +
            Figure(note.achieved ? note.errorCents : unmeasured, 9, true) +
            Figure(note.vibratoBefore, 12, false) + Figure(note.rateBefore, 9, false) +
            Figure(note.vibratoAfter, 13, false) + Figure(note.rateAfter, 10, false) + FramesColumns(note);
  }
  text += Format(
      "%zu notes (seconds, cents, Hz; ~ cut by the range); mean |error| %.1f cents, "
      "95th percentile %.1f cents\n",
      report.notes.size(), report.meanAbsError, report.p95AbsError);
  return text;
}

std::string ReportJson(const CorrectionReport& report) {
  std::string text = "{\"notes\": [";
  bool firstNote = true;
  for (const NoteReport& note : report.notes) {
    text += firstNote ? "\n  " : ",\n  ";
    firstNote = false;
    const std::string name(NoteName(note.note));
    text += "{\"start\": " + JsonNumber(note.startSeconds, 3) +
            ", \"length\": " + JsonNumber(note.lengthSeconds, 3) + ", \"note\": \"" + name +
            "\", \"partial\": " + (note.partial ? "true" : "false") + ", ";
    if (!report.corrected) {
      text += "\"centre\": " + JsonNumber(note.centreCents, 2) +
              ", \"drift\": " + JsonNumber(note.driftCents, 2) +
              ", \"vibrato\": " + JsonNumber(note.vibratoBefore, 2) +
              ", \"rate\": " + JsonNumber(note.rateBefore, 2) + FramesJson(note);
      continue;
    }
    const auto achieved = [&note](double value) { return note.achieved ? JsonNumber(value, 2) : "null"; };
    text += "\"target\": " + JsonNumber(note.targetCents, 2) +
            ", \"achieved\": " + achieved(note.achievedCents) + ", \"error\": " + achieved(note.errorCents) +
            ", \"vibratoBefore\": " + JsonNumber(note.vibratoBefore, 2) +
            ", \"rateBefore\": " + JsonNumber(note.rateBefore, 2) +
            ", \"vibratoAfter\": " + achieved(note.vibratoAfter) +
            ", \"rateAfter\": " + achieved(note.rateAfter) + FramesJson(note);
  }
  text += "\n]";
  if (report.corrected) {
    text += ", \"meanAbsError\": " + JsonNumber(report.meanAbsError, 2) +
            ", \"p95AbsError\": " + JsonNumber(report.p95AbsError, 2);
  }
  return text + "}\n";
}

}  // namespace vocara
