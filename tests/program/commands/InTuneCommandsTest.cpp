// Snap to Scale, Re-analyse Range, Repair Octave Jumps and the correction report in the running
// program, on a sung phrase analysed by the real Build: the gates, the dialogs, the work limited
// to the range as one undo action, and the marks after Correct and Play Corrected.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "platform/Keys.h"
#include "program/commands/InTuneCommands.h"
#include "program/commands/SasCommands.h"
#include "program/commands/SasUndo.h"
#include "program/commands/WavCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/shell/SasSession.h"
#include "program/shell/WavRange.h"
#include "program/views/CorrectionMarks.h"
#include "support/AppFixture.h"
#include "support/ChildProcess.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr std::uint32_t Rate = 48000;
// Notes in cents above A0 and seconds: A4 30 cents sharp, C5 40 cents flat, D#5 20 cents sharp.
constexpr double Notes[][2] = {{4830, 0.6}, {5060, 0.6}, {5420, 0.6}};

// The phrase as a singer gives it, with a vibrato of +-25 cents and a tenth of a second of
// silence at either end.
std::vector<std::int32_t> SungPhrase() {
  std::vector<SungNote> notes{{0, 0, 0.1}};
  for (const auto& [cents, seconds] : Notes) {
    const double semitones = std::round(cents / 100);
    notes.push_back({21 + static_cast<int>(semitones), cents - 100 * semitones, seconds, 0.0});
  }
  notes.push_back({0, 0, 0.1});
  return SungMelody(notes, {.vibratoCents = 25});
}

class InTuneMenuTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    wavPath = WriteWav16(dir.File("take.wav"), SungPhrase(), Rate);
    sasPath = dir.File("take.sas");
    ASSERT_TRUE(BuildSas(wavPath, sasPath));
    hop = ReadSasHeader(sasPath).frameLength;
    fake.pump.step = std::chrono::milliseconds(10);  // every progress report pumps
    fake.pump.onPump = [this] {
      if (!app.Has(Busy)) calls.push_back("pumped while not busy");
      if (onPump) onPump();
    };
  }

  void OpenBoth() {
    OpenDocumentByName(app, wavPath);
    OpenDocumentByName(app, sasPath);
    ASSERT_TRUE(app.Has(WavOpen | SasOpen | WavSasMatch));
  }
  // The frames of note k (0..2) of the phrase.
  std::pair<std::uint32_t, std::uint32_t> NoteFrames(int k) {
    double start = 0.1;
    for (int i = 0; i < k; ++i) start += Notes[i][1];
    return {static_cast<std::uint32_t>(start * Rate / hop),
            static_cast<std::uint32_t>((start + Notes[k][1]) * Rate / hop)};
  }
  std::vector<bool> Enabled() {
    std::vector<bool> states;
    for (const int id :
         {Id(CommandId::SnapToScale), Id(CommandId::Reanalyse), Id(CommandId::RepairOctaveJumps)})
      states.push_back(fake.windows.menuEnabled[id]);
    return states;
  }

  std::string wavPath;
  std::vector<std::string> calls;
  std::string sasPath;
  std::uint32_t hop = 0;
  std::function<void()> onPump;
};

TEST_F(InTuneMenuTest, TheThreeCommandsAreGreyedByTheirGate) {
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, false, false}));
  OpenDocumentByName(app, sasPath);  // the SAS alone: only Snap, which needs no recording
  EXPECT_EQ(Enabled(), (std::vector<bool>{true, false, false}));
  OpenDocumentByName(app, wavPath);
  EXPECT_EQ(Enabled(), (std::vector<bool>{true, true, true}));
  app.session.sas.readOnly = true;
  UpdateCommandStates(app.commands);
  EXPECT_EQ(Enabled(), (std::vector<bool>{false, false, false}));
}

TEST_F(InTuneMenuTest, TheSnapDialogClampsKeepsAndShowsItsDefaults) {
  OpenBoth();
  std::vector<std::string> shown;
  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    shown = {dialog.items[101].back(), dialog.items[102].at(4)};
    for (int id = 103; id <= 107; ++id) shown.push_back(dialog.GetText(id));
    dialog.SetSelection(101, 9);
    dialog.SetSelection(102, 4);
    const char* typed[] = {"7,0,3,0", "500", "150", "-5", "5000"};  // the last four out of range
    for (int id = 103; id <= 107; ++id) dialog.SetText(id, typed[id - 103]);
    procedure.OnCommand(dialog, platform::DialogOk);
  });
  Command(SasView, Id(CommandId::SnapToScale));
  EXPECT_EQ(shown, (std::vector<std::string>{"B", "Custom", "0,2,4,5,7,9,11", "440", "100", "0", "40"}));
  ScaleSnapParams expected{9, ScaleKind::Custom, 0x89, MaxReference, 100, 0, MaxRetuneMs};
  EXPECT_EQ(app.dialogs.snapParams, expected);

  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    EXPECT_EQ(dialog.GetText(104), "466");  // kept for the run
    procedure.OnCommand(dialog, 3);         // Default: shown, not yet taken
    EXPECT_EQ(std::tuple(dialog.GetSelection(102), dialog.GetText(104)), std::tuple(1, "440"));
    dialog.SetText(103, "12,x");  // no set: the one in force stays
    procedure.OnCommand(dialog, platform::DialogOk);
  });
  Command(SasView, Id(CommandId::SnapToScale));
  expected = ScaleSnapParams{};
  expected.custom = 0x89;
  EXPECT_EQ(app.dialogs.snapParams, expected);
}

