// The note range sung in a recording, found by a quick pass of the note detector, so that the
// Build can search the notes the voice or instrument actually uses rather than the default
// instrument's (a low voice analysed over B3..D7 comes out an octave up).
//
// The pass looks at a few hundred frames spread evenly over the file, whatever its length, so
// it takes about the same time for a minute as for an hour. Frames much quieter than the
// loudest of them are skipped; in each other frame the note strengths of all 88 keys give the
// fundamental: the lowest peak above the base note threshold that is the strongest note or has
// a partial an octave or an octave and a fifth above it, so a low rumble is not taken for the
// voice. The lowest and highest of those notes (2nd and 98th percentiles, so a few glides or
// stray frames do not widen the range) widened by a margin on each side give the range.
#pragma once

#include <cstdint>

#include "base/Progress.h"

namespace vocara {

struct WavDocument;
struct GeneralSettings;
struct NoteSpectrum;

inline constexpr int NoteRangeFrames = 300;    // frames looked at, at most
inline constexpr int NoteRangeMargin = 2;      // semitones added below and above
inline constexpr double NoteRangeQuiet = 0.1;  // a frame below this share of the loudest RMS is skipped

struct NoteRangeResult {
  LongOperationResult result = LongOperationResult::Done;
  // Whether notes were found. A silent or noise-only recording has none: the range is then
  // left to the caller (it is not guessed).
  bool found = false;
  int lowestNote = 0;  // note indices 0..87, lowestNote <= highestNote when found
  int highestNote = 0;
  int framesUsed = 0;  // frames that gave a note
};

// The note range sung in the open recording. `settings` gives the base note threshold (the
// note range in it is not used). progress is called once per frame looked at with (frame,
// frames); false stops the pass (Cancelled). What the file no longer holds reads as silence.
NoteRangeResult DetectNoteRange(WavDocument& document, const GeneralSettings& settings,
                                const ProgressCallback& progress = {});

// The fundamental from the strengths of notes -1..88 of one frame (the note spectrum over the
// whole keyboard): the note index, or -1 when none.
int FrameFundamental(const NoteSpectrum& spectrum, double baseNoteThreshold);

}  // namespace vocara
