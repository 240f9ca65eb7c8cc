// The SAS document inside the running program, on the fake platform: the open command with its
// messages and fit question, the window it shows, Close, Save As, the end of the program, and
// the WAV side's use of the installed fit test.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/commands/SasCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/shell/SasSession.h"
#include "program/views/SasView.h"
#include "support/AppFixture.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using platform::MessageAnswer;
using platform::ScrollBar;
using platform::ScrollInfo;
using platform::ShowState;

class SasCommandsTest : public AppTest {
 protected:
  void SetUp() override { ASSERT_TRUE(ProgramStart(app, "")); }

  // 2050 samples at `rate`; wavChecksum is what a fitting SAS stores.
  std::string MakeWav(const std::string& name, std::uint32_t rate = 48000) {
    std::vector<std::int32_t> samples(2050);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int32_t>(i % 300) - 150;
    const std::string path = WriteWav16(dir.File(name), samples, rate);
    wavChecksum = WavChecksum(path);
    return path;
  }
  // Hop 100, source pitch 1000 + i, tempo 77 in the settings copy.
  std::string MakeSas(const std::string& name, std::size_t frames, std::uint32_t checksum = 0) {
    const SasHeader header = SasHeaderFor(100, 48000, checksum, frames, 2, {.tempo = 77});
    std::vector<SasFrame> records;
    for (std::size_t i = 0; i < frames; ++i)
      records.push_back(FreshFrame(static_cast<std::uint16_t>(1000 + i), 0, 5));
    return WriteSasFile(dir.File(name), header, records, EndLinks(static_cast<std::uint32_t>(frames * 100)));
  }
  void Choose(int command, const std::string& path) { Command(WavView, command, path); }
  const std::string& LastText() const { return fake.desktop.messages.back().text; }
  ShowState SasWindow() const { return fake.windows.views[SasView].state; }
  // No SAS document, its window hidden under the plain title.
  void ExpectNoSas() {
    EXPECT_FALSE(app.Has(SasOpen));
    EXPECT_FALSE(app.session.sas.file.IsOpen());
    EXPECT_EQ(std::tuple(SasWindow(), fake.windows.views[SasView].title),
              std::tuple(ShowState::Hidden, "SAS"));
  }

  std::uint32_t wavChecksum = 0;
};

TEST_F(SasCommandsTest, OpeningMakesItsSettingsLiveAndShowsThePageFromFrame0) {
  const std::string path = MakeSas("a.sas", 2000);
  Choose(121, path);
  EXPECT_EQ(std::tuple(app.Has(SasOpen), fake.desktop.fileRequests.back().title, app.config.settings.tempo,
                       fake.windows.views[SasView].title, SasWindow(), app.session.sas.pageLength,
                       app.session.sas.page[0].sourcePitch),
            std::tuple(true, "Open SAS File", 77.0, path, ShowState::Normal,
                       app.windows.clientRect[SasView].right, std::uint16_t{1000}));
  // 624 columns of 2000 frames: a page of 3120 in 10000.
  EXPECT_EQ(fake.windows.views[SasView].scroll[ScrollBar::Horizontal], (ScrollInfo{0, 10000, 3121, 0}));

  app.session.sas.firstFrame = 300;  // choosing the open file again does nothing: no reopen at frame 0
  Choose(121, path);
  EXPECT_EQ(app.session.sas.firstFrame, 300);
}