TEST_F(InTuneMenuTest, SnapChangesOnlyTheRangesTargetsAndOneUndoRestoresTheFile) {
  OpenBoth();
  const std::string original = ReadFile(sasPath);
  const std::vector<SasFrame> before = ReadSasFrames(sasPath);
  const auto [first, end] = NoteFrames(1);
  SelectSasRange(static_cast<std::int32_t>(first), static_cast<std::int32_t>(end));
  int pumps = 0;
  onPump = [&] { ++pumps; };
  OkNextDialog();
  Command(SasView, Id(CommandId::SnapToScale));
  EXPECT_GT(pumps, 0);
  EXPECT_TRUE(calls.empty());  // every pump in busy mode
  EXPECT_FALSE(app.Has(Busy));
  // Only the range's frames change (which fields, and the vibrato kept, are ScaleSnapTest's);
  // the middle of C5 - 40 cents now lies on C5.
  std::vector<SasFrame> after = Saved();
  EXPECT_NEAR(after[(first + end) / 2].TargetPitch(), 5100, 30);
  std::copy(before.begin() + first, before.begin() + end, after.begin() + first);
  EXPECT_EQ(std::tuple(after, app.session.undo.undo.size()), std::tuple(before, 1u));
  Command(SasView, Id(CommandId::Undo));
  SasWriteBack(app.session);
  EXPECT_EQ(ReadFile(sasPath), original);

  // A silence threshold raised in the Settings dialog since the SAS was written counts: above
  // every frame, nothing is a note.
  app.config.settings.silenceThreshold = 99;
  OkNextDialog();
  Command(SasView, Id(CommandId::SnapToScale));
  EXPECT_EQ(Saved(), before);

  // Esc at the first pump stops the snap before its first note: nothing changes, nothing to
  // undo, no error.
  app.config.settings.silenceThreshold = 2;
  onPump = [&] { app.flags |= AbortRequested; };
  OkNextDialog();
  const std::size_t undoSteps = app.session.undo.undo.size();
  Command(SasView, Id(CommandId::SnapToScale));
  EXPECT_EQ(Saved(), before);
  EXPECT_EQ(std::tuple(app.session.undo.undo.size(), app.Has(Busy)), std::tuple(undoSteps, false));
}

// Esc part way through leaves the file exactly as it was: the frames measured again so far are
// in a copy that never replaces the file, and there is nothing to undo.
TEST_F(InTuneMenuTest, EscPartWayLeavesTheFileAsItWas) {
  OpenBoth();
  const std::string original = ReadFile(sasPath);
  int pumps = 0;
  onPump = [&] {
    if (++pumps == 3) app.flags |= AbortRequested;
  };
  const auto reanalyse = [this] {
    OkNextDialog({}, {}, {{101, 20}});  // another note range, so every frame would change
    Command(SasView, Id(CommandId::Reanalyse));
  };
  reanalyse();
  const int stoppedAt = pumps;
  SasWriteBack(app.session);
  EXPECT_EQ(ReadFile(sasPath), original);
  EXPECT_EQ(std::tuple(app.session.undo.undo.size(), fake.desktop.messages.size(),
                       TemporaryFileCount(dir.Path().string())),
            std::tuple(0u, 0u, 0));

  // Run to its end, the same operation reports far more often and changes the file.
  pumps = 0;
  onPump = [&] { ++pumps; };
  reanalyse();
  EXPECT_GT(pumps, stoppedAt + 2);
  SasWriteBack(app.session);
  EXPECT_NE(ReadFile(sasPath), original);
  EXPECT_EQ(app.session.undo.undo.size(), 1u);
}

// While vocara-cli holds the SAS's lock, an operation and the write-back before Snap to Scale say
// so as the command line does, and the file and the page's edits stay as they were.
TEST_F(InTuneMenuTest, ASasLockedByAnotherProgramSaysSoAndKeepsThePagesEdits) {
  OpenBoth();
  app.session.lockWait = std::chrono::milliseconds(30);
  const std::string original = ReadFile(sasPath);
  FileHandle holder = FileHandle::OpenForReading(sasPath);
  ASSERT_TRUE(holder.Lock(std::chrono::milliseconds(0)));
  Command(SasView, Id(CommandId::TimeCorrectDisable));
  app.session.sas.page[2].targetAmplitude = 7;  // drawn, not yet written back
  app.flags |= SasPageDirty;
  OkNextDialog();
  Command(SasView, Id(CommandId::SnapToScale));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>(2, std::string(MessageText(MessageId::SasBusy))));
  EXPECT_TRUE(ReadFile(sasPath) == original && app.Has(SasPageDirty) &&
              app.session.sas.page[2].targetAmplitude == 7);
}

