// The Wave Synthesis dialog in the running program, on the fake platform: opening and
// bringing to top, the fields read, normalised and shown back, Generate and Save As with the
// file they open, the parameters across closing, and the buttons while busy.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/MessageId.h"
#include "program/commands/SynthesisDialog.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace id = synthesis_control;
namespace s = synthesis;

constexpr int Field(int index) { return id::FirstField + index; }

class SynthesisDialogTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    // A file of the user's in the current folder under the temporary file's name stays as it is.
    std::filesystem::current_path(dir.Path());
    WriteFile(dir.File(GeneratedTempName), "the user's own");
  }

  FakeDialog& Open() {
    Command(WavView, 102);
    EXPECT_TRUE(app.Has(SynthesisDialogOpen));
    return *fake.dialogs.modeless.back();
  }
  void Press(FakeDialog& dialog, int button) { app.dialogs.synthesis.procedure->OnCommand(dialog, button); }
  // What the generator writes for the parameters the dialog now holds.
  std::string Expected() {
    const std::string path = dir.File("expected.wav");
    EXPECT_EQ(GenerateWaveFile(app.dialogs.synthesis.parameters, path), MessageId::None);
    return ReadFile(path);
  }
};

TEST_F(SynthesisDialogTest, GenerateNormalisesShowsBackAndReplacesTheTemporaryFile) {
  FakeDialog& dialog = Open();
  dialog.SetText(Field(s::SineAmplitude), "80");
  dialog.SetText(Field(s::NoiseAmplitude), "40");
  dialog.SetText(Field(s::SineFrequency), "99999");
  dialog.SetText(Field(s::Duration), "2");
  Press(dialog, id::Generate);
  EXPECT_EQ(std::tuple(dialog.GetText(Field(s::SineAmplitude)), dialog.GetText(Field(s::NoiseAmplitude)),
                       dialog.GetText(Field(s::SineFrequency))),
            std::tuple("66.67", "33.33", "20000"));
  EXPECT_EQ(std::tuple(app.Has(WavOpen | GenerateToTemp), app.docs.wav.path, app.docs.wav.sampleCount),
            std::tuple(true, RenderedFile(GeneratedTempName), 96000u));
  EXPECT_EQ(ReadFile(RenderedFile(GeneratedTempName)), Expected());

  // The open temporary file is closed, replaced and opened again.
  dialog.SetText(Field(s::Duration), "1");
  Press(dialog, id::Generate);
  EXPECT_EQ(std::tuple(app.Has(WavOpen), app.docs.wav.sampleCount, fake.desktop.messages.size()),
            std::tuple(true, 48000u, 0u));
  EXPECT_EQ(std::tuple(ReadFile(RenderedFile(GeneratedTempName)), ReadFile(dir.File(GeneratedTempName))),
            std::tuple(Expected(), "the user's own"));
}

TEST_F(SynthesisDialogTest, SaveAsAsksForTheNameAndReportsAFailedCreation) {
  FakeDialog& dialog = Open();
  dialog.SetText(Field(s::SquareAmplitude), "50");
  dialog.SetText(Field(s::SquareFrequency), "300");
  const std::string named = dir.File("square.wav");
  fake.desktop.fileAnswers = {named, dir.File("missing/x.wav")};
  Press(dialog, id::SaveAs);
  ASSERT_EQ(fake.desktop.fileRequests.size(), 1u);
  EXPECT_EQ(Describe(fake.desktop.fileRequests[0]),
            "Save Generated Wave | Windows Sound File (*.WAV)=*.WAV | WAV |  | pathMustExist overwritePrompt "
            "hideReadOnly");
  EXPECT_EQ(std::tuple(app.Has(GenerateToTemp), app.docs.wav.path, ReadFile(named),
                       std::filesystem::exists(RenderedFile(GeneratedTempName))),
            std::tuple(false, named, Expected(), false));
  Press(dialog, id::SaveAs);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{std::string(MessageText(MessageId::InvalidFileHandle))});
  EXPECT_FALSE(app.Has(WavOpen)) << "the previous file stays closed";
  Press(dialog, id::SaveAs);  // cancelled: nothing is closed or written
  EXPECT_EQ(fake.desktop.messages.size(), 1u);
}

// The dialog opens once with the defaults (Wave Synthesis again only brings it to the top); its
// parameters survive closing it; its buttons wait while the program is busy.
TEST_F(SynthesisDialogTest, OpensOnceAndItsParametersSurviveClosingAndButtonsWaitWhileBusy) {
  FakeDialog& first = Open();
  EXPECT_EQ(std::tuple(first.dialogTemplate.title, first.GetText(Field(s::Duration)),
                       first.GetText(Field(s::SineFrequency)), first.GetText(Field(s::TriangleDuty))),
            std::tuple("Wave Synthesis", "5", "0", "50"));
  Command(WavView, 102);
  EXPECT_EQ(fake.dialogs.modeless.size(), 1u);
  first.SetText(Field(s::SinePhase + 9), "-45.5");
  Press(first, id::Generate);
  Press(first, platform::DialogCancel);
  EXPECT_TRUE(first.ended && !app.Has(SynthesisDialogOpen) && app.dialogs.synthesis.dialog == nullptr);
  FakeDialog& second = Open();
  EXPECT_EQ(std::tuple(&second == &first, second.GetText(Field(s::SinePhase + 9))),
            std::tuple(false, "-45.5"));

  std::filesystem::remove(RenderedFile(GeneratedTempName));
  app.flags |= Busy;
  second.SetText(Field(s::Duration), "7");
  Press(second, id::Generate);
  Press(second, id::SaveAs);
  EXPECT_EQ(std::tuple(std::filesystem::exists(RenderedFile(GeneratedTempName)),
                       fake.desktop.fileRequests.size(), app.dialogs.synthesis.parameters[s::Duration]),
            std::tuple(false, 0u, 5.0));
}

}  // namespace
}  // namespace vocara::test
