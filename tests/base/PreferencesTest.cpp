// The preferences file: what its text means (damaged values are the default, the last line of a
// key counts), what a rewrite keeps (every line it does not know, byte for byte), where it lives
// (the desktop's config folder) and what reading and writing do with files
// that are not ours to read or replace.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/Preferences.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;

TEST(Preferences, ReadingKeepsTheDefaultForAnythingButTheKeysWords) {
  const struct {
    const char* text;
    bool keep;
  } cases[] = {
      {"", false},
      {"formants=keep", true},
      {"formants=keep\nformants=shift\n", false},  // the last line counts
      {"formants=shift\nformants=keep\n", true},
      {" formants\t= keep \r\n", true},  // blanks and CRLF
      {"other=1\n# comment\n\nformants=keep\nno equals sign\n", true},
      {"formants=Keep\n", false},
      {"formants=keep it\n", false},
      {"formants\n", false},
      {"formantskeep=keep\n# formants=keep\n", false},
      {"formants=keep\nformants=damaged\n", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ParsePreferences(c.text).keepFormants, c.keep) << c.text;
}

TEST(Preferences, WritingReplacesItsKeysAndKeepsEveryOtherLine) {
  const Preferences keep{true};
  EXPECT_EQ(FormatPreferences(keep, ""), "formants=keep\n");
  EXPECT_EQ(FormatPreferences(Preferences{}, ""), "formants=shift\n");
  // Unknown lines stay where and as they are (CRLF, blanks, comments); the key stays in place.
  EXPECT_EQ(FormatPreferences(keep, "# mine\r\nzoom = 2\n\nformants=shift\nlast=1"),
            "# mine\r\nzoom = 2\n\nformants=keep\nlast=1\n");
  // A key given twice is written once, where it first stood.
  EXPECT_EQ(FormatPreferences(Preferences{}, " formants = keep\na=b\nformants=keep\n"),
            "formants=shift\na=b\n");
  // What is written reads back as the preferences it was written for.
  for (const char* previous : {"", "formants=keep\nformants=junk\n", "x=1\r\nformants=shift"})
    for (const bool k : {false, true})
      EXPECT_EQ(ParsePreferences(FormatPreferences(Preferences{k}, previous)).keepFormants, k) << previous;
}

// The formant shift: whole cents, clamped; anything else and a missing key read 0. Added to a
// file only once it is not 0, and kept in its place (at 0 too) once there.
TEST(Preferences, TheFormantShiftReadsWholeCentsAndIsWrittenOnceUsed) {
  EXPECT_EQ(ParsePreferences("formants=keep\n").formantShift, 0);
  EXPECT_EQ(ParsePreferences("formantShift=-300\n").formantShift, -300);
  EXPECT_EQ(ParsePreferences("formantShift = 5000\n").formantShift, 1200);
  for (const char* junk : {"formantShift=1.5\n", "formantShift=up\n", "formantShift=\n"})
    EXPECT_EQ(ParsePreferences(junk).formantShift, 0) << junk;
  Preferences darker;
  darker.formantShift = -200;
  EXPECT_EQ(FormatPreferences(darker, "a=b\n"), "a=b\nformants=shift\nformantShift=-200\n");
  EXPECT_EQ(FormatPreferences(Preferences{}, "formantShift=-200\nformants=keep\n"),
            "formantShift=0\nformants=shift\n");
}

class PreferencesFileTest : public ::testing::Test {
 protected:
  TempDir temp;
  const fs::path path = PreferencesPath((temp.Path() / "config").string());
};

// The file goes beside the settings file's fallback, in the desktop's config folder; without
// one there is no file, nothing is written and the defaults hold.
TEST_F(PreferencesFileTest, TheFileLivesInTheUsersConfigFolder) {
  EXPECT_EQ(path, temp.Path() / "config" / "vocara" / "preferences");
  EXPECT_TRUE(PreferencesPath("").empty());
  EXPECT_FALSE(SavePreferences(PreferencesPath(""), Preferences{true}));
  EXPECT_EQ(LoadPreferences(PreferencesPath("")), Preferences{});
}

TEST_F(PreferencesFileTest, SavingMakesTheFolderAndKeepsTheFilesOtherLines) {
  EXPECT_EQ(LoadPreferences(path), Preferences{});
  ASSERT_TRUE(SavePreferences(path, Preferences{true}));
  EXPECT_EQ(fs::status(temp.Path() / "config").permissions() & fs::perms::mask, fs::perms::owner_all);
  EXPECT_EQ(LoadPreferences(path), Preferences{true});

  WriteFile(path.string(), "later=yes\nformants=keep\n");
  ASSERT_TRUE(SavePreferences(path, Preferences{}));
  EXPECT_EQ(ReadFile(path.string()), "later=yes\nformants=shift\n");
  // Whole or nothing: no temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(path.parent_path()), fs::directory_iterator()), 1);
}

// A folder in the file's place, or a file too large to be ours, reads as the defaults and is
// never replaced; nor is a file under a "folder" that is a file.
TEST_F(PreferencesFileTest, WhatIsNotAPreferencesFileIsLeftAlone) {
  fs::create_directories(path);
  EXPECT_EQ(LoadPreferences(path), Preferences{});
  EXPECT_FALSE(SavePreferences(path, Preferences{true}));
  EXPECT_TRUE(fs::is_directory(path));
  fs::remove(path);

  const std::string large = std::string(2 << 20, '#') + "\nformants=keep\n";
  WriteFile(path.string(), large);
  EXPECT_EQ(LoadPreferences(path), Preferences{});
  EXPECT_FALSE(SavePreferences(path, Preferences{true}));
  EXPECT_EQ(ReadFile(path.string()), large);

  const fs::path underFile = temp.Path() / "file" / "vocara" / "preferences";
  WriteFile((temp.Path() / "file").string(), "x");
  EXPECT_FALSE(SavePreferences(underFile, Preferences{true}));
  EXPECT_EQ(ReadFile((temp.Path() / "file").string()), "x");
}

}  // namespace
}  // namespace vocara::test
