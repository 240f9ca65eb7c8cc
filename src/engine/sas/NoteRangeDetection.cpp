#include "engine/sas/NoteRangeDetection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <span>
#include <vector>

#include "base/Instruments.h"
#include "base/Settings.h"
#include "engine/sas/Analysis.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

// Half the span around a frame whose level decides whether the frame is quiet: about the
// longest sum of the notes a voice reaches, so a frame at the end of a note is not judged by the
// silence after it.
constexpr std::uint32_t LevelHalfSpan = 2048;

// A tone puts most of its level into its notes; noise spreads it over all of them. A frame
// whose strongest note holds less than this share of its peak level (RMS x sqrt 2) is noise.
constexpr double TonalShare = 0.3;

// Below this RMS (percent of full scale, about -80 dB) a frame is silence whatever the rest.
constexpr double SilentRms = 0.01;

// A note counts once this many frames in a row give it: held for about 150 ms, longer than a
// glide, a consonant or the octave slip of a weak fundamental lasts.
constexpr int HeldFrames = 3;

// Fewer held frames than this are too few to call a range.
constexpr int MinimumHeldFrames = 2;

// A held note this close (semitones) to the first or last key is at the end of what the
// detector can see: the voice may go further.
constexpr int EdgeReach = 1;

// A fundamental whose second and third partials are both above the threshold needs only this
// share of the threshold itself (a bass's E2 under partials five times as strong).
constexpr double WeakFundamentalShare = 0.25;
// Semitones from a fundamental to its partials 2 to 8.
constexpr std::array<int, 7> HarmonicSteps{12, 19, 24, 28, 31, 34, 36};

double Strongest(const NoteSpectrum& spectrum, int first, int last) {
  double best = 0.0;
  for (int n = std::max(first, -1); n <= std::min(last, NoteCount); ++n)
    best = std::max(best, spectrum.At(n));
  return best;
}

// The middle of step i, inside the data.
std::uint32_t FrameCentre(std::uint32_t i, std::uint32_t step, std::uint32_t sampleCount) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(std::uint64_t{i} * step + step / 2, sampleCount - 1));
}

NoteRangeResult Cancelled(NoteRangeResult& result) {
  result = NoteRangeResult{};
  result.result = LongOperationResult::Cancelled;
  return result;
}

// The RMS of the middle of a loaded window, in the window's units.
double CentreRms(std::span<const double> window) {
  const std::size_t middle = window.size() / 2;
  const std::size_t half = std::min<std::size_t>(LevelHalfSpan, middle);
  double sum = 0.0;
  for (std::size_t i = middle - half; i < middle + half; ++i) sum += window[i] * window[i];
  return half == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(2 * half));
}

// The note strengths of a frame are sums over about 17 periods of each note, so a low note's
// sum is long. Each note is summed over the window averaged over d = 2^level samples at a time,
// the largest d that still leaves CoarseSamplesPerPeriod samples a period of the note: the
// average puts what could fold onto the note 24 dB down (below the threshold a peak needs) and
// changes the note's own strength by under a percent, and every note then costs about the same
// few hundred steps instead of the lowest costing tens of thousands.
constexpr double CoarseSamplesPerPeriod = 16.0;
constexpr int CoarseLevels = 7;  // d = 1 .. 64

struct CoarseNote {
  int level = 0;
  NoteParams params;        // over the averaged window: first..last in its slots, one step = d samples
  std::size_t phasors = 0;  // where the note's turns start in the table
};