// The Re-analyse dialog starts from the SAS's own note range and hands notes given upside down
// back in order (the engine would take them either way). Its run as one undo step is
// EscPartWayLeavesTheFileAsItWas's, the pumps in busy mode the Snap test's (one road for both).
TEST_F(InTuneMenuTest, TheReanalyseDialogStartsFromTheSasRangeAndOrdersTheNotes) {
  OpenBoth();
  std::vector<int> shown;
  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    shown = {dialog.GetSelection(101), dialog.GetSelection(102), static_cast<int>(dialog.items[101].size())};
    procedure.OnCommand(dialog, platform::DialogCancel);
  });
  Command(SasView, Id(CommandId::Reanalyse));
  EXPECT_EQ(std::tuple(shown, app.session.undo.undo.empty()),
            std::tuple((std::vector<int>{38, 77, 88}), true));
  OkNextDialog({}, {}, {{101, 60}, {102, 20}});
  int lowest = 5;
  int highest = 6;
  EXPECT_TRUE(RunReanalyseDialog(app.ports, SasView, lowest, highest));
  EXPECT_EQ(std::make_pair(lowest, highest), std::make_pair(20, 60));
}

TEST_F(InTuneMenuTest, RepairBringsAnOctaveJumpBackAndSaysHowManyFrames) {
  std::vector<SasFrame> frames = ReadSasFrames(sasPath);
  const std::uint32_t jump = (NoteFrames(1).first + NoteFrames(1).second) / 2;
  for (std::uint32_t i = jump; i < jump + 4; ++i) {
    frames[i].sourcePitch = static_cast<std::uint16_t>(frames[i].sourcePitch + 1200);
    frames[i].targetPitch = frames[i].sourcePitch;
  }
  WriteSasFile(sasPath, ReadSasHeader(sasPath), frames, ReadSasLinks(sasPath));
  OpenBoth();
  Command(SasView, Id(CommandId::RepairOctaveJumps));
  EXPECT_TRUE(fake.dialogs.titles.empty());
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(fake.desktop.messages[0].text, "Frames repaired: 4");  // the frames: ReanalysisTest
  EXPECT_NE(Saved(), frames);
  EXPECT_EQ(app.session.undo.undo.size(), 1u);
  Command(SasView, Id(CommandId::Undo));
  EXPECT_EQ(Saved(), frames);
}

TEST_F(InTuneMenuTest, CorrectAndPlayCorrectedMarkWhatTheCorrectedFileSings) {
  OpenBoth();
  const std::string out = dir.File("corrected.wav");
  Command(WavView, 105, out);
  ASSERT_TRUE(app.session.correctionReportShown);
  ASSERT_EQ(app.session.correctionReport.notes.size(), 3u);
  EXPECT_NEAR(app.session.correctionReport.meanAbsError, 0, 10);  // nothing edited: sung as it was
  // How the marks are drawn is CorrectionMarksTest's; here that the SAS window shows them.
  Resize(SasView, 640, 600);
  app.windows.sasView.lower.position = 87 - 51;  // the pitch pane centred on C5
  fake.text.drawn.clear();
  Paint(SasView);
  EXPECT_TRUE(std::any_of(fake.text.drawn.begin(), fake.text.drawn.end(),
                          [](const DrawnText& text) { return text.colour == CorrectionMarkColour; }));

  // Esc once the render is written stops the measurement: no marks.
  onPump = [&] {
    if (std::filesystem::exists(out)) Key(WavView, platform::key::Escape);
  };
  std::filesystem::remove(out);
  Command(WavView, 105, out);
  EXPECT_FALSE(app.session.correctionReportShown);
  EXPECT_TRUE(app.session.correctionReport.notes.empty());

  // Play Corrected: the sound starts, then the measurement pumps its messages.
  std::filesystem::current_path(dir.Path());
  fake.audio.outputs = {"speakers"};
  fake.audio.onOutputOpen = [this] { calls.push_back("play"); };
  onPump = [this] {
    if (!calls.empty() && calls.back() == "play") calls.push_back("measuring while playing");
  };
  app.flags |= PlayAvailable;
  SelectWavRange(0, app.docs.wav.sampleCount);
  Command(WavView, 117);
  EXPECT_EQ(calls, (std::vector<std::string>{"play", "measuring while playing"}));
  EXPECT_EQ(std::tuple(app.session.correctionReport.notes.size(), app.session.correctionReportShown),
            std::tuple(3u, true));
  Command(WavView, 122);  // the marks go with the SAS
  EXPECT_FALSE(app.session.correctionReportShown);
}

}  // namespace
}  // namespace vocara::test
