// The General Settings dialog on the fake platform, driven as a user would: the linked
// instrument and note lists, the numbers read back clamped, and the four buttons with the
// settings file behind Save.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/Instruments.h"
#include "program/commands/SettingsDialog.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/SettingsFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace id = settings_control;

constexpr int Violin = 63;
constexpr int NoteC2 = 15;
constexpr int NoteG3 = 34;
constexpr int NoteG7 = 82;

class SettingsDialogTest : public AppTest {
 protected:
  // Starts with a settings file whose values differ from the built-in ones, so that the values
  // loaded at start can be told apart from the defaults.
  void SetUp() override {
    settingsFile = dir.File("vocara.INI");
    WriteFile(settingsFile, SettingsFileBytes(loaded, WindowLayout::Defaults()));
    ASSERT_TRUE(ProgramStart(app, ""));
    ASSERT_EQ(app.config.files.settingsFile, settingsFile);
    ASSERT_EQ(app.config.settings, loaded);
  }

  // Opens the dialog with command 154 and lets `script` act on it; the host presses Cancel
  // when the script leaves the dialog open.
  void Run(const DialogScript& script) {
    bool ran = false;
    fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
      ran = true;
      EXPECT_EQ(app.dialogs.settingsDialog, &dialog) << "other windows refresh the open dialog through it";
      script(dialog, procedure);
    });
    Command(MftView, 154);
    EXPECT_TRUE(ran) << "the dialog did not run";
    EXPECT_EQ(app.dialogs.settingsDialog, nullptr);
  }

  // The live value after typing `text` into a field and pressing OK.
  GeneralSettings AfterOk(int field, const std::string& text) {
    Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
      dialog.SetText(field, text);
      procedure.OnCommand(dialog, id::Ok);
    });
    return app.config.settings;
  }

  // Instrument 37 is "Piano".
  const GeneralSettings loaded{.instrument = 37, .lowestNote = 0, .highestNote = 87, .tempo = 96.0};
  std::string settingsFile;
};

TEST_F(SettingsDialogTest, OpensWithTheListsAndTheLiveValues) {
  app.config.settings.chunkPeriods = 2.5;
  Run([](FakeDialog& dialog, platform::DialogProcedure&) {
    ASSERT_EQ(dialog.items[id::Instrument].size(), 69u);
    EXPECT_EQ(std::tuple(dialog.items[id::Instrument][Violin], dialog.items[id::LowestNote].size(),
                         dialog.items[id::HighestNote].size(), dialog.selections[id::Instrument]),
              std::tuple("Violin", 88u, 88u, 37));
    // The built-in -1 shows as checked.
    EXPECT_EQ(std::tuple(dialog.texts[id::ChunkPeriods], dialog.texts[id::NoiseLength],
                         dialog.checks[id::TimeCorrection]),
              std::tuple("2.5", "1024", true));
  });
  // Every control the procedure reads exists exactly once: a missing one would read as empty.
  const platform::DialogTemplate dialog = SettingsDialogTemplate();
  for (int control :
       {1, 2, 3, 4, 101, 102, 103, 111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 131}) {
    EXPECT_EQ(std::count_if(dialog.controls.begin(), dialog.controls.end(),
                            [&](const platform::ControlTemplate& c) { return c.id == control; }),
              1)
        << control;
  }
}

// --- The linked lists ---

TEST_F(SettingsDialogTest, InstrumentThenLowestNoteBecomesUserDefinedKeepingTheHighest) {
  Run([](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    Choose(dialog, procedure, id::Instrument, Violin);
    EXPECT_EQ(std::tuple(dialog.selections[id::LowestNote], dialog.selections[id::HighestNote]),
              std::tuple(NoteG3, NoteG7));
    Choose(dialog, procedure, id::LowestNote, NoteC2);
    EXPECT_EQ(std::tuple(dialog.selections[id::Instrument], dialog.selections[id::HighestNote]),
              std::tuple(UserDefinedInstrument, NoteG7));
    procedure.OnCommand(dialog, id::Ok);
  });
  EXPECT_EQ(std::tuple(app.config.settings.instrument, app.config.settings.lowestNote,
                       app.config.settings.highestNote),
            std::tuple(UserDefinedInstrument, NoteC2, NoteG7));
}

TEST_F(SettingsDialogTest, ANoteAcrossTheOtherDragsItAlong) {
  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    Choose(dialog, procedure, id::LowestNote, 50);
    Choose(dialog, procedure, id::HighestNote, 40);  // below the lowest: pulls it down
    EXPECT_EQ(std::tuple(app.config.settings.lowestNote, dialog.selections[id::LowestNote]),
              std::tuple(40, 40));
    Choose(dialog, procedure, id::LowestNote, 60);  // above the highest: pushes it up
    EXPECT_EQ(std::tuple(app.config.settings.highestNote, dialog.selections[id::HighestNote]),
              std::tuple(60, 60));
    Choose(dialog, procedure, id::Instrument, UserDefinedInstrument);  // keeps the notes
    EXPECT_EQ(app.config.settings.lowestNote, 60);
  });
}

// --- Numbers read back ---

