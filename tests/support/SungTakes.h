// Takes that sound like singing, with what was sung in them: glottal pulses with jitter and
// shimmer through five formant resonators, scoops, falls, portamenti, delayed vibrato,
// consonants and breaths between notes. The note model is scored against the truth each take
// carries.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/sas/NoteRangeDetection.h"
#include "support/Vowels.h"

namespace vocara {
struct WavDocument;
struct SasDocument;
}  // namespace vocara

namespace vocara::test {

inline constexpr Vowel VowelE{{530, 1840, 2480, 3500, 4500}, {70, 100, 130, 200, 250}};
inline constexpr Vowel VowelO{{450, 800, 2830, 3500, 4500}, {70, 80, 120, 200, 250}};

struct TakeNote {
  double onset = 0, offset = 0;  // seconds; a glide's middle is the onset of the note it leads to
  int midi = 0;                  // 69 = A4
  double cents = 0;              // intended, off the midi note
  char vowel = 'a';              // a e i o u
  bool scooped = false, portamento = false, legato = false, fall = false;  // into it / after it
  double heldFrom = 0, heldTo = 0;                           // the note without its scoop, glides and fall
  double vibratoStart = 0, vibratoDepth = 0, vibratoHz = 0;  // depth +- cents; 0 for none
};

struct Take {
  std::string name;
  std::vector<std::int32_t> samples;  // 16-bit values
  double rate = 48000;
  std::vector<TakeNote> notes;
  std::vector<std::pair<double, double>> breaths, consonants;  // [from, to) seconds
  int lowest = 0, highest = 0;                                 // midi range sung
};

// Twelve takes of 6 to 15 s for bass, tenor, alto and soprano, at least 130 notes in all.
std::vector<Take> RealisticTakes();

struct FoundNote {
  double onset, offset;
  int midi;
};
struct NoteScore {
  int sung = 0, found = 0, matchedOnsets = 0, misnamed = 0, phantoms = 0;
  double onsetF = 0;
  std::vector<std::string> problems;
};

// Onsets matched one to one, closest first, within +-tolerance; each sung note named by the
// found note covering most of its held part; phantoms are found notes lying mostly outside
// every held part, and the second and later found notes within one held part.
NoteScore ScoreNotes(const Take& take, const std::vector<FoundNote>& found, double tolerance = 0.050);

std::string MidiName(int midi);

// The take as `build --instrument auto` makes it: written to wavPath, built into sasPath over the
// note range found in it, both opened (the SAS for writing). The range found; not found, with a
// test failure recorded, when a step fails.
NoteRangeResult BuildTake(const Take& take, const std::string& wavPath, const std::string& sasPath,
                          WavDocument& wav, SasDocument& sas);

}  // namespace vocara::test
