// How in tune a corrected recording came out, note by note: the corrected WAV is analysed again
// with the SAS's own settings, and each note segment of the SAS (NoteSegments, found on its
// source pitches) is compared with what the corrected file sings over the same time.
//
// For each note: the target centre (the amplitude-weighted median of the target pitches), the
// note nearest to it at A4 = 440 Hz, the achieved centre (the weighted median of the pitches
// found in the corrected file over the note's frames, mapped through the time links when time
// correction is on), the error (achieved minus target) and the vibrato depth before (source
// pitches) and after (pitches found in the corrected file).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Progress.h"

namespace vocara {

struct WavDocument;
struct SasDocument;

struct NoteReport {
  std::uint32_t firstFrame = 0;  // of the SAS: frames firstFrame <= i < endFrame
  std::uint32_t endFrame = 0;
  double startSeconds = 0;   // firstFrame x frameLength / sampleRate
  int note = 0;              // 0 = A0 .. 87 = C8 (limited to those)
  double targetCents = 0;    // target centre minus the note, in cents
  bool achieved = false;     // whether the corrected file has a pitch over the note
  double achievedCents = 0;  // achieved centre minus the note
  double errorCents = 0;     // achievedCents - targetCents
  double vibratoBefore = 0;  // cents
  double vibratoAfter = 0;
};

struct CorrectionReport {
  std::vector<NoteReport> notes;
  double meanAbsError = 0;  // over the notes achieved; 0 when none
  double p95AbsError = 0;   // nearest rank: the ceil(0.95 n)-th smallest |error|
};

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

// Why `corrected` cannot be what Correct writes from `recording` and `sas` for request (the
// same start, end and time correction): another sample rate, another sample width or bit
// depth, or another number of samples than the render's walk gives (CorrectOutputLength);
// also when Correct would refuse the SAS or the output. One line that starts with the corrected
// file's name; empty when the file can be the rendering.
std::string CorrectedFileMismatch(const WavDocument& recording, SasDocument& sas,
                                  const ReportRequest& request, const WavDocument& corrected);

// The summary figures from the notes' errors.
void SummariseReport(CorrectionReport& report);

// The report as text: a heading line, one line per note, then the summary; and as JSON, where a
// value that is not a finite number (a note too short to measure) is null.
std::string ReportText(const CorrectionReport& report);
std::string ReportJson(const CorrectionReport& report);

}  // namespace vocara
