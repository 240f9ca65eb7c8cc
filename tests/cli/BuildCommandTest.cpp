// vocara-cli build: the settings it builds with (built-in, from a settings file, and the
// options with the Settings dialog's rules and clamps), its usage errors and its failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "base/Instruments.h"
#include "base/Settings.h"
#include "engine/sas/NoteRangeDetection.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/SettingsFiles.h"
#include "support/SoundFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class BuildCommandTest : public CliFixture {
 protected:
  void SetUp() override { wav = WriteWav16(dir.File("a.wav"), Sine16(440, 22050, 12000 / 22050.0), 22050); }
  int Run(const std::vector<std::string>& args) { return CliFixture::Run({"build", wav, sas}, args); }
  // The settings the build stored in its file.
  GeneralSettings Built() { return ReadSasHeader(sas).settings; }
  std::string SettingsFile(const GeneralSettings& settings, std::size_t size = SettingsFileSize) {
    std::string bytes = SettingsFileBytes(settings);
    bytes.resize(size, '\0');
    return WriteFile(dir.File("vocara.INI"), bytes);
  }

  std::string wav;
  std::string sas = dir.File("a.sas");
};

// Each run's stored settings: the built-in ones, a settings file's (wherever --settings stands),
// and the options over them with the dialog's rules: an instrument sets the note range, a note
// makes it user defined, a highest note below the lowest pulls the lowest down to it (and the
// other way round), and numbers are clamped to their ranges.
TEST_F(BuildCommandTest, OptionsSetTheSettingsAsTheDialogDoes) {
  // Instrument 22 is "Flute Bass".
  const GeneralSettings stored{
      .instrument = 22, .lowestNote = 27, .highestNote = 60, .chunkPeriods = 2.5, .tempo = 90.0};
  const std::string file = SettingsFile(stored);
  const auto with = [](int instrument, int lowest, int highest, double chunk = 1, double threshold = 20,
                       GeneralSettings settings = {}) {
    settings.instrument = instrument, settings.lowestNote = lowest, settings.highestNote = highest;
    settings.chunkPeriods = chunk, settings.baseNoteThreshold = threshold;
    return settings;
  };
  const std::vector<std::pair<std::vector<std::string>, GeneralSettings>> cases{
      {{}, GeneralSettings{}},
      {{"--instrument", "violin"}, with(63, 34, 82)},  // G3 .. G7
      {{"--instrument", "Violin", "--lowest", "C2"}, with(0, 15, 82)},
      {{"--lowest", "C#4", "--instrument", "0"}, with(0, 40, 77)},  // "User Defined" keeps the notes
      {{"--highest", "a2"}, with(0, 24, 24)},
      {{"--lowest", "87"}, with(0, 87, 87)},
      {{"--instrument", "99", "--chunk", "9", "--threshold", "1"}, with(68, 44, 87, 5, 5)},  // "Xylophone"
      {{"--lowest", "-4", "--highest", "300", "--chunk", "0.5", "--threshold", "250"},
       with(0, 0, 87, 1, 100)},
      {{"--settings", file}, stored},
      {{"--highest", "70", "--settings", file}, with(0, 27, 70, 2.5, 20, stored)},
  };
  for (const auto& [args, expected] : cases) {
    ASSERT_EQ(Run(args), 0) << ::testing::PrintToString(args) << err.str();
    EXPECT_EQ(Built(), expected) << ::testing::PrintToString(args);
    if (!args.empty()) continue;
    // The hop of B3 at 22050 Hz.
    EXPECT_EQ(
        std::tuple(err.str() + out.str(), ReadSasHeader(sas).frameLength, ReadSasHeader(sas).frameCount),
        std::tuple("", 97u, 12000u / 97));
  }
}