// The window averaged over 2^level samples at a time, for every level, in the window's own slots
// each after the other: level l starts where level l - 1 ends.
class CoarseWindows {
 public:
  CoarseWindows(std::uint32_t windowLength, std::uint32_t rate) : length_(windowLength + 1) {
    std::size_t size = 0;
    for (int l = 0; l < CoarseLevels; ++l) {
      offset_[l] = size;
      size_[l] = length_ >> l;
      size += 2 * size_[l];  // room for the window to move on before it goes back to the front
    }
    storage_.resize(size);
    for (int q = -2; q <= 2 * NoteCount; q += 2) {
      const double samplesPerPeriod = rate / (440.0 * std::exp2((q / 2 - 48) / 12.0));
      int level = 0;
      while (level + 1 < CoarseLevels && samplesPerPeriod / (2 << level) >= CoarseSamplesPerPeriod) ++level;
      const int d = 1 << level;
      NoteParams p = MakeNoteParams(q, rate, windowLength);
      // The same sum over samples d times as long: the span and step scale, the middle stays.
      p.span /= d;
      p.inverseSpan = 1.0 / p.span;
      const double omega = std::atan2(p.sinStep, p.cosStep) * d;
      p.cosStep = std::cos(omega);
      p.sinStep = std::sin(omega);
      const double middle = (windowLength * 0.5 - (d - 1) * 0.5) / d;
      p.first = std::max<std::int64_t>(static_cast<std::int64_t>(middle - p.span * 0.5), 0);
      p.last = std::min<std::int64_t>(static_cast<std::int64_t>(middle + p.span * 0.5),
                                      static_cast<std::int64_t>(size_[level]) - 1);
      notes_[static_cast<std::size_t>(q / 2 + 1)] = {level, p, phasors_.size()};
      // The turns of the phasor recurrence, once, so a frame's sums are plain products.
      double re = 1.0;
      double im = 0.0;
      for (std::int64_t k = p.first; k <= p.last; ++k) {
        phasors_.push_back(re);
        phasors_.push_back(im);
        const double nextRe = p.cosStep * re - p.sinStep * im;
        im = p.sinStep * re + p.cosStep * im;
        re = nextRe;
      }
    }
  }

  // The window of the frame around sample pos, as LoadAnalysisWindow fills it.
  std::span<double> Full() { return {View(0), length_}; }

  // Loads the window around sample pos and averages it. A window that moved on by a whole number
  // of the coarsest averages keeps what it holds: its slots move down, and only the new samples
  // are read and averaged, so frames a step apart read each sample about once.
  void Load(WavDocument& document, std::uint32_t pos) {
    const std::size_t w = length_ - 1;
    const std::int64_t start = std::int64_t{pos} - static_cast<std::int64_t>(w / 2);
    const std::int64_t shift = start - start_;
    std::size_t changed = 0;  // the first slot of the window whose sample is new
    if (loaded_ && start_ >= 0 && shift > 0 && shift < static_cast<std::int64_t>(w) &&
        shift % Coarsest == 0 && start + static_cast<std::int64_t>(w) < std::int64_t{1} << 32) {
      const auto moved = static_cast<std::size_t>(shift);
      for (int l = 0; l < CoarseLevels; ++l) Slide(l, moved >> l);
      changed = w - moved;
      WavReadWindow(document,
                    static_cast<std::uint32_t>(start + static_cast<std::int64_t>(changed + moved / 2)),
                    {View(0) + changed, moved});
      View(0)[w] = 0.0;
    } else {
      head_.fill(0);
      LoadAnalysisWindow(document, pos, Full());
    }
    start_ = start;
    loaded_ = true;
    for (int l = 1; l < CoarseLevels; ++l) {
      const double* from = View(l - 1);
      double* to = View(l);
      for (std::size_t m = changed >> l; m < size_[l]; ++m) to[m] = 0.5 * (from[2 * m] + from[2 * m + 1]);
    }
  }

  // The strengths of notes -1..88 in the loaded window.
  void Measure(NoteSpectrum& spectrum) {
    for (int n = -1; n <= NoteCount; ++n) {
      const CoarseNote& note = notes_[static_cast<std::size_t>(n + 1)];
      const NoteParams& p = note.params;
      const double* x = View(note.level) + p.first;
      const double* turn = phasors_.data() + note.phasors;
      const auto steps = static_cast<std::size_t>(p.last - p.first + 1);
      // Four sums each, so the additions do not wait on each other and can share vector lanes.
      std::array<double, 4> re{};
      std::array<double, 4> im{};
      std::size_t k = 0;
      for (; k + 4 <= steps; k += 4)
        for (std::size_t j = 0; j < 4; ++j) {
          re[j] += x[k + j] * turn[2 * (k + j)];
          im[j] += x[k + j] * turn[2 * (k + j) + 1];
        }
      for (; k < steps; ++k) {
        re[0] += x[k] * turn[2 * k];
        im[0] += x[k] * turn[2 * k + 1];
      }
      const double sumRe = (re[0] + re[1]) + (re[2] + re[3]);
      const double sumIm = (im[0] + im[1]) + (im[2] + im[3]);
      spectrum.At(n) = NoteAmplitude(sumRe, sumIm, p);
    }
  }

