// How a take's notes are sung, and how in tune a corrected recording came out, note by note.
//
// The notes are the note segments of the SAS (NoteSegments, found on the source pitches of each
// whole voiced run, so that a range cuts notes rather than changing them). Every figure is taken
// over the note as held (steadyFirst .. steadyEnd, without the glide into it and the fall after
// it), on the source pitches before and, for a corrected file, on the pitches an analysis of that
// file finds over the same stretch of its own time axis: the render moves notes in time (a pitch
// shift stretches the audio, time correction drops and repeats periods), so the report walks the
// render's timeline to find where each note landed. The corrected file is analysed over a note
// range that holds every target (the take's own range widened where a note was moved past it),
// and its readings are checked against an analysis reaching an octave lower, which hears the
// fundamental where the first read an overtone. A reading counts only where it can be what the
// render put there: within RenderedPitchCents of the target or of the take's own pitch.
//
// Centres: SpanCentre over CentreCycles of the held part (a vibrato's whole cycles with the swing
// fitted out, so that frames the analysis lost at a crest do not lean it; a plain note's whole
// held part), the same measure on the take, its targets and the corrected file.
//
// Vibrato: half the mean peak-to-trough swing of the held part's pitch where it oscillates (the
// longest chain of turns half a period of 3 to 10 Hz apart), up and down swings in pairs so a
// drift cancels, the pairs near the upper quartile (not a swing still setting in); the rate from
// the chain's period. The depth is then divided by what the note detector (which hears a low
// voice's pitch over a long span) and the light smoothing leave of a swing at that rate, so that
// it is the depth sung, as another pitch tracker would measure it, on low and high voices
// alike; the same measure before and after. A held part under
// MinHeldSeconds, or one the corrected file has no pitch over, gives no figure (NaN); so does,
// for the achieved figures, a held part with fewer than half of its frames read as a rendering
// (see above) or a centre neither within RenderedPitchCents of the target nor of the note as sung.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "base/Progress.h"