// One line an instrument, its number, name and notes; User Defined has none.
TEST_F(BuildCommandTest, InstrumentsListsTheTableWithNoteNames) {
  std::ostringstream list;
  ASSERT_EQ(cli::RunCli({"instruments"}, list, err), 0);
  const std::string text = list.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), InstrumentCount);
  for (const char* line : {"0\tUser Defined\t-\t-\n", "\n20\tFlute\tB3\tD7\n", "\n68\tXylophone\tF4\tC8\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_TRUE(text.starts_with("0\t"));
  EXPECT_EQ(cli::RunCli({"instruments", "extra"}, list, err), 2);
}

// A low voice, A2 to E3: with the default range (B3..D7) no frame can be named in its octave.
class AutoRangeTest : public BuildCommandTest {
 protected:
  void SetUp() override {
    wav = WriteWav16(dir.File("low.wav"), SungMelody({{45, 0, 2.0}, {48, 0, 1.0}, {52, 0, 2.0}}));
  }
  // The note named in the middle of the first sung note (A2, note 24), held for 2 s.
  int FirstNote() {
    const std::vector<SasFrame> frames = ReadSasFrames(sas);
    const std::size_t at = static_cast<std::size_t>(48000 / ReadSasHeader(sas).frameLength);  // 1 s in
    return frames[at].sourcePitch / 100;
  }
};

TEST_F(AutoRangeTest, TheSungRangeNamesTheNotesInTheirOctave) {
  ASSERT_EQ(Run({}), 0);
  EXPECT_NE(FirstNote(), 24);  // the default range cannot hold A2

  ASSERT_EQ(Run({"--instrument", "auto"}), 0) << err.str();
  const GeneralSettings built = Built();
  EXPECT_EQ(std::pair(built.instrument, FirstNote()), std::pair(UserDefinedInstrument, 24));
  EXPECT_TRUE(built.lowestNote <= 24 && built.lowestNote >= 24 - NoteRangeMargin - 2) << built.lowestNote;
  EXPECT_TRUE(built.highestNote >= 31 && built.highestNote <= 31 + NoteRangeMargin + 2) << built.highestNote;
  EXPECT_EQ(err.str(), "vocara-cli: note range " + std::string(NoteName(built.lowestNote)) + " .. " +
                           std::string(NoteName(built.highestNote)) + " found in " + wav + "\n");
  const GeneralSettings detected = built;

  // The options apply in order: a later note has the last word, an earlier one gives way.
  const std::vector<std::pair<std::vector<std::string>, std::pair<int, int>>> orders{
      {{"--instrument", "auto", "--lowest", "C2"}, {15, detected.highestNote}},
      {{"--lowest", "C2", "--instrument", "auto"}, {detected.lowestNote, detected.highestNote}},
      {{"--instrument", "AUTO", "--highest", "A1"}, {12, 12}},
      {{"--instrument", "auto", "--instrument", "Flute"}, {38, 77}},
  };
  for (const auto& [args, range] : orders) {
    ASSERT_EQ(Run(args), 0) << ::testing::PrintToString(args);
    EXPECT_EQ(std::pair(Built().lowestNote, Built().highestNote), range) << ::testing::PrintToString(args);
  }
}

TEST_F(AutoRangeTest, NotesAtTheEdgeOfTheRangeAreToldLast) {
  const std::vector<std::int32_t> values = Sine16(4186.0, 48000, 1.0, 8000);
  wav = WriteWav16(dir.File("top.wav"), values);
  ASSERT_EQ(Run({"--instrument", "auto"}), 0) << err.str();
  const std::string last =
      "vocara-cli: notes reach the edge of the range found (C8); the highest may be higher\n";
  EXPECT_TRUE(err.str().size() > last.size() && err.str().ends_with(last)) << err.str();
}

TEST_F(AutoRangeTest, ARecordingWithoutNotesIsRefused) {
  wav = WriteWav16(dir.File("silence.wav"), std::vector<std::int32_t>(48000));
  EXPECT_EQ(Run({"--instrument", "auto"}), 1);
  EXPECT_EQ(err.str(), "vocara-cli: no notes found in " + wav +
                           "; choose the range with --instrument, --lowest or --highest\n");
  EXPECT_FALSE(std::filesystem::exists(sas));
}

}  // namespace
}  // namespace vocara::test