 private:
  static constexpr std::int64_t Coarsest = std::int64_t{1} << (CoarseLevels - 1);

  double* View(int level) { return storage_.data() + offset_[level] + head_[level]; }

  // Moves level l's window on by `slots`; when it would run out of room, what it keeps goes
  // back to the front (once every many frames).
  void Slide(int level, std::size_t slots) {
    if (head_[level] + slots + size_[level] > 2 * size_[level]) {
      std::memmove(storage_.data() + offset_[level], View(level) + slots,
                   (size_[level] - slots) * sizeof(double));
      head_[level] = 0;
    } else {
      head_[level] += slots;
    }
  }

  std::size_t length_;
  bool loaded_ = false;
  std::int64_t start_ = 0;  // the sample in the window's slot 0
  std::array<std::size_t, CoarseLevels> head_{};
  std::array<std::size_t, CoarseLevels> offset_{};
  std::array<std::size_t, CoarseLevels> size_{};
  std::array<CoarseNote, NoteCount + 2> notes_{};
  std::vector<double> storage_;
  std::vector<double> phasors_;  // (re, im) of every step of every note
};

}  // namespace

int FrameFundamental(const NoteSpectrum& spectrum, double baseNoteThreshold) {
  const double strongest = Strongest(spectrum, 0, NoteCount - 1);
  if (strongest <= 0.0) return -1;
  const double threshold = baseNoteThreshold * strongest * 0.01;
  int strongestNote = 0;
  for (int n = 0; n < NoteCount; ++n)
    if (spectrum.At(n) >= strongest) {
      strongestNote = n;
      break;
    }
  for (int n = 0; n < NoteCount; ++n) {
    const double s = spectrum.At(n);
    if (!(s > spectrum.At(n - 1) && s > spectrum.At(n + 1) && s > threshold * WeakFundamentalShare)) continue;
    if (s >= strongest) return n;
    // A peak below the strongest is a fundamental when its second and third partials (an
    // octave, and an octave and a fifth above) are there too; a peak an octave under the voice
    // has the voice as its "octave" but nothing at the fifth above it. Such a peak may be well
    // under the threshold: a low voice's fundamental is often much weaker than its partials.
    const double octave = Strongest(spectrum, n + 11, n + 13);
    const double twelfth = Strongest(spectrum, n + 18, n + 20);
    if (octave > threshold && twelfth > threshold) return n;
    // A vowel's formant lifts one partial far above the others (the fifth of a low voice's /a/,
    // near 700 Hz): the peak is a fundamental when the strongest note is one of its partials
    // and its own second and third partials are there, if weaker than the threshold.
    const int above = strongestNote - n;
    const bool partial = std::any_of(HarmonicSteps.begin(), HarmonicSteps.end(),
                                     [&](int step) { return std::abs(above - step) <= 1; });
    if (partial && octave > threshold * WeakFundamentalShare && twelfth > threshold * WeakFundamentalShare)
      return n;
  }
  return -1;
}

