// Notes as a singer sings them: the frames of a SAS split into voiced runs and the runs into
// note segments, each with its pitch centre. Shared by Snap to Scale (which moves each note's
// centre and keeps its vibrato) and the correction report (which measures how close each
// corrected note came).
//
// A voiced frame has a pitch (sourcePitch > 0), time correction on (bit 15 of targetPitch
// clear: the user has taken such frames out of the automatic work) and an amplitude above the
// silence threshold (p percent of full scale as p x 4294967295 x 0.01, as the range operations
// take it). A voiced run is a maximal run of consecutive voiced frames.
//
// Inside a run a note is a held level: a note begins wherever the pitch moves to another level
// and stays there, and two held parts are one note only when nothing but vibrato or drift
// separates them (no movement to another level between them, centres within 25 cents). Levels
// are held in two ways. A note held long enough to sing vibrato is seen through the note
// low-pass (a 150 ms moving average applied twice: slow drift passes, vibrato of 4 Hz and
// faster mostly does not): where the mean of the low-passed pitch over the 250 ms after a frame
// (a whole vibrato cycle at 4 Hz) differs by 20 cents or more from the mean over the 250 ms
// before it, the most around, with the low-pass steady (moving slower than 250 cents a second)
// on both sides, the note changes half a glide (30 ms) before the low-pass crosses halfway. The
// short notes of a fast run hold flat instead: the lightly smoothed pitch (20 ms) stays inside 15
// cents for 70 ms or more (a vibrato crest does not); two such holds, or one and a steady
// low-pass, 50 cents or more apart are two notes, changing where the glide between them begins.
// Sung low, where the detector hears a note over 80 ms or more (below about G#3), a quick run's
// notes hold no flat level, only a slower stretch between two moves the same way: one that stays
// inside 30 cents for a held part, the pitch a jump below it 100 ms before and a jump above it
// 100 ms after (or the other way), is held as a flat hold is; a vibrato's crest comes back.
// A stretch between changes that holds no level of its own (a scoop, a fall, a long glide)
// belongs to the note after it, the last one to the note before it; neighbours whose median
// pitches lie within 25 cents and nearest the same semitone are one note. Two held levels 12
// cents or more apart on either side of the middle between two semitones are two notes (a B
// sung sharp into a C sung flat, legato); a glide of a third or more is shared by the notes at
// the middle of its movement, a shorter one belongs to the note it lands on. A voiced run
// shorter than 75 ms (a consonant's voiced edge, a catch in a breath) holds no note and gives
// no segment. A note repeated after a breath or an unvoiced
// consonant lies in another voiced run and so is another note. Vibrato up to +-100 cents at 4 to
// 8 Hz, a slow drift, a scoop into a note and a fall after it stay inside the note. Frames the
// detector read an octave off for a moment (FoldOctaveJumps) count at the note around them, so
// that they neither split it nor make a note of their own an octave away.
//
// A note as held (steadyFirst .. steadyEnd) leaves out the scoop into it, the glide or fall out of
// it and, next to a note a legato step away, the move between the two levels; next to another
// note the frames the detector still hears the change in are left out too (CentreSpan). Its
// centre is taken over that held part alone, the same way on the pitch sung, on the targets and
// on a corrected file: over the whole cycles of its vibrato, the line through them with the swing
// fitted out (a vibrato setting in late is measured over its own cycles; a frame the analysis lost
// at a crest does not lean it), or, for a note held without vibrato, the mean of the whole held
// part (CentreCycles, SpanCentre).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "base/Progress.h"
#include "engine/sas/SasRangeOps.h"
#include "engine/sas/SasRecords.h"

