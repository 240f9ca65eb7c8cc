#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "base/Instruments.h"

namespace vocara {
namespace {

TEST(NoteNamesTest, FollowThePianoKeyboard) {
  EXPECT_EQ(
      std::tuple(NoteName(0), NoteName(1), NoteName(3), NoteName(48), NoteName(87), NoteName(NoteCount)),
      std::tuple("A0", "A#0", "C1", "A4", "C8", ""));
  EXPECT_EQ(std::set<std::string_view>(NoteNames.begin(), NoteNames.end()).size(), NoteNames.size());
}

// Every name reads back, in either case too; flats, doubled accidentals and the octave changing at
// C name the same keys; names off the keyboard or misspelt name none.
TEST(NoteNamesTest, ReadInAnySpelling) {
  for (int i = 0; i < NoteCount; ++i) EXPECT_EQ(ParseNoteName(NoteName(i)), i);
  for (const char* fSharp : {"F#4", "f#4", "Gb4", "gb4", "GB4", "E##4"}) EXPECT_EQ(ParseNoteName(fSharp), 45);
  EXPECT_EQ(ParseNoteName("Cb4"), 38);  // B3
  EXPECT_EQ(ParseNoteName("B#3"), 39);  // C4
  for (const char* none : {"Ab0", "C#8", "G9", "C", "4", "H4", "C4x", "C 4", "C-1", "#4", "C44", ""})
    EXPECT_EQ(ParseNoteName(none), std::nullopt) << none;
}

TEST(InstrumentTableTest, RangesLieOnTheKeyboardAndNamesAreUnique) {
  std::set<std::string_view> names;
  for (std::size_t i = 1; i < InstrumentTable.size(); ++i) {
    const Instrument& instrument = InstrumentTable[i];
    EXPECT_TRUE(0 <= instrument.lowestNote && instrument.lowestNote <= instrument.highestNote &&
                instrument.highestNote < NoteCount)
        << instrument.name;
    names.insert(instrument.name);
  }
  EXPECT_EQ(names.size(), InstrumentTable.size() - 1);
}

}  // namespace
}  // namespace vocara
