// The guide road on a sung take: C D E F sung 20 to 40 cents off with a +-30-cent vibrato
// follows a guide C D Eb F whose third note starts 60 ms after the sung one; `guide --timing 100`
// then `correct`, and an analysis of the output finds each note on its guide pitch, the third
// note where the guide starts it and the vibrato as sung (which notes move and which stay, and
// the breaths between them, on takes that sound like singing: GuideTakesTest). `midi` writes the
// notes the guides are made of; unpaired notes are listed; a damaged guide changes nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "CliRun.h"
#include "engine/midi/StandardMidiFile.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"
#include "support/Recordings.h"
#include "support/TakeNotes.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class GuideCommandsTest : public CliFixture {
 protected:
  // The notes of a SAS as `midi` writes them into `name` (saying nothing), read back.
  std::vector<MidiNote> NotesOf(const std::string& sas, const std::string& name) {
    EXPECT_EQ(Run({"midi", sas, dir.File(name), "--bend"}), cli::ExitSuccess) << err.str();
    EXPECT_EQ(out.str() + err.str(), "");
    return ReadStandardMidiFile(dir.File(name)).notes;
  }
  std::string WriteGuide(const std::vector<MidiOutNote>& notes) {
    const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(notes, false);
    return WriteFile(dir.File("guide.mid"), std::string(bytes.begin(), bytes.end()));
  }

  std::string wav = dir.File("sung.wav");
};

// The guide is the take's own notes as `midi` writes them (so "as sung" means where the program
// hears each note begin), the third a semitone down and 60 ms later; the output is heard the
// same way.
TEST_F(GuideCommandsTest, TheTakeFollowsTheGuidesPitchesAndTiming) {
  const std::string sas = Sing({{60, 30, 0.7}, {62, -25, 0.7}, {64, -40, 0.7}, {65, 35, 0.7}});
  const CorrectionReport sung = ListedNotes(sas);
  ASSERT_EQ(sung.notes.size(), 4u);
  const std::vector<MidiNote> taken = NotesOf(sas, "take.mid");
  ASSERT_EQ(taken.size(), 4u);
  const int keys[] = {60, 62, 63, 65};
  std::vector<MidiOutNote> guide;
  for (std::size_t n = 0; n < 4; ++n)
    guide.push_back(
        {taken[n].start + (n == 2 ? 0.060 : 0.0), taken[n].end + (n == 1 ? 0.060 : 0.0), keys[n], 90});
  const std::string mid = WriteGuide(guide);

  ASSERT_EQ(Run({"guide", sas, mid, "--timing", "100"}), cli::ExitSuccess) << err.str();
  EXPECT_EQ(err.str(), "") << "every note paired";
  const std::string corrected = dir.File("corrected.wav");
  ASSERT_EQ(Run({"correct", wav, sas, corrected}), cli::ExitSuccess) << err.str();
  const std::string output = Build(corrected, "corrected.sas");
  const CorrectionReport out = ListedNotes(output);
  ASSERT_EQ(out.notes.size(), 4u);
  for (std::size_t n = 0; n < 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_NEAR(out.notes[n].note * 100 + out.notes[n].centreCents, (keys[n] - 21) * 100, 5);
    EXPECT_NEAR(out.notes[n].vibratoBefore, sung.notes[n].vibratoBefore, 0.15 * sung.notes[n].vibratoBefore);
  }
  const std::vector<MidiNote> heard = NotesOf(output, "corrected.mid");
  ASSERT_EQ(heard.size(), 4u);
  for (std::size_t n = 0; n < 4; ++n) EXPECT_NEAR(heard[n].start, guide[n].start, 0.015) << n;
}

