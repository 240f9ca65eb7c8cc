// Detect Note Range in the running program: the range of a low take
// set as the MFT window's L and R keys set it (an open Settings dialog and the MFT follow), Esc
// and a recording without notes leaving the range as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/Instruments.h"
#include "base/Settings.h"
#include "platform/Keys.h"
#include "program/commands/NoteRangeCommands.h"
#include "program/commands/SettingsDialog.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "support/AppFixture.h"
#include "support/Recordings.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// A2, C3, E3 (notes 24, 27, 31): far below the default range B3..D7.
constexpr int Lowest = 24;
constexpr int Highest = 31;

class NoteRangeCommandTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    ASSERT_EQ(app.config.settings, before);
    take = WriteWav16(dir.File("low.wav"), SungMelody({{45, 0, 1.5}, {48, 0, 1.0}, {52, 0, 1.5}}));
    fake.pump.step = std::chrono::milliseconds(10);  // every progress report pumps
    fake.pump.onPump = [this] {
      busyAtPump &= app.Has(Busy);
      if (onPump) onPump();
    };
  }
  const GeneralSettings before = GeneralSettings{};

  std::string take;
  bool busyAtPump = true;
  std::function<void()> onPump;
};

TEST_F(NoteRangeCommandTest, TheSungRangeReachesTheSettingsDialogAndTheMft) {
  OpenDocumentByName(app, take);
  Command(WavView, 168);  // the MFT shown
  const std::size_t invalidated = fake.windows.views[MftView].invalidated.size();
  int lowestShown = -1;
  int instrumentShown = -1;
  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    Command(WavView, Id(CommandId::DetectNoteRange));
    lowestShown = dialog.selections[settings_control::LowestNote];
    instrumentShown = dialog.selections[settings_control::Instrument];
    procedure.OnCommand(dialog, platform::DialogOk);
  });
  Command(WavView, 154);

  const GeneralSettings& s = app.config.settings;
  EXPECT_EQ(std::tuple(busyAtPump, app.Has(Busy), s.instrument),
            std::tuple(true, false, UserDefinedInstrument));
  // The range found holds the notes sung (how far past them: NoteRangeDetectionTest).
  EXPECT_TRUE(s.lowestNote <= Lowest && s.highestNote >= Highest) << s.lowestNote << ".." << s.highestNote;
  EXPECT_EQ(std::tuple(lowestShown, instrumentShown), std::tuple(s.lowestNote, 0));
  EXPECT_GT(fake.windows.views[MftView].invalidated.size(), invalidated);
  EXPECT_EQ(fake.windows.views[MftView].state, platform::ShowState::Normal) << "shown again after busy mode";
  // The keys of the new range are measured at the cursor: none outside it.
  EXPECT_EQ(app.windows.notes.spectrum.At(s.highestNote + 2), 0.0);
  EXPECT_TRUE(fake.desktop.messages.empty());
}

TEST_F(NoteRangeCommandTest, EscAndARecordingWithoutNotesLeaveTheRange) {
  Command(WavView, Id(CommandId::DetectNoteRange));  // no recording: refused, nothing changes
  EXPECT_EQ(app.config.settings, before);
  OpenDocumentByName(app, take);
  onPump = [&] { Key(WavView, platform::key::Escape); };
  Command(WavView, Id(CommandId::DetectNoteRange));
  EXPECT_EQ(app.config.settings, before);
  EXPECT_TRUE(fake.desktop.messages.empty());
  EXPECT_FALSE(app.Has(Busy));

  onPump = nullptr;
  OpenDocumentByName(app, WriteWav16(dir.File("silence.wav"), std::vector<std::int32_t>(48000)));
  Command(WavView, Id(CommandId::DetectNoteRange));
  EXPECT_EQ(app.config.settings, before);
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(fake.desktop.messages[0].text,
            "No notes were found in the recording; the note range stays as it was.");
}

}  // namespace
}  // namespace vocara::test