namespace vocara {

struct WavDocument;
struct SasDocument;

inline constexpr double MinHeldSeconds = 0.080;
inline constexpr double NotMeasured = std::numeric_limits<double>::quiet_NaN();

struct NoteReport {
  std::uint32_t firstFrame = 0;  // of the SAS, within the range: firstFrame <= i < endFrame
  std::uint32_t endFrame = 0;
  std::uint32_t heldFirst = 0;  // the held part: heldFirst <= i < heldEnd (empty: none inside)
  std::uint32_t heldEnd = 0;
  double startSeconds = 0;   // firstFrame x frameLength / sampleRate
  double lengthSeconds = 0;  // (endFrame - firstFrame) x frameLength / sampleRate
  bool partial = false;      // the range cut the note: the figures are of the part inside it
  int note = 0;              // 0 = A0 .. 87 = C8 (limited to those): nearest the target centre,
                             // or the source centre in a listing
  double targetCents = 0;    // target centre (SpanCentre over CentreCycles of the held part) minus the note
  double centreCents = 0;    // source centre minus the note
  double driftCents = 0;     // low-passed source pitch at the held part's end minus at its start
  bool achieved = false;     // whether the corrected file's pitch could be measured over the note
                             // (false: no achieved figure, and the note stays out of the summary)
  double achievedCents = 0;  // achieved centre minus the note
  double errorCents = 0;     // achievedCents - targetCents
  double vibratoBefore = NotMeasured;  // depth in cents
  double rateBefore = NotMeasured;     // Hz
  double vibratoAfter = NotMeasured;
  double rateAfter = NotMeasured;
};

struct VibratoFigures {
  double depth = NotMeasured;  // cents
  double rate = NotMeasured;   // Hz; none without a depth of a few cents or a whole swing
};

// The vibrato of one note: pitch holds the note's pitches (cents, one per frame at frameRate;
// 0 where there is none), measured over heldFirst <= i < heldEnd. Nothing when fewer than
// MinHeldSeconds of the held part have a pitch. work is reused memory.
VibratoFigures NoteVibrato(std::span<const double> pitch, std::size_t heldFirst, std::size_t heldEnd,
                           double frameRate, std::vector<double>& work);

struct CorrectionReport {
  std::vector<NoteReport> notes;
  double meanAbsError = 0;  // over the notes achieved; 0 when none
  double p95AbsError = 0;   // nearest rank: the ceil(0.95 n)-th smallest |error|
  bool corrected = true;    // false for a listing of the take alone (ListNotes)
  // Whether the corrected file can be a rendering of the take: of the frames of the range where
  // the take has a pitch in the note table and a target pitch (comparedFrames; a breath or a
  // consonant has neither), the most (pitchedFrames) at which the corrected file's pitch, where
  // the render put the frame, lies within RenderedPitchCents of the target moved by one and the
  // same amount: a rendering lands on the targets (moved by whatever the SAS's own analysis got
  // wrong about the take, all along), noise or another take's pitch at random. Frames the
  // report measures no note on (a range's cut edges) are not counted.
  std::uint32_t comparedFrames = 0;
  std::uint32_t pitchedFrames = 0;
};

// How near (cents) the corrected file's pitch must come to the moved target.
inline constexpr double RenderedPitchCents = 50;
// The share of the compared frames a rendering follows the targets at; fewer frames than
// MinComparedFrames prove nothing either way.
inline constexpr double MinRenderedShare = 0.5;
inline constexpr std::uint32_t MinComparedFrames = 20;

// Why the report's corrected file (named corrected) is no rendering of the take (named
// recording): at most of the frames compared its pitch does not follow the targets. One line
// that starts with the corrected file's name; empty when it can be a rendering.
std::string RenderingDoubt(const CorrectionReport& report, const std::string& corrected,
                           const std::string& recording);

struct ReportRequest {
  // The corrected file holds the render of input samples start <= i < end (Correct: the whole
  // recording; Play Corrected: its range); notes outside are not reported.
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  bool timeCorrection = false;  // the render followed the time links
};

// Compares the open SAS (read through its file) with the open corrected WAV. progress (may be
// empty) is called before each voiced run and each block measured in it, with the SAS frame
// reached and the end of the frames requested (request.end / frameLength); false stops. False
// when a read failed or progress stopped it.
bool MakeCorrectionReport(SasDocument& sas, WavDocument& corrected, const ReportRequest& request,
                          CorrectionReport& report, const ProgressCallback& progress = {});

// The take's notes as sung over input samples request.start .. request.end (timeCorrection
// unused): the source figures of MakeCorrectionReport, report.corrected false.
bool ListNotes(SasDocument& sas, const ReportRequest& request, CorrectionReport& report,
               const ProgressCallback& progress = {});

// ListNotes over frames first <= i < end of the SAS (limited to its frames, the samples to what a
// 32-bit position holds): the page's notes, a range's or, with 0 .. frameCount, the take's.
bool ListNotesOfFrames(SasDocument& sas, std::int64_t first, std::int64_t end, CorrectionReport& report);

// Why `corrected` cannot be what Correct writes from `recording` and `sas` for request (the
// same start, end and time correction): another sample rate, another sample width or bit
// depth, or another number of samples than the render's walk gives (CorrectOutputLength);
// also when Correct would refuse the SAS or the output. One line that starts with the corrected
// file's name; empty when the file can be the rendering.
std::string CorrectedFileMismatch(const WavDocument& recording, SasDocument& sas,
                                  const ReportRequest& request, const WavDocument& corrected);

// The summary figures from the errors of the notes achieved.
void SummariseReport(CorrectionReport& report);

// The report as text: a heading line, one line per note (a partial note's name followed by ~,
// a figure not measured as -), then the summary; and as JSON, where a value that is not a
// finite number (a figure not measured) is null. A listing has its own columns and no summary.
// Each note ends with its frames of the SAS (end exclusive): the last two columns
// "first-frame end-frame", the last keys "firstFrame" and "endFrame".
std::string ReportText(const CorrectionReport& report);
std::string ReportJson(const CorrectionReport& report);

}  // namespace vocara
