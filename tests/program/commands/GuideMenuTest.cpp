// SAS File / Export Notes as MIDI... and S&AS Range / Follow Guide... in the running program on
// the fake platform, over a sung melody built into a SAS: the notes go out as a MIDI file that
// reads back with their keys; a guide with its third note late moves the notes' centres and sets
// time links as one undo action and says what it did; a damaged guide or a read-only SAS
// changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/midi/StandardMidiFile.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "support/AppFixture.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/TakeNotes.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

const std::vector<SungNote> Melody{
    {60, 30, 0.6}, {62, -25, 0.6}, {64, -40, 0.6}, {65, 35, 0.6}, {67, 20, 0.6}};

class GuideMenuTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    const std::string wav = WriteWav16(dir.File("take.wav"), SungMelody(Melody));
    sasPath = dir.File("take.sas");
    ASSERT_TRUE(BuildSas(wav, sasPath));
    original = ReadFile(sasPath);
    OpenDocumentByName(app, sasPath);
    ASSERT_TRUE(app.Has(SasOpen));
  }
  CorrectionReport Listing() { return ListedNotes(sasPath); }
  // The guide: the take's notes as Export Notes as MIDI writes them, the third a semitone down
  // and 60 ms later.
  std::string Guide() {
    const std::string taken = dir.File("taken.mid");
    Command(SasView, Id(CommandId::ExportNotesMidi), taken);
    std::vector<MidiOutNote> notes;
    for (const MidiNote& note : ReadStandardMidiFile(taken).notes) {
      const bool third = notes.size() == 2;
      notes.push_back({note.start + (third ? 0.06 : 0.0), note.end, note.key - (third ? 1 : 0), 90});
    }
    const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(notes, false);
    return WriteFile(dir.File("guide.mid"), std::string(bytes.begin(), bytes.end()));
  }

  std::string sasPath;
  std::string original;
};

TEST_F(GuideMenuTest, NotesGoOutAsMidi) {
  const std::string mid = dir.File("take.mid");
  Command(SasView, Id(CommandId::ExportNotesMidi), mid);
  EXPECT_TRUE(fake.desktop.messages.empty()) << MessageTexts().front();
  EXPECT_EQ(app.windows.status.notices[SasView], "5 notes written to take.mid");
  const MidiFileRead read = ReadStandardMidiFile(mid);
  ASSERT_EQ(read.problem, "");
  ASSERT_EQ(read.notes.size(), Melody.size());
  for (std::size_t n = 0; n < Melody.size(); ++n) EXPECT_EQ(read.notes[n].key, Melody[n].key) << n;

  // Not over the SAS itself.
  Command(SasView, Id(CommandId::ExportNotesMidi), sasPath);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Opened file can not be overwritten"}));
  EXPECT_TRUE(ReadFile(sasPath) == original);

  // A take without notes says so before a name is asked for.
  const std::string quiet = WriteSasFile(dir.File("quiet.sas"), SasHeaderFor(100, 48000, 0, 50),
                                         std::vector<SasFrame>(50, SasFrame{}), EndLinks(5000));
  OpenDocumentByName(app, quiet);
  const std::size_t asked = fake.desktop.fileRequests.size();
  Command(SasView, Id(CommandId::ExportNotesMidi));
  EXPECT_EQ(MessageTexts().back(), "The SAS file holds no notes: there is nothing to export.");
  EXPECT_EQ(fake.desktop.fileRequests.size(), asked);
}

TEST_F(GuideMenuTest, FollowingAGuideIsOneUndoAction) {
  const std::string guide = Guide();
  OkNextDialog({{106, "100"}});
  Command(SasView, Id(CommandId::FollowGuide), guide);
  ASSERT_EQ(MessageTexts().size(), 1u);
  EXPECT_EQ(
      MessageTexts()[0],
      "Notes following the guide: 5\nSung notes without a guide note: 0\nGuide notes without a sung note: 0\n"
      "Notes put in time: 5");
  EXPECT_EQ(app.dialogs.guide.params.timing, 100);
  // The third note a semitone down and 60 ms at 48 kHz later, the guide's times rounded to its
  // ticks (1/960 s, 50 samples) twice (where each note goes and where its link stands:
  // GuideMelodyTest).
  const NoteReport third = Listing().notes.at(2);
  EXPECT_NEAR(third.note * 100 + third.targetCents, (Melody[2].key - 1 - 21) * 100, 1.5);
  const std::vector<TimeLink> links = ReadSasLinks(sasPath);
  ASSERT_EQ(links.size(), 7u);
  EXPECT_NEAR(static_cast<double>(links[3].target) - links[3].source, 2880.0, 50);

  Command(SasView, Id(CommandId::Undo));
  EXPECT_TRUE(ReadFile(sasPath) == original) << "one undo gives the file back";
}

TEST_F(GuideMenuTest, DamagedGuidesAndReadOnlyFilesChangeNothing) {
  const std::string damaged =
      WriteFile(dir.File("damaged.mid"), std::string("MThd\0\0\0\6\0\2\0\1\0\140", 14));
  OkNextDialog({{106, "0"}});
  Command(SasView, Id(CommandId::FollowGuide), damaged);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{damaged + ": format 2 (independent patterns) is not read"}));
  EXPECT_TRUE(ReadFile(sasPath) == original);

  app.session.sas.readOnly = true;
  UpdateCommandStates(app.commands);
  EXPECT_FALSE(fake.windows.menuEnabled[Id(CommandId::FollowGuide)]);
  EXPECT_TRUE(fake.windows.menuEnabled[Id(CommandId::ExportNotesMidi)]);
}

}  // namespace
}  // namespace vocara::test
