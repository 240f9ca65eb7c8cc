// The 88 piano-key note names and the instrument list of the Settings dialog, whose entries
// give the note range the pitch analysis searches.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace vocara {

// Note index n (0 = "A0" ... 87 = "C8") sounds at 27.5 * 2^(n / 12) Hz.
inline constexpr int NoteCount = 88;

// Names in index order: pitch class n mod 12 counted from A, octave (n + 9) / 12, so the
// octave number changes at C as on the keyboard.
extern const std::array<std::string_view, NoteCount> NoteNames;

// The name of note index n; empty outside 0..87.
std::string_view NoteName(int index);

// A pitch as spelled: a letter A .. G in either case, then any number of sharps '#' and flats
// 'b' (or 'B'). Its semitones above the letter's C with the accidentals counted ("C" 0, "Db" 1,
// "Cb" -1, "B#" 12); nullopt for anything else.
std::optional<int> ParsePitchSpelling(std::string_view text);

// A note name: a pitch spelling and its octave, which changes at C ("A0", "F#4" = "gb4",
// "Cb4" = "B3"). Its index, nullopt for anything else and for notes off the 88 keys.
std::optional<int> ParseNoteName(std::string_view text);

struct Instrument {
  std::string_view name;
  int lowestNote;   // note index; -1 for "User Defined", which has no range of its own
  int highestNote;  // note index, inclusive
};

inline constexpr int InstrumentCount = 69;
inline constexpr int UserDefinedInstrument = 0;

// Indexed by GeneralSettings::instrument; the dialog lists the names in this order.
extern const std::array<Instrument, InstrumentCount> InstrumentTable;

}  // namespace vocara
