// WAV File / Keep Formants in the running program on the fake platform: the choice written to the preferences
// file under the test's own config folder (other lines kept) and read at the next start, a damaged or missing
// file meaning shift, a failed write still turning the choice over; and Play Corrected (whose request Correct
// shares) rendering as the engine renders with the choice, anew after a toggle.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "engine/processing/Correct.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/WavRange.h"
#include "support/AppFixture.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr int KeepFormants = Id(CommandId::KeepFormants);

// Two renders compared without printing them: where they first differ.
::testing::AssertionResult SameBytes(const std::string& a, const std::string& b) {
  if (a == b) return ::testing::AssertionSuccess() << a.size() << " bytes alike";
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  return ::testing::AssertionFailure() << a.size() << " and " << b.size() << " bytes, first apart at " << at;
}

class KeepFormantsMenuTest : public AppTest {
 protected:
  std::string PreferencesFile() const { return dir.File("config/vocara/preferences"); }
  void WritePreferences(const std::string& text) {
    std::filesystem::create_directories(dir.File("config/vocara"));
    WriteFile(PreferencesFile(), text);
  }
  bool Checked() { return fake.windows.menuChecked[KeepFormants]; }
};

TEST_F(KeepFormantsMenuTest, ATogglePersistsTheChoiceAndKeepsOtherLines) {
  WritePreferences("# written by a later version\nloudness=high\r\nformants=shift\n");
  ASSERT_TRUE(ProgramStart(app, ""));
  Command(WavView, KeepFormants);
  EXPECT_TRUE(Checked());
  EXPECT_EQ(ReadFile(PreferencesFile()), "# written by a later version\nloudness=high\r\nformants=keep\n");
  Command(WavView, KeepFormants);
  EXPECT_FALSE(Checked());
  EXPECT_EQ(ReadFile(PreferencesFile()), "# written by a later version\nloudness=high\r\nformants=shift\n");
  EXPECT_TRUE(fake.desktop.messages.empty());

  // A folder that cannot be made (its place is a file): the choice holds for the run, unsaid.
  std::filesystem::remove_all(dir.File("config"));
  WriteFile(dir.File("config"), "a file where the folder would be");
  Command(WavView, KeepFormants);
  EXPECT_EQ(std::tuple(Checked(), app.config.preferences.keepFormants, fake.desktop.messages.size()),
            std::tuple(true, true, 0u));
  EXPECT_EQ(ReadFile(dir.File("config")), "a file where the folder would be");
}

TEST_F(KeepFormantsMenuTest, StartUpReadsTheChoiceAndAnythingElseMeansShift) {
  const struct {
    const char* text;  // nullptr: no file
    bool keep;
  } cases[] = {{"formants=keep\n", true}, {"formants=kept\n", false}, {nullptr, false}};
  for (const auto& c : cases) {
    FakePlatform platform;
    platform.desktop.programPath = dir.File("vocara");
    platform.desktop.configDirectory = dir.File("config");
    std::filesystem::remove_all(dir.File("config"));
    if (c.text != nullptr) WritePreferences(c.text);
    App started(platform.ports);
    ASSERT_TRUE(ProgramStart(started, ""));
    const std::string label = c.text != nullptr ? c.text : "no file";
    EXPECT_EQ(started.config.preferences.keepFormants, c.keep) << label;
    EXPECT_EQ(platform.windows.menuChecked[KeepFormants], c.keep) << label;
    EXPECT_EQ(std::filesystem::exists(PreferencesFile()), c.text != nullptr) << "only a change writes it";
  }
}

// Formant Shift... shows the shift kept, takes a new one within -1200 .. 1200 into the file
// beside the formants line, and a cancel changes nothing.
TEST_F(KeepFormantsMenuTest, TheFormantShiftIsAskedAndKept) {
  WritePreferences("formants=keep\n");
  ASSERT_TRUE(ProgramStart(app, ""));
  std::string shown;
  for (const char* typed : {"-300", "5000"}) {
    fake.dialogs.script.push_back([&, typed](FakeDialog& dialog, platform::DialogProcedure& procedure) {
      shown = dialog.GetText(101);
      dialog.SetText(101, typed);
      procedure.OnCommand(dialog, platform::DialogOk);
    });
    Command(WavView, Id(CommandId::FormantShift));
  }
  Command(WavView, Id(CommandId::FormantShift));  // an empty script presses Cancel
  EXPECT_EQ(std::tuple(shown, app.config.preferences.formantShift, ReadFile(PreferencesFile())),
            std::tuple(std::string("-300"), 1200, std::string("formants=keep\nformantShift=1200\n")));
}

// A sung take built into a SAS whose voiced targets lie 300 cents above what was sung, so that
// keeping and shifting the formants give different sounds.
class KeepFormantsRenderTest : public KeepFormantsMenuTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    const std::string wav = WriteWav16(dir.File("take.wav"), SungMelody({{57, 0, 0.4}, {60, 0, 0.4}}));
    const std::string sas = dir.File("take.sas");
    ASSERT_TRUE(BuildSas(wav, sas));
    std::vector<SasFrame> frames = ReadSasFrames(sas);
    for (SasFrame& frame : frames)
      if (frame.sourcePitch > 0) frame.targetPitch = static_cast<std::uint16_t>(frame.sourcePitch + 300);
    WriteSasFile(sas, ReadSasHeader(sas), frames, ReadSasLinks(sas));
    OpenDocumentByName(app, wav);
    OpenDocumentByName(app, sas);
    ASSERT_TRUE(app.Has(WavOpen | SasOpen | WavSasMatch));
    fake.audio.outputs = {"speakers"};
    app.flags |= PlayAvailable;
    UpdateCommandStates(app.commands);
  }

  // What the engine renders of start .. end with the formants as asked.
  std::string EngineRender(Formants formants, CorrectMode mode, std::uint32_t start, std::uint32_t end) {
    const CorrectRequest request{
        start, end, app.config.settings.timeCorrection != 0, mode, mode == CorrectMode::Play, formants};
    const std::string out = dir.File("engine.wav");
    EXPECT_EQ(Correct(app.docs.wav, app.session.sas, request, out, nullptr).result,
              LongOperationResult::Done);
    return ReadFile(out);
  }
};

TEST_F(KeepFormantsRenderTest, PlayCorrectedRendersAnewAfterAToggle) {
  const std::uint32_t left = 2000;
  const std::uint32_t right = app.docs.wav.sampleCount - 2000;
  SelectWavRange(left, right);
  const std::string temporary = RenderedFile("CorrectedTemp.wav");
  Command(WavView, Id(CommandId::PlayCorrected));
  ASSERT_TRUE(app.Has(CorrectedTempCurrent));
  const std::string shifted = ReadFile(temporary);
  EXPECT_TRUE(SameBytes(shifted, EngineRender(Formants::Shift, CorrectMode::Play, left, right)));
  OutputDone(0);
  OutputDone(1);  // both buffers back: the playback ends

  Command(WavView, KeepFormants);
  EXPECT_FALSE(app.Has(CorrectedTempCurrent));
  std::filesystem::remove(temporary);  // a render writes it again; a replay would find nothing
  Command(WavView, Id(CommandId::PlayCorrected));
  EXPECT_TRUE(app.Has(CorrectedTempCurrent));
  const std::string kept = ReadFile(temporary);
  EXPECT_TRUE(SameBytes(kept, EngineRender(Formants::Keep, CorrectMode::Play, left, right)));
  EXPECT_FALSE(SameBytes(kept, shifted));
  EXPECT_EQ(fake.audio.outputOpens.size(), 2u) << "both renders played";
}

}  // namespace
}  // namespace vocara::test