TEST_F(GuideCommandsTest, UnpairedNotesAreListedAndDamagedGuidesChangeNothing) {
  const std::string sas = Sing({{60, 30, 0.7}, {62, -25, 0.7}, {64, -40, 0.7}});
  const CorrectionReport sung = ListedNotes(sas);
  ASSERT_EQ(sung.notes.size(), 3u);
  // No guide note for D4, and one where nothing is sung; chords on track 1 (a format-0 file).
  const double end = sung.notes[2].startSeconds + sung.notes[2].lengthSeconds;
  const std::string mid = WriteGuide({{sung.notes[0].startSeconds, sung.notes[1].startSeconds, 60, 90},
                                      {sung.notes[0].startSeconds, sung.notes[1].startSeconds, 55, 90},
                                      {sung.notes[2].startSeconds, end, 64, 90},
                                      {end + 0.5, end + 0.9, 72, 90}});
  const std::string before = ReadFile(sas);
  ASSERT_EQ(Run({"guide", sas, mid, "--track", "1", "--channel", "1"}), cli::ExitSuccess) << err.str();
  char line[96];
  std::snprintf(line, sizeof line, "vocara-cli: sung note at %.3f s (D4 %+d) has no guide note\n",
                sung.notes[1].startSeconds, static_cast<int>(std::round(sung.notes[1].centreCents)));
  EXPECT_EQ(err.str(), line);
  EXPECT_NE(ReadFile(sas), before);

  const std::string changed = ReadFile(sas);
  static constexpr char Damaged[] = "MThd\0\0\0\6\0\0\0\1\1\340MTrk\0\0\0\40\0\220<";
  WriteFile(mid, std::string(Damaged, sizeof Damaged - 1));
  EXPECT_EQ(Run({"guide", sas, mid}), cli::ExitFailure);
  EXPECT_NE(err.str().find("runs past the end of the file"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"guide", sas, mid + ".none"}), cli::ExitFailure);
  EXPECT_EQ(err.str(), "vocara-cli: " + mid + ".none: cannot be read\nvocara-cli: " + mid +
                           ".none: No such file or directory\n");
  WriteGuide({{0.1, 0.2, 60, 90}});
  EXPECT_EQ(Run({"guide", sas, mid, "--channel", "2"}), cli::ExitFailure);
  EXPECT_EQ(err.str(), "vocara-cli: no notes in " + mid + " on channel 2\n");
  EXPECT_EQ(Run({"guide", sas, mid, "--track", "2"}), cli::ExitFailure);
  EXPECT_EQ(err.str(), "vocara-cli: " + mid + " has 1 track, not 2\n");
  EXPECT_EQ(ReadFile(sas), changed);
}

// A format-1 guide as a DAW writes it: a first track without notes, the melody on track 2 and a
// descant above it on track 3 (tempo maps and the rest of the format: StandardMidiFileTest). With
// --track 2 the take follows the melody, not the higher descant.
TEST_F(GuideCommandsTest, AFormatOneGuideWithTheMelodyOnTrackTwo) {
  const std::string sas = Sing({{60, 30, 0.7}, {62, -25, 0.7}, {64, -40, 0.7}});
  const std::vector<MidiNote> taken = NotesOf(sas, "take.mid");
  ASSERT_EQ(taken.size(), 3u);
  const auto track = [](const std::vector<MidiOutNote>& notes) {  // the MTrk chunk of a format-0 file
    const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(notes, false);
    return std::string(bytes.begin() + 14, bytes.end());
  };
  const double t0 = taken[0].start, t1 = taken[1].start, t2 = taken[2].start, end = taken[2].end;
  const std::string mid =
      WriteFile(dir.File("parts.mid"), std::string("MThd\0\0\0\6\0\1\0\3\1\340", 14) + track({}) +
                                           track({{t0, t1, 60, 90}, {t1, t2, 62, 90}, {t2, end, 65, 90}}) +
                                           track({{t0, t2, 72, 90}, {t2, end, 76, 90}}));
  ASSERT_EQ(Run({"guide", sas, mid, "--track", "2"}), cli::ExitSuccess) << err.str();
  const CorrectionReport after = ListedNotes(sas);
  ASSERT_EQ(after.notes.size(), 3u);
  const int keys[] = {60, 62, 65};
  for (std::size_t n = 0; n < 3; ++n)
    EXPECT_NEAR(after.notes[n].note * 100 + after.notes[n].targetCents, (keys[n] - 21) * 100, 1.5) << n;
}

}  // namespace
}  // namespace vocara::test