namespace vocara {

struct SasDocument;

// The note detector hears a note over this many of its periods (the span of its Fourier sums,
// 1 / (2^(1/12) - 1)): a glide or a swing reaches the pitch it reads that much smeared.
inline constexpr double DetectorSpanPeriods = 16.817;

// Frames per second of a SAS: sampleRate / frameLength (0 when either is 0).
double SasFrameRate(const SasHeader& header);

// The amplitude above which a frame counts as voiced: silenceThreshold percent of full scale.
double SilenceLevel(double silenceThresholdPercent);

// Whether the frame is voiced at that level (see above).
bool VoicedFrame(const SasFrame& frame, double silenceLevel);

// pitch with the detector's slips taken out, into out (pitch.size() values, not pitch itself): a
// frame more than `cents` from the median of the 2 x reach + 1 frames around it (reach at most
// MaxSlipReach) takes that median; a held level, a step, a glide and a swing stay as they are.
inline constexpr std::size_t MaxSlipReach = 4;
void ReplaceSlips(std::span<const double> pitch, std::size_t reach, double cents, std::span<double> out);

// pitch with the detector's octave jumps folded back, into out (pitch.size() values, not pitch
// itself): where frames a weak fundamental or a range set too high made the detector read an
// octave off (1200 cents within 100 of the frame sung before, at most OctaveJumpSeconds of them,
// up to two frames between whose window saw both) and the pitch then comes back within 100 cents
// of that frame, those frames move by whole octaves onto the note around them, as Repair Octave
// Jumps measures them again. A note held longer, or one that does not come back, was sung there.
inline constexpr double OctaveJumpSeconds = 0.250;
void FoldOctaveJumps(std::span<const double> pitch, double frameRate, std::span<double> out);

// The detector's brief jumps in n frames of pitch(i), as Repair Octave Jumps and the note model
// both find them: a frame j that `jumped(from, to)` from one of the frame before it or the
// TransitionFrames before that (whose window saw both sides) starts a jump from that frame r; the
// frames after j that also jumped from it are the jump; if it lasts at most `longest` frames and
// the pitch comes back within `backCents` of frame r within TransitionFrames after it, at frame m,
// `found(r, m)` is told (frames r + 1 .. m - 1 jumped) and says whether to look on.
inline constexpr std::size_t JumpTransitionFrames = 2;
template <typename Pitch, typename Jumped, typename Found>
void ForEachPitchJump(std::size_t n, Pitch pitch, std::size_t longest, double backCents, Jumped jumped,
                      Found found) {
  std::size_t j = 1;
  while (j < n) {
    std::size_t r = j;
    for (std::size_t t = 0; t <= JumpTransitionFrames && t < j; ++t)
      if (jumped(pitch(j - 1 - t), pitch(j))) {
        r = j - 1 - t;
        break;
      }
    if (r == j) {
      ++j;
      continue;
    }
    const double before = pitch(r);
    std::size_t k = j + 1;
    while (k < n && jumped(before, pitch(k))) ++k;
    std::size_t m = k;
    while (m < n && m - k <= JumpTransitionFrames && std::abs(pitch(m) - before) > backCents) ++m;
    if (m < n && m - k <= JumpTransitionFrames && k - j <= longest) {
      if (!found(r, m)) return;
      j = m + 1;
    } else {
      j = k;
    }
  }
}

// The frames of the note low-pass at a frame rate: half the 150 ms moving average, at least 1.
int NoteLowPassHalfWidth(double frameRate);

// x low-passed in place as the note low-pass does: a centred moving average over 2 x half + 1
// values, cut short at the ends of x (the mean of those that exist), applied twice. scratch
// must hold x.size() values.
void NoteLowPass(std::span<double> x, int half, std::span<double> scratch);

// Frames first <= i < end of a run, relative to the run's first frame.
// steadyFirst <= i < steadyEnd is the note as held, without the glide or scoop into it or the
// fall after it: from the first to the last frame whose lightly smoothed pitch lies within 20
// cents of the note's median (the whole segment when none does).
struct NoteSegment {
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  std::uint32_t steadyFirst = 0;
  std::uint32_t steadyEnd = 0;
};

// Splits the pitches of one voiced run (cents, one per frame) into segments. smoothed and
// scratch must hold pitch.size() values; segments is cleared and filled in order, covering the
// run without gaps, or left empty for a run too short to hold a note.
void SplitNotes(std::span<const double> pitch, double frameRate, std::span<double> smoothed,
                std::span<double> scratch, std::vector<NoteSegment>& segments);

// The amplitude-weighted median: the first value, in ascending order, at which the weights
// summed from the lowest value reach half of all weights. Weights of 0 everywhere count as 1
// each. order must hold values.size() indexes. 0 for no values.
double WeightedMedian(std::span<const double> values, std::span<const double> weights,
                      std::span<std::uint32_t> order);

// A note's centre: the mean of the values within 150 cents of their amplitude-weighted median
// (an octave slip or a stray frame a tone or more off does not move it; a vibrato of +-100
// cents with a drift stays in). Over whole vibrato cycles a mean is where the swing is centred;
// a median leans by a frame's step of the swing for every frame more on one side, several cents
// under a wide vibrato. Each frame counts once: under vibrato a voice's level follows its pitch
// (the partials move across the formants), and a mean weighted by level leans towards the louder
// side of the swing by several cents, where a tuner hears the middle. order as for
// WeightedMedian.
double NoteCentre(std::span<const double> values, std::span<const double> weights,
                  std::span<std::uint32_t> order);

// The part of a note's held frames first <= i < end whose pitch a centre is taken over: from
// the first to the last upward crossing of the pitch through its note low-pass (run over the
// held part alone), so that it spans whole vibrato cycles (`cycles` of them). A median over a
// cycle and a half (and a mean) leans towards the extra half by up to a third of the depth, which
// would put a note with vibrato off the scale by several cents. The held part itself, with no
// cycles, when it holds no whole cycle. Frames without a pitch (0) neither cross nor count.
// scratch must hold 2 x (end - first).
struct FrameSpan {
  std::size_t first = 0;
  std::size_t end = 0;
  std::size_t cycles = 0;
};
FrameSpan WholeCycles(std::span<const double> pitch, std::size_t first, std::size_t end, int half,
                      std::span<double> scratch);

// What a note's centre is taken over, before and after correction alike: the whole cycles of its
// held part first <= i < end (WholeCycles) where it sings a vibrato there (3 to 10 cycles a
// second, swinging at least +-MinCentreSwingCents about its line); otherwise the whole held part
// (cycles 0): the wobble of a plain held note crosses its low-pass at random, and a few of its
// frames would say less than all of them. scratch as for WholeCycles, order for WeightedMedian.
inline constexpr double MinCentreSwingCents = 5;
FrameSpan CentreCycles(std::span<const double> pitch, std::span<const double> weights, std::size_t first,
                       std::size_t end, int half, double frameRate, std::span<double> scratch,
                       std::span<std::uint32_t> order);

// A note's centre over a span of CentreCycles (pitch, weights: the same frames it was found on,
// or the targets of those frames; 0 where there is no pitch). Without cycles NoteCentre of the
// frames with a pitch. Over whole cycles the line through the pitches with the swing at their
// rate taken out (a least-squares fit of a line and one sine of the span's period) at the span's
// middle: a plain mean over whole cycles is the same where every frame has a pitch, but where the
// analysis lost a few frames (most often at a crest, where a low voice's partials cross its
// formants) the mean leans to the other side of the swing by several cents, the fit does not.
// Frames more than 150 cents from the weighted median (a slip) do not count. scratch must hold 2 x
// (span.end - span.first) values, order as many.
double SpanCentre(std::span<const double> pitch, std::span<const double> weights, const FrameSpan& span,
                  std::span<double> scratch, std::span<std::uint32_t> order);

// The frames of a held part a note's centre is taken over: next to another note in the run the
// detector still hears the glide between them for about half its span at the note's pitch (16.8
// periods: 36 ms at A#3, 76 ms at A2), so that much more is left out on that side, where the held
// part keeps twice the shortest note; at the run's ends the voice starts and stops on its level.
FrameSpan CentreSpan(const NoteSegment& segment, std::size_t runLength, double frameRate,
                     std::span<const double> pitch);

// Vibrato depth in cents: sqrt(2) x the root mean square of pitch minus its note low-pass, so
// a sinusoidal vibrato of +-d cents gives about d. scratch must hold 2 x pitch.size() values.
double VibratoDepth(std::span<const double> pitch, int half, std::span<double> scratch);

// Streams the voiced runs of frames first <= i < end of the open SAS in file order: each run
// (at most MaxRunFrames frames; a longer one comes in pieces) is read whole into memory and
// given to `visit` with the index of its first frame. visit may change the records; when
// `writeBack` is set the records it changed are written back to the file at once, and `sink`
// is told of each. False when a read or a write failed (or writeBack on a document open for
// reading only), visit returned false, or progress (may be empty; called before each block of
// 1280 frames with the frame reached and `end`) said stop.
inline constexpr std::size_t MaxRunFrames = std::size_t{1} << 16;
using VoicedRunVisitor = std::function<bool(std::uint32_t firstFrame, std::span<SasFrame> run)>;
bool ForEachVoicedRun(SasDocument& document, std::uint32_t first, std::uint32_t end, double silenceLevel,
                      const VoicedRunVisitor& visit, bool writeBack = false, const FrameChangeSink& sink = {},
                      const ProgressCallback& progress = {});

// Where the voice sings over a whole SAS: the 5th and 95th percentiles, in cents
// above A0, of the pitch found in its voiced frames, to the 10 cents of a histogram (an hour
// costs one read of the file and no memory). found is false when no frame is voiced or a read
// failed.
struct SungPitches {
  bool found = false;
  double low = 0.0;
  double high = 0.0;
};
SungPitches MeasureSungPitches(SasDocument& document, double silenceLevel);

// Widens first <= i < end to whole voiced runs: first moves back to the first frame of the run
// holding it, end on to the end of the run holding end - 1, so that the runs met over the
// wider stretch are the ones a walk over the whole file meets there. Reads only those frames
// (a page's notes cost a page, not the file). False when a read failed.
bool WidenToWholeRuns(SasDocument& document, std::uint32_t& first, std::uint32_t& end, double silenceLevel);

}  // namespace vocara