// The noise sample length becomes a power of two; other numbers are clamped, never refused.
TEST_F(SettingsDialogTest, TypedValuesAreClampedNeverRefused) {
  const std::pair<const char*, int> lengths[] = {{"5000", 4096}, {"1500", 1024},   {"100000", 32768},
                                                 {"2048", 2048}, {"32767", 16384}, {"", 1024}};
  for (const auto& [text, expected] : lengths)
    EXPECT_EQ(AfterOk(id::NoiseLength, text).noiseLength, expected) << text;
  EXPECT_EQ(AfterOk(id::Tempo, "1234").tempo, 999.0);
  EXPECT_EQ(AfterOk(id::BeatsPerBar, "7.9").beatsPerBar, 7) << "integers truncate";
  EXPECT_EQ(AfterOk(id::RulerOrigin, "987654321").rulerOrigin, 987654321);
  EXPECT_EQ(AfterOk(id::ChunkPeriods, "abc").chunkPeriods, 1.0);
  EXPECT_EQ(AfterOk(id::Tempo, "-5").tempo, 1.0);
  EXPECT_EQ(app.config.settings.timeCorrection, 1) << "a checked box reads as 1";
  Run([](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    EXPECT_EQ(dialog.texts[id::Tempo], "1") << "the next opening shows the corrected value";
    dialog.SetChecked(id::TimeCorrection, false);
    procedure.OnCommand(dialog, id::Ok);
  });
  EXPECT_EQ(app.config.settings.timeCorrection, 0);
}

TEST_F(SettingsDialogTest, ANewNoiseLengthReevaluatesTheWavRange) {
  OpenWav16(std::vector<std::int32_t>(10000, 7));
  SelectWavRange(0, 3000);
  ASSERT_TRUE(app.Has(WavOpen | RangeHoldsNoiseLength));
  EXPECT_EQ(AfterOk(id::NoiseLength, "4096").noiseLength, 4096);
  EXPECT_FALSE(app.Has(RangeHoldsNoiseLength)) << "3000 samples cannot hold a 4096-sample noise profile";
}

// --- Default, Save and Cancel ---

TEST_F(SettingsDialogTest, DefaultAfterSaveRestoresTheLoadedValues) {
  Run([&](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    dialog.SetText(id::Tempo, "150");
    procedure.OnCommand(dialog, id::Save);
    procedure.OnCommand(dialog, id::Default);
    EXPECT_FALSE(dialog.ended) << "Save and Default keep the dialog open";
    EXPECT_EQ(dialog.texts[id::Tempo], "96") << "the loaded value, neither the saved nor the built-in one";
    EXPECT_EQ(app.config.settings, loaded);
  });
}

TEST_F(SettingsDialogTest, CancelAfterSaveKeepsTheFileAndRestoresTheOpeningValues) {
  WindowLayout layout = WindowLayout::Defaults();
  layout.rects[FftView] = {300, 210, 660, 380};
  WriteFile(settingsFile, SettingsFileBytes(loaded, layout));
  app.config.settings.tempo = 80.0;  // the live values differ from the loaded ones
  const GeneralSettings atOpening = app.config.settings;

  Run([](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    Choose(dialog, procedure, id::Instrument, Violin);
    dialog.SetText(id::Tempo, "150");
    procedure.OnCommand(dialog, id::Save);
    procedure.OnCommand(dialog, id::Cancel);
  });
  EXPECT_EQ(app.config.settings, atOpening);
  GeneralSettings saved = atOpening;
  saved.instrument = Violin;
  saved.lowestNote = NoteG3;
  saved.highestNote = NoteG7;
  saved.tempo = 150.0;
  saved.timeCorrection = 1;
  EXPECT_EQ(ReadFile(settingsFile), SettingsFileBytes(saved, layout))
      << "112 bytes at offset 0, the layout kept";
}

TEST_F(SettingsDialogTest, SaveCreatesAMissingFileAndSkipsOneThatCannotBeOpened) {
  std::filesystem::remove(settingsFile);
  Run([](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    procedure.OnCommand(dialog, id::Save);
  });
  EXPECT_EQ(ReadFile(settingsFile).size(), GeneralSettings::ByteSize);

  app.config.files.settingsFile = dir.File("no-such-folder/vocara.INI");
  Run([](FakeDialog& dialog, platform::DialogProcedure& procedure) {
    procedure.OnCommand(dialog, id::Save);
    procedure.OnCommand(dialog, id::Ok);
    EXPECT_EQ(dialog.result, 1);
  });
  EXPECT_TRUE(fake.desktop.messages.empty()) << "a failed Save is not reported";
  EXPECT_FALSE(std::filesystem::exists(app.config.files.settingsFile));
}

// --- Closing ---

TEST_F(SettingsDialogTest, ClosingRefreshesTheNoteSpectrumAndTheSasRuler) {
  // The MFT window's note strengths are measured again, over the note range as it now stands,
  // and the window redrawn whole.
  const auto refreshes = [&] { return fake.windows.views[MftView].invalidated.size(); };
  AfterOk(id::Tempo, "100");
  EXPECT_EQ(refreshes(), 1u);
  EXPECT_TRUE(fake.windows.views[SasView].presented.empty()) << "no SAS, no ruler";

  app.flags |= SasOpen;
  app.session.sas.header.sampleRate = 48000;
  app.session.sas.header.frameLength = 480;
  Run([](FakeDialog&, platform::DialogProcedure&) {});  // the close box: Cancel
  EXPECT_EQ(refreshes(), 2u);
  const std::vector<platform::Rect>& shown = fake.windows.views[SasView].presented;
  ASSERT_EQ(shown.size(), 1u) << "the ruler is drawn straight into the SAS window";
  EXPECT_EQ(shown[0].top, app.windows.metrics.toolbarHeight + app.windows.metrics.statusHeight);
}

}  // namespace
}  // namespace vocara::test