NoteRangeResult DetectNoteRange(WavDocument& document, const GeneralSettings& settings,
                                const ProgressCallback& progress) {
  NoteRangeResult result;
  const std::uint32_t count = document.sampleCount;
  const std::uint32_t rate = document.header.fields.sampleRate;
  if (count == 0 || rate == 0) return result;
  // A whole number of the coarsest averages, so the window of one frame moves on to the next.
  const std::uint64_t coarsest = std::uint64_t{1} << (CoarseLevels - 1);
  const std::uint64_t nominal = std::uint64_t{rate} * NoteRangeStepMs / 1000;
  const auto step = static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>((nominal + coarsest / 2) / coarsest * coarsest, 1, count));
  const std::uint32_t frames = (count + step - 1) / step;
  result.frames = static_cast<int>(frames);
  const std::uint64_t total = std::uint64_t{2} * frames;
  auto report = [&](std::uint64_t done) { return !progress || progress(done, total); };

  // The level of every step of the file, read once from start to end in long runs; a frame's
  // level is then the RMS of the steps its level span covers, so a quiet frame costs nothing more.
  std::vector<double> energy(frames);  // sum of squares of each step, in percent of full scale
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (!report(i)) return Cancelled(result);
    const std::uint32_t left = i * step;
    const std::uint32_t right =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{left} + step, count));
    const double rms = WavRangeRms(document, left, right);
    energy[i] = rms * rms * (right - left);
  }
  std::vector<double> levels(frames);
  double loudest = 0.0;
  const std::uint32_t reach = LevelHalfSpan / step;  // steps on each side of a frame's own
  for (std::uint32_t i = 0; i < frames; ++i) {
    const std::uint32_t first = i > reach ? i - reach : 0;
    const std::uint32_t last = std::min(frames - 1, i + reach);
    double sum = 0.0;
    for (std::uint32_t k = first; k <= last; ++k) sum += energy[k];
    const std::uint64_t samples =
        std::min<std::uint64_t>(std::uint64_t{last + 1} * step, count) - std::uint64_t{first} * step;
    levels[i] = std::sqrt(sum / static_cast<double>(samples));
    loudest = std::max(loudest, levels[i]);
  }
  const double quiet = std::max(SilentRms, loudest * NoteRangeQuiet);

  // Then the fundamental of every loud frame. A note counts when HeldFrames frames in a row give
  // it; fewer are a glide, a consonant or a stray partial. Two frames still tell whether the
  // voice went past the notes that were held.
  CoarseWindows coarse(AnalysisWindowLength(0, rate), rate);
  NoteSpectrum spectrum;
  int previous = -1;  // the note of the last frame, -1 for none
  int run = 0;        // frames in a row that gave the last note
  int lowest = NoteCount;
  int highest = -1;
  int lowestBrief = NoteCount;
  int highestBrief = -1;
  // The fundamental of frame i, worked out once.
  constexpr int NotLooked = -2;
  std::vector<int> notes(frames, NotLooked);
  const auto fundamental = [&](std::uint32_t i) {
    if (notes[i] != NotLooked) return notes[i];
    notes[i] = -1;
    if (levels[i] < quiet) return -1;
    coarse.Load(document, FrameCentre(i, step, count));
    coarse.Measure(spectrum);
    if (Strongest(spectrum, 0, NoteCount - 1) >= TonalShare * std::sqrt(2.0) * CentreRms(coarse.Full()))
      notes[i] = FrameFundamental(spectrum, settings.baseNoteThreshold);
    return notes[i];
  };
  for (std::uint32_t i = 0; i < frames; ++i) {
    if (!report(std::uint64_t{frames} + i)) return Cancelled(result);
    // An odd frame between two that give the same note gives it too: no note held long enough
    // to count fits between them. Looking only where the voice moves halves the work on held
    // notes.
    int note = 0;
    if (i % 2 == 1 && i + 1 < frames && previous >= 0 && levels[i] >= quiet && fundamental(i + 1) == previous)
      note = previous;
    else
      note = fundamental(i);
    run = note >= 0 && note == previous ? run + 1 : 1;
    if (note >= 0) {
      ++result.framesUsed;
      if (run >= HeldFrames) {
        lowest = std::min(lowest, note);
        highest = std::max(highest, note);
        ++result.framesHeld;
      }
      // A note of two frames in a row was sung in passing; one frame alone is more likely the
      // mixture of two notes at a change, or a ragged start or end.
      if (run == 2) {
        lowestBrief = std::min(lowestBrief, note);
        highestBrief = std::max(highestBrief, note);
      }
    }
    previous = note;
  }
  report(total);

  if (result.framesHeld < MinimumHeldFrames) return result;
  result.found = true;
  result.lowestNote = std::clamp(lowest - NoteRangeMargin, 0, NoteCount - 1);
  result.highestNote = std::clamp(highest + NoteRangeMargin, 0, NoteCount - 1);
  // The edges: held notes where the detector's own reach ends, or fundamentals heard in passing
  // beyond the range found.
  result.lowEdge = lowest <= EdgeReach || lowestBrief < result.lowestNote;
  result.highEdge = highest >= NoteCount - 1 - EdgeReach || highestBrief > result.highestNote;
  return result;
}

}  // namespace vocara
