// The note range sung in a recording, found by a pass of the note detector over every voiced
// stretch, so that the Build can search the notes the voice or instrument actually uses rather
// than the default instrument's (a low voice analysed over B3..D7 comes out an octave up).
//
// The file is cut into steps of NoteRangeStepMs. First the level of every step, read in order
// from start to end; steps much quieter than the loudest are skipped. Each loud step gets the
// note strengths of all 88 keys around its middle, and from them the fundamental (an odd step
// between two that give the same note gives it too, unlooked at): the lowest peak above the
// base note threshold that is the strongest note or has a partial an octave or an octave and a fifth above
// it, or whose partials the strongest note is (a vowel's formant lifting one partial far above the rest)
// with its second and third partials there, so a low rumble is not taken for the voice (that fundamental may
// be much weaker than the threshold, as a low voice's often is). A note counts once three steps in a row give
// it (held for about 150 ms: a note sung once in an hour counts as much as one sung throughout); fewer are a
// glide, a consonant or a stray partial. The lowest and highest held notes widened by a margin on each side
// give the range. Every note is summed over a window averaged to the fewest samples its pitch allows, so the
// cost grows with the voiced time, at a fraction of what the Build over it costs.
#pragma once

#include <cstdint>

#include "base/Progress.h"

namespace vocara {

struct WavDocument;
struct GeneralSettings;
struct NoteSpectrum;

inline constexpr std::uint32_t NoteRangeStepMs = 50;  // one frame looked at per step (to 0.7 ms)
inline constexpr int NoteRangeMargin = 2;             // semitones added below and above
inline constexpr double NoteRangeQuiet = 0.1;  // a frame below this share of the loudest RMS is skipped

struct NoteRangeResult {
  LongOperationResult result = LongOperationResult::Done;
  // Whether notes were found. A silent or noise-only recording has none: the range is then
  // left to the caller (it is not guessed).
  bool found = false;
  int lowestNote = 0;  // note indices 0..87, lowestNote <= highestNote when found
  int highestNote = 0;
  int frames = 0;      // steps of the file (frames looked at)
  int framesUsed = 0;  // frames that gave a note
  int framesHeld = 0;  // frames that gave the note of the two frames before
  // Notes at an edge of the range found: a held note within a semitone of the first or last key
  // the detector sees, or a note below or above the range given by two frames in a row (sung in
  // passing, too short to count). The voice may then go further than the range says.
  bool lowEdge = false;
  bool highEdge = false;
};

// The note range sung in the open recording. `settings` gives the base note threshold (the
// note range in it is not used). progress is called once per step in each of the two passes
// with (done, 2 x frames); false stops the pass (Cancelled, nothing found). What the file no
// longer holds reads as silence.
NoteRangeResult DetectNoteRange(WavDocument& document, const GeneralSettings& settings,
                                const ProgressCallback& progress = {});

// The fundamental from the strengths of notes -1..88 of one frame (the note spectrum over the
// whole keyboard): the note index, or -1 when none.
int FrameFundamental(const NoteSpectrum& spectrum, double baseNoteThreshold);

}  // namespace vocara
