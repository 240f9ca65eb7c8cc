// Pitch and time correction: renders a new WAV file from the open recording and a SAS.
//
// Every frame's audio is resampled so that the pitch the analysis found (sourcePitch, cents
// above A0) becomes the target pitch, scaled from its measured peak-to-peak amplitude to the
// target amplitude, and, where time correction is on, kept on the timeline of the time links
// by dropping or repeating whole pitch periods with a cross-fade. The output has the open
// recording's format and its canonical 44-byte header, written last.
//
// The render streams: the WAV is read a frame at a time through the shared read buffer, the
// frames of the SAS in small blocks straight from its file (never its page in memory), and the
// output is appended once per frame. Its buffers are sized from the SAS's frameLength once per
// render, so memory does not grow with the length of the recording.
#pragma once

#include <cstdint>
#include <string>

#include "base/MessageId.h"
#include "base/Progress.h"
#include "engine/sas/SasRecords.h"

namespace vocara {

struct WavDocument;
struct SasDocument;

// Save mode renders the whole recording a file the user named; play mode renders the range
// for Play Corrected. The output appears whole or not at all (OutputFile).
enum class CorrectMode { Save, Play };

// What happens to the voice's resonances: Shift resamples each frame, so they move with the
// pitch (the render as it always was, byte for byte); Keep lays the recording's own pitch
// periods at the target rate (pitch-synchronous overlap-add), so a vowel keeps its colour. Both
// walk the same way: the same length, time links, gains and period drops and repeats.
enum class Formants { Shift, Keep };

struct CorrectRequest {
  std::uint32_t start = 0;  // input samples start <= i < end; start >= end renders one sample
  std::uint32_t end = 0;
  bool timeCorrection = false;  // GeneralSettings::timeCorrection != 0
  CorrectMode mode = CorrectMode::Save;
  // A stopped render leaves no output, unless this is set: Play Corrected keeps the part it
  // rendered as its temporary file (then not up to date), as a whole file with its own header.
  bool keepWhenCancelled = false;
  Formants formants = Formants::Shift;
  // With Keep: the resonances moved by this many cents (clamped to +-MaxFormantShift) while the
  // pitch follows the targets, a darker (below 0) or brighter voice at the same notes.
  double formantShift = 0.0;
};

inline constexpr double MaxFormantShift = 1200.0;

struct CorrectResult {
  // "Opened file can not be overwritten" for the open WAV or SAS file as output, "The target is
  // not a regular file", "Invalid File Handle" when the output cannot be created, "The SAS file
  // settings are corrupted" for a frameLength no settings can produce at the recording's rate,
  // OutputWriteFailed when a write failed (nothing is left of the output); None otherwise.
  MessageId message = MessageId::None;
  // Cancelled when the progress callback said stop; Failed when the output could not be
  // written whole (or was refused, see message).
  LongOperationResult result = LongOperationResult::Done;
  std::uint32_t outputSamples = 0;  // samples in the file written (0 when refused)
  // The output would pass the largest WAV (its data size and RIFF size are 32-bit counts): it
  // is refused before anything is written, as OutputWriteFailed, rather than cut short.
  bool passesWavLimit = false;
};

// The highest source pitch a voice can have, in cents above A0: the note table's top note, C8,
// and the most the analysis finds above it. A higher value comes only from a damaged or
// hand-made file. The walk takes every frame's pitch offset and source period as the file holds
// them (so every render of a file has one length and timeline, and the resampling render means
// what it always meant), but where a render or the report follows the voice itself (the
// formant-keeping render's pitch periods, the report's pitched frames) such a frame has no pitch.
inline constexpr int HighestSourcePitch = HighestTargetPitch + 99;

// Whether the frame's source pitch is one a voice can have: found (not 0) and at most
// HighestSourcePitch.
inline bool FrameHasPitch(const SasFrame& frame) {
  return frame.sourcePitch > 0 && frame.sourcePitch <= HighestSourcePitch;
}

// The frame gain: targetAmplitude / (maxSample - minSample) in doubles; 1 for a frame of
// digital silence (maxSample = minSample).
double FrameGain(const SasFrame& frame);
// sourcePitch (as a signed 16-bit value) minus the target pitch, in cents: positive lowers.
int FramePitchOffset(const SasFrame& frame);
// One period of the frame's source pitch in samples at sampleRate, truncated, capped at
// frameLength - 1 (frameLength >= 1).
std::uint32_t FrameSourcePeriod(const SasFrame& frame, std::uint32_t sampleRate, std::uint32_t frameLength);

// The largest frameLength valid settings give at sampleRate: lowest note A0 and a chunk of
// 5 periods. A longer frame only comes from a damaged file.
std::uint32_t LargestFrameLength(std::uint32_t sampleRate);

struct CorrectLength {
  // "The SAS file settings are corrupted" when Correct refuses the SAS's frame length.
  MessageId message = MessageId::None;
  std::uint64_t samples = 0;    // the samples Correct writes for the request
  bool passesWavLimit = false;  // Correct refuses it: it would pass the largest WAV
};

// The length of Correct's output for `request`, found by the render's own walk without
// reading or writing a sample: it depends on the frames, the links and the request only.
// mode and keepWhenCancelled do not matter. Reads the frames from the SAS file.
CorrectLength CorrectOutputLength(const WavDocument& wav, SasDocument& sas, const CorrectRequest& request);

// Renders request.start .. request.end of `wav` with the frames of `sas` (its file, header and
// links) into `output`, replacing any file of that name. progress is called once per frame
// with the input position reached and request.end; false stops the render at that frame.
// A SAS without frames renders the input unchanged.
CorrectResult Correct(WavDocument& wav, SasDocument& sas, const CorrectRequest& request,
                      const std::string& output, const ProgressCallback& progress);

}  // namespace vocara