// 65 rows of pitch pane hold 260 cents at the built-in 0.25 pixels per cent.
TEST_F(SasCommandsTest, OpeningCentresThePitchPaneOnTheAnalysedNoteRange) {
  struct Case {
    int lowest, highest;
    int position;  // 87 - the centre note
    double scale;
  };
  const Case cases[] = {
      {48, 48, 87 - 48, 0.25},   // one note fits at the built-in scale, whatever the last file's
      {38, 77, 87 - 58, 0.125},  // the built-in B3 to D7: as far squeezed as the pane goes
      {51, 38, 87 - 45, 0.125},  // stored the wrong way round
      {0, 1, 87 - 1, 0.125},     // the lowest notes
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lowest);
    const SasHeader header =
        SasHeaderFor(100, 48000, 0, 10, 2, {.lowestNote = c.lowest, .highestNote = c.highest});
    const std::vector<SasFrame> records(10, FreshFrame(4000, 0, 5));
    app.windows.sasView.pitchScale = 1.0;
    Choose(121, WriteSasFile(dir.File(std::to_string(n++) + ".sas"), header, records, EndLinks(1000)));
    ASSERT_EQ(app.windows.geometry[SasView].plotBottom - SasPitchTop(app.windows), 65);
    EXPECT_EQ(app.windows.sasView.lower.position, c.position);
    EXPECT_EQ(fake.windows.views[SasView].scroll[ScrollBar::SasLower], (ScrollInfo{0, 98, 12, c.position}));
    EXPECT_EQ(app.windows.sasView.pitchScale, c.scale);
  }
}

TEST_F(SasCommandsTest, ARefusedFileShowsItsMessageAndHidesTheWindow) {
  Choose(121, MakeSas("good.sas", 3));
  OpenDocumentByName(app, WriteFile(dir.File("bad.sas"), "SAS " + std::string(200, '\0')));  // 0 links
  EXPECT_EQ(std::tuple(LastText(), app.session.sas.path), std::tuple("Links corrupted", ""));
  ExpectNoSas();
}

TEST_F(SasCommandsTest, TheFitQuestionKeepsOrClosesAnUnfittingSas) {
  Choose(100, MakeWav("a.wav"));
  Choose(121, MakeSas("fits.sas", 20, wavChecksum));  // 2050 / 100 = 20
  EXPECT_TRUE(fake.desktop.messages.empty() && app.Has(WavSasMatch));

  app.config.settings.tempo = 99.0;                   // a live change the declined file must not take away
  Choose(121, MakeSas("long.sas", 21, wavChecksum));  // No is the default answer
  EXPECT_EQ(std::tuple(app.config.settings.tempo, LastMessage().text, LastMessage().icon,
                       LastMessage().buttons, LastMessage().defaultAnswer),
            std::tuple(99.0, "WAV and SAS files does not fit.\nContinue?", platform::MessageIcon::Question,
                       platform::MessageButtons::YesNo, MessageAnswer::No));
  ExpectNoSas();

  fake.desktop.answers.push_back(MessageAnswer::Yes);
  Choose(121, MakeSas("long.sas", 21, wavChecksum));
  EXPECT_TRUE(app.Has(SasOpen) && !app.Has(WavSasMatch));

  // A WAV opened beside the SAS compares checksum and rate only, not the frame count.
  Choose(100, MakeWav("b.wav"));
  EXPECT_TRUE(app.Has(WavOpen | WavSasMatch));
}

TEST_F(SasCommandsTest, CloseWritesBackAndResetsTheWindow) {
  const std::string path = MakeSas("a.sas", 2000);
  Choose(121, path);
  app.session.sas.page[2].targetPitch = 4444;
  app.session.sas.range = {5, 9};
  app.windows.geometry[SasView].selRightX = 50;
  app.flags |= SasPageDirty | SasRangeSelected | CorrectedTempCurrent;
  Command(SasView, 122);
  EXPECT_FALSE(app.flags & (SasOpen | SasRangeSelected | CorrectedTempCurrent | SasPageDirty));
  ExpectNoSas();
  EXPECT_EQ(std::tuple(ReadSasFrames(path)[2].targetPitch, app.session.sas.range.right,
                       app.windows.geometry[SasView].selRightX),
            std::tuple(std::uint16_t{4444}, 0, 0));
  EXPECT_EQ(fake.windows.views[SasView].scroll[ScrollBar::Horizontal], (ScrollInfo{0, 10000, 10001, 0}));
}

