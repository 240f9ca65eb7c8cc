#include "base/Instruments.h"

#include <charconv>
#include <cstddef>
#include <system_error>

namespace vocara {

namespace {

constexpr std::array<std::string_view, 12> PitchClasses{"A",  "A#", "B", "C",  "C#", "D",
                                                        "D#", "E",  "F", "F#", "G",  "G#"};

// Every name is a pitch class of one or two letters and a one-digit octave.
struct NoteNameText {
  std::array<char, 3> text{};
  std::size_t length = 0;
};

constexpr std::array<NoteNameText, NoteCount> BuildNoteNameTexts() {
  std::array<NoteNameText, NoteCount> names{};
  for (int i = 0; i < NoteCount; ++i) {
    const std::string_view pitchClass = PitchClasses[static_cast<std::size_t>(i % 12)];
    NoteNameText& name = names[static_cast<std::size_t>(i)];
    for (const char c : pitchClass) name.text[name.length++] = c;
    name.text[name.length++] = static_cast<char>('0' + (i + 9) / 12);
  }
  return names;
}

constexpr std::array<NoteNameText, NoteCount> NoteNameTexts = BuildNoteNameTexts();

constexpr std::array<std::string_view, NoteCount> BuildNoteNames() {
  std::array<std::string_view, NoteCount> names{};
  for (std::size_t i = 0; i < names.size(); ++i) {
    names[i] = std::string_view(NoteNameTexts[i].text.data(), NoteNameTexts[i].length);
  }
  return names;
}

}  // namespace

constexpr std::array<std::string_view, NoteCount> NoteNames = BuildNoteNames();

std::string_view NoteName(int index) {
  if (index < 0 || index >= NoteCount) return {};
  return NoteNames[static_cast<std::size_t>(index)];
}

std::optional<int> ParsePitchSpelling(std::string_view text) {
  if (text.empty()) return std::nullopt;
  static constexpr int Letters[7] = {9, 11, 0, 2, 4, 5, 7};  // A .. G
  const char letter = static_cast<char>(text[0] | 0x20);
  if (letter < 'a' || letter > 'g') return std::nullopt;
  int semitones = Letters[letter - 'a'];
  for (const char c : text.substr(1)) {
    if (c == '#') {
      ++semitones;
    } else if (c == 'b' || c == 'B') {
      --semitones;
    } else {
      return std::nullopt;
    }
  }
  return semitones;
}

std::optional<int> ParseNoteName(std::string_view text) {
  const std::size_t digits = text.find_first_of("0123456789");
  if (digits == std::string_view::npos) return std::nullopt;
  const std::optional<int> pitch = ParsePitchSpelling(text.substr(0, digits));
  int octave = 0;
  const auto [stop, error] = std::from_chars(text.data() + digits, text.data() + text.size(), octave);
  if (!pitch || error != std::errc() || stop != text.data() + text.size() || octave > 9) return std::nullopt;
  // C0 lies 9 keys below A0.
  const int index = octave * 12 + *pitch - 9;
  if (index < 0 || index >= NoteCount) return std::nullopt;
  return index;
}

// Ranges are note indices: "Flute" 38..77 is B3..D7.
constexpr std::array<Instrument, InstrumentCount> InstrumentTable{{
    {"User Defined", -1, -1},            // 0
    {"Almgocken", 39, 84},               // 1
    {"Baritone (Euphonium)", 19, 49},    // 2
    {"Bass Double", 3, 41},              // 3
    {"Basset-Horn", 20, 63},             // 4
    {"Bassoon", 25, 54},                 // 5
    {"Bells", 39, 58},                   // 6
    {"Celesta", 39, 87},                 // 7
    {"Cello", 15, 58},                   // 8
    {"Clarinet Bass", 13, 56},           // 9
    {"Clarinet E-flat Alto", 33, 66},    // 10
    {"Clarinet in A", 28, 72},           // 11
    {"Clarinet in B-flat", 29, 73},      // 12
    {"Clarinet in E-flat", 34, 75},      // 13
    {"Contrabassoon", 12, 37},           // 14
    {"Cornet", 31, 63},                  // 15
    {"Crotales", 63, 87},                // 16
    {"Cymbals Antique", 63, 75},         // 17
    {"Flexatone", 55, 72},               // 18
    {"Flugelhorn", 31, 61},              // 19
    {"Flute", 38, 77},                   // 20
    {"Flute Alto", 34, 70},              // 21
    {"Flute Bass", 27, 60},              // 22
    {"Flute E-flat", 42, 78},            // 23
    {"Glockenspiel", 56, 87},            // 24
    {"Guitar", 19, 55},                  // 25
    {"Harmonium", 8, 68},                // 26
    {"Harp", 2, 83},                     // 27
    {"Harpsichord", 8, 68},              // 28
    {"Heckelphone", 24, 58},             // 29
    {"Horn English", 31, 63},            // 30
    {"Horn in F", 14, 56},               // 31
    {"Mandolin", 34, 67},                // 32
    {"Marimba", 20, 75},                 // 33
    {"Oboe", 37, 72},                    // 34
    {"Oboe d'Amore", 35, 64},            // 35
    {"Organ", 0, 87},                    // 36
    {"Piano", 0, 87},                    // 37
    {"Piccolo", 53, 87},                 // 38
    {"Sarrusophone", 1, 37},             // 39
    {"Saw Musical", 43, 79},             // 40
    {"Saxophone Alto", 28, 73},          // 41
    {"Saxophone Baritone", 13, 60},      // 42
    {"Saxophone Bass", 11, 52},          // 43
    {"Saxophone Sopranino", 40, 69},     // 44
    {"Saxophone Soprano", 35, 80},       // 45
    {"Saxophone Tenor", 23, 68},         // 46
    {"Trombone Bass", 14, 49},           // 47
    {"Trombone Tenor", 15, 56},          // 48
    {"Trumpet Bass in B-flat", 19, 47},  // 49
    {"Trumpet Bass in C", 21, 51},       // 50
    {"Trumpet Bass in E-flat", 23, 54},  // 51
    {"Trumpet Piccolo", 37, 67},         // 52
    {"Trumpet in B-flat", 31, 63},       // 53
    {"Trumpet in C", 33, 65},            // 54
    {"Trumpet in D", 35, 67},            // 55
    {"Trumpet in E-flat", 36, 66},       // 56
    {"Tuba", 5, 44},                     // 57
    {"Tuba Bass Wagner", 14, 56},        // 58
    {"Tuba Tenor Wagner", 19, 56},       // 59
    {"Vibraphone", 32, 68},              // 60
    {"Viola", 27, 67},                   // 61
    {"Viola d'Amore", 29, 62},           // 62
    {"Violin", 34, 82},                  // 63
    {"Vocal Alto", 34, 53},              // 64
    {"Vocal Bass", 17, 41},              // 65
    {"Vocal Soprano", 38, 60},           // 66
    {"Vocal Tenor", 27, 48},             // 67
    {"Xylophone", 44, 87},               // 68
}};

}  // namespace vocara