TEST_F(SasCommandsTest, SaveAsRefusesTheOpenFileAndCopiesTheEditsOtherwise) {
  const std::string path = MakeSas("a.sas", 20);
  Choose(121, path);
  app.session.sas.page[3].targetAmplitude = 1;
  app.flags |= SasPageDirty;
  Choose(123, path);
  EXPECT_EQ(std::tuple(fake.desktop.fileRequests.back().title, LastText()),
            std::tuple("Save SAS File As", "Opened file can not be overwritten"));

  const std::string copy = dir.File("copy.sas");
  Choose(123, copy);
  // The document stays on its own file.
  EXPECT_EQ(
      std::tuple(fake.desktop.messages.size(), ReadSasFrames(copy)[3].targetAmplitude, app.session.sas.path),
      std::tuple(1u, 1u, path));

  // The end of the program writes back and closes the file.
  app.session.sas.page[0].targetPitch = 2222;
  app.flags |= SasPageDirty;
  sink.Dispatch(WavView, Msg(platform::MessageKind::Close));
  EXPECT_EQ(std::tuple(app.session.sas.file.IsOpen(), ReadSasFrames(path)[0].targetPitch),
            std::tuple(false, std::uint16_t{2222}));
}

TEST_F(SasCommandsTest, AFailedWriteBackIsReportedAndKeepsTheEditsPending) {
  // The document's file handle swapped for one that cannot write: every write fails.
  const std::string path = MakeSas("a.sas", 20);
  ASSERT_EQ(SasOpenDocument(app.session.sas, path), MessageId::None);
  app.session.sas.file = FileHandle::OpenForReading(path);
  app.flags |= SasOpen | SasPageDirty;
  SasWriteBack(app.session);
  EXPECT_EQ(std::tuple(LastText(), app.Has(SasPageDirty)), std::tuple("Invalid File Handle", true));
}

// Run as a user who may read the file but not write it (root gives its rights up in the child).
TEST_F(SasCommandsTest, AReadOnlySasOpensRendersRefusesEditsAndSaveAsEditsACopy) {
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  const std::string wav = MakeWav("take.wav");
  const std::string path = MakeSas("take.sas", 20, wavChecksum);
  const std::string before = ReadFile(path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  const std::string copy = dir.File("copy.sas");
  const ChildResult child = RunAsUser([&](int& exitCode) {
    std::string report;
    const auto note = [&report](bool ok, const char* what) {
      if (!ok) report += std::string(what) + "; ";
    };
    Choose(100, wav);
    Choose(121, path);
    note(app.Has(SasOpen) && app.Has(WavSasMatch), "not opened");
    note(fake.desktop.messages.empty(), "a message at opening");
    note(fake.windows.views[SasView].title == path + " (read-only)", "title");
    Choose(105, dir.File("corrected.wav"));  // rendering only reads the SAS
    note(std::filesystem::exists(dir.File("corrected.wav")), "not rendered");

    // An edit is refused, said once, and nothing is written.
    note(!SasEditAllowed(app.session) && !SasEditAllowed(app.session), "edit allowed");
    note(fake.desktop.messages.size() == 1 &&
             LastText() == "The SAS file is read-only; use Save As to edit a copy.",
         "no read-only message");
    app.session.sas.page[3].targetPitch = 1234;
    app.flags |= SasPageDirty;
    SasWriteBack(app.session);
    note(!app.Has(SasPageDirty) && fake.desktop.messages.size() == 1, "write-back");

    Choose(123, copy);
    note(app.session.sas.path == copy && !app.session.sas.readOnly && app.Has(WavSasMatch),
         "not on the copy");
    note(fake.windows.views[SasView].title == copy, "copy title");
    note(SasEditAllowed(app.session), "copy not editable");
    app.session.sas.page[0].targetPitch = 4321;
    app.flags |= SasPageDirty;
    SasWriteBack(app.session);
    exitCode = report.empty() ? 0 : 1;
    return report;
  });
  EXPECT_EQ(child.exitCode, 0) << child.output;
  EXPECT_EQ(ReadFile(path), before);
  // The refused edit went nowhere.
  EXPECT_EQ(std::tuple(ReadSasFrames(copy).at(0).targetPitch, ReadSasFrames(copy).at(3).targetPitch),
            std::tuple(std::uint16_t{4321}, std::uint16_t{1003}));
}

}  // namespace
}  // namespace vocara::test
