// The WAV document inside the running program, on the fake platform: the open and close
// commands with their dialogs and messages, the range commands and their flag rules, and the
// two range-writing commands.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "program/commands/WavCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/WavRange.h"
#include "support/AppFixture.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/SoundFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using platform::MessageAnswer;
using platform::MessageButtons;
using platform::MessageIcon;

class WavCommandsTest : public AppTest {
 protected:
  void SetUp() override { ASSERT_TRUE(ProgramStart(app, "")); }

  // A 16-bit file of `count` samples, sample i holding i - count / 2.
  std::string MakeWav(const std::string& name, int count, std::uint32_t rate = 48000) {
    std::vector<std::int32_t> stored(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) stored[static_cast<std::size_t>(i)] = i - count / 2;
    return WriteFile(dir.File(name), CanonicalWav(Format(2, rate), Samples(2, stored)));
  }
  void OpenFromDialog(const std::string& path) {
    fake.desktop.fileAnswers.push_back(path);
    Command(WavView, 100);
  }
  bool Enabled(int id) const { return FindCommand(app.commands, id)->enabled; }
  void SetRange(std::uint32_t left, std::uint32_t right) {
    app.wav.rangeLeft = left;
    app.wav.rangeRight = right;
    WavRangeChanged(app);
  }
  const ShownMessage& LastMessage() const { return fake.desktop.messages.back(); }
};

TEST_F(WavCommandsTest, OpenAsksWithTheOpenWavFileDialog) {
  app.fileDialogName = "last.sas";  // the shared name buffer is not cleared for this dialog
  Command(WavView, 100);
  ASSERT_EQ(fake.desktop.fileRequests.size(), 1u);
  const platform::FileDialogRequest& request = fake.desktop.fileRequests[0];
  EXPECT_EQ(request.title, "Open WAV File");
  ASSERT_EQ(request.filters.size(), 2u);
  EXPECT_EQ(request.filters[0].description, "Windows Sound File (*.WAV)");
  EXPECT_EQ(request.filters[0].pattern, "*.WAV");
  EXPECT_EQ(request.filters[1].description, "All Files (*.*)");
  EXPECT_EQ(request.filters[1].pattern, "*.*");
  EXPECT_EQ(request.defaultExtension, "WAV");
  EXPECT_EQ(request.initialName, "last.sas");
  EXPECT_TRUE(request.fileMustExist);
  EXPECT_TRUE(request.hideReadOnly);
  EXPECT_FALSE(request.overwritePrompt);
}

TEST_F(WavCommandsTest, OpeningShowsThePathAndEnablesTheWavCommands) {
  const std::string path = MakeWav("take.wav", 3000);
  OpenFromDialog(path);
  EXPECT_TRUE(app.Has(WavOpen));
  EXPECT_TRUE(fake.desktop.messages.empty());
  for (int view : {WavView, FftView, MftView}) EXPECT_EQ(fake.windows.views[view].title, path);
  EXPECT_EQ(fake.windows.views[SasView].title, "SAS");
  EXPECT_TRUE(Enabled(103));
  EXPECT_TRUE(Enabled(110));
  EXPECT_FALSE(Enabled(112));  // no range yet
  EXPECT_EQ(fake.windows.menuEnabled[103], true);
  // Fitted to the whole file: 3000 / 639 = 4 samples per column; the envelope's 641 columns
  // reach sample 2563.
  EXPECT_EQ(app.wavView.samplesPerPixel, 3000u / 639);
  EXPECT_EQ(app.wavView.envelopeMin, -1500.0 * 65536);
  EXPECT_EQ(app.wavView.envelopeMax, (2563.0 - 1500) * 65536);
}

TEST_F(WavCommandsTest, OpenClosesTheCurrentFileEvenWhenTheDialogIsCancelled) {
  OpenFromDialog(MakeWav("take.wav", 100));
  ASSERT_TRUE(app.Has(WavOpen));
  Command(WavView, 100);  // no answer queued: cancelled
  EXPECT_FALSE(app.Has(WavOpen));
  EXPECT_FALSE(app.wav.file.IsOpen());
  EXPECT_EQ(fake.windows.views[WavView].title, "WAV");
  EXPECT_FALSE(Enabled(103));
}

TEST_F(WavCommandsTest, ARefusedFileShowsItsMessageAndLeavesNoWavOpen) {
  OpenFromDialog(MakeWav("good.wav", 100));
  const std::string stereo = WriteFile(dir.File("stereo.wav"), [] {
    FormatFields f = Format(4);
    f.channels = 2;
    return CanonicalWav(f, "");  // no sound to import either: no question after the message
  }());
  OpenDocumentByName(app, stereo);  // a drop or the command line
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(LastMessage().text, "Not a mono file");
  EXPECT_EQ(LastMessage().icon, MessageIcon::Error);
  EXPECT_EQ(LastMessage().buttons, MessageButtons::Ok);
  EXPECT_FALSE(app.Has(WavOpen));
  EXPECT_FALSE(app.wav.file.IsOpen());
  EXPECT_EQ(fake.windows.views[WavView].title, "WAV");  // titles change only on success
  EXPECT_FALSE(Enabled(103));
}

// A file the opener refuses and the import reads: the opener's message and the question; Yes
// saves the copy where the user says (the offered name beside the file) and opens it.
TEST_F(WavCommandsTest, ARefusedSoundFileCanBeOpenedAsAMonoCopy) {
  const std::string flac =
      WriteSound(dir.File("take.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 16, {100, 300, -5, -7});
  fake.desktop.answers.push_back(MessageAnswer::Yes);
  fake.desktop.fileAnswers.push_back(dir.File("copy.wav"));
  OpenDocumentByName(app, flac);  // a drop or the command line
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(LastMessage().text, "Not a RIFF file\nConvert to a mono WAV copy?");
  EXPECT_EQ(LastMessage().icon, MessageIcon::Question);
  EXPECT_EQ(LastMessage().buttons, MessageButtons::YesNo);
  ASSERT_EQ(fake.desktop.fileRequests.size(), 1u);
  EXPECT_EQ(fake.desktop.fileRequests[0].initialName, dir.File("take.wav"));
  EXPECT_TRUE(fake.desktop.fileRequests[0].overwritePrompt);
  EXPECT_TRUE(app.Has(WavOpen));
  EXPECT_EQ(app.wav.path, dir.File("copy.wav"));
  EXPECT_EQ(fake.windows.views[WavView].title, dir.File("copy.wav"));
  EXPECT_EQ(ReadImportedWav(dir.File("copy.wav")).samples, (std::vector<std::int32_t>{200, -6}));
  EXPECT_FALSE(app.Has(Busy));
}

// No, a cancelled save dialog and Esc during the conversion all leave no WAV open and nothing
// written beside the file.
TEST_F(WavCommandsTest, NoCancelOrEscWriteNoCopy) {
  const std::string take = WriteSound(dir.File("take.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 48000, 24,
                                      std::vector<std::int32_t>(400000, 7));
  const std::string copy = dir.File("take-mono.wav");
  fake.desktop.answers.push_back(MessageAnswer::No);
  OpenFromDialog(take);
  EXPECT_EQ(LastMessage().text, "Compression not supported\nConvert to a mono WAV copy?");
  EXPECT_EQ(fake.desktop.fileRequests.size(), 1u);  // the open dialog only

  fake.desktop.answers.push_back(MessageAnswer::Yes);  // then the save dialog is cancelled
  OpenFromDialog(take);
  ASSERT_EQ(fake.desktop.fileRequests.size(), 3u);
  EXPECT_EQ(fake.desktop.fileRequests[2].initialName, copy);  // take.wav would be the file itself

  fake.desktop.answers.push_back(MessageAnswer::Yes);
  fake.desktop.fileAnswers.push_back(take);
  fake.desktop.fileAnswers.push_back(copy);
  fake.pump.step = std::chrono::milliseconds(10);  // every block pumps
  fake.pump.onPump = [this] { app.flags |= AbortRequested; };
  Command(WavView, 100);
  EXPECT_EQ(fake.desktop.messages.size(), 3u);  // the questions only, no error
  EXPECT_FALSE(app.Has(WavOpen));
  EXPECT_FALSE(app.Has(Busy));
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0);
}

TEST_F(WavCommandsTest, AMissingFileAndAnOverlongNameGiveInvalidFileHandle) {
  OpenFromDialog(dir.File("missing.wav"));
  EXPECT_EQ(LastMessage().text, "Invalid File Handle");
  const std::string longName = dir.File(std::string(260, 'a') + ".wav");
  WavOpenCommand(app, &longName);
  EXPECT_EQ(fake.desktop.messages.size(), 2u);
  EXPECT_EQ(LastMessage().text, "Invalid File Handle");
  EXPECT_FALSE(app.Has(WavOpen));
}

TEST_F(WavCommandsTest, CloseResetsTheDocumentAndTheView) {
  OpenFromDialog(MakeWav("take.wav", 3000));
  app.wav.cursor = 70;
  SetRange(10, 2000);
  fake.windows.Show(FftView, platform::ShowCommand::Restore);
  app.geometry[WavView].cursorX = 12;
  Command(WavView, 103);
  EXPECT_FALSE(app.Has(WavOpen));
  EXPECT_FALSE(app.Has(WavRangeSelected));
  EXPECT_FALSE(app.wav.file.IsOpen());
  EXPECT_EQ(app.wav.path, "");
  EXPECT_EQ(app.wav.sampleCount, 0u);
  EXPECT_EQ(app.wav.rangeLeft, 0u);
  EXPECT_EQ(app.wav.rangeRight, 0u);
  EXPECT_EQ(app.wav.rangeRms, 0.0);
  EXPECT_EQ(app.wav.amplitudeScale, 1.0);
  EXPECT_EQ(app.wav.cursor, 70u);  // the cursor survives; the next open checks it
  EXPECT_EQ(app.wavView.samplesPerPixel, 1u);
  EXPECT_EQ(app.geometry[WavView].cursorX, 0);
  EXPECT_EQ(fake.windows.views[FftView].state, platform::ShowState::Hidden);
  EXPECT_EQ(fake.windows.views[WavView].scroll[platform::ScrollBar::Horizontal],
            (platform::ScrollInfo{0, 10000, 10001, 0}));
  EXPECT_FALSE(Enabled(103));
}

TEST_F(WavCommandsTest, ACursorPastTheNewDataStartsThePositionsAgain) {
  OpenFromDialog(MakeWav("long.wav", 5000));
  app.wav.cursor = 4000;
  app.noise.length = 256;
  SetRange(3000, 4500);
  app.wavView.firstSample = 2500;
  OpenFromDialog(MakeWav("short.wav", 1000));
  EXPECT_EQ(app.wav.cursor, 0u);
  EXPECT_EQ(app.wav.rangeLeft, 0u);
  EXPECT_EQ(app.wav.rangeRight, 0u);
  EXPECT_EQ(app.noise.length, 0u);
  EXPECT_EQ(app.wavView.firstSample, 0u);
  EXPECT_FALSE(app.Has(WavRangeSelected));
}

TEST_F(WavCommandsTest, AKeptRangeIsLimitedToTheNewData) {
  OpenFromDialog(MakeWav("long.wav", 5000));
  app.wav.cursor = 500;
  SetRange(800, 4500);
  OpenFromDialog(MakeWav("short.wav", 1000));
  EXPECT_EQ(app.wav.cursor, 500u);
  EXPECT_EQ(app.wav.rangeLeft, 800u);
  EXPECT_EQ(app.wav.rangeRight, 1000u);
  EXPECT_TRUE(app.Has(WavRangeSelected));
  EXPECT_GT(app.wav.rangeRms, 0.0);
}

TEST_F(WavCommandsTest, ASasThatFitsSetsTheMatchSilently) {
  // A SAS built from this recording: its checksum (of samples -1, 0, 1: 0) and rate, which
  // the scan of the file finds before the fit is asked.
  app.sas.header = SasHeaderFor(100, 48000, 0, 1);
  app.sas.path = WriteSasFile(dir.File("take.sas"), app.sas.header, std::vector<SasFrame>(1), {});
  app.sas.file = FileHandle::OpenForReading(app.sas.path);
  app.flags |= SasOpen;
  OpenFromDialog(MakeWav("take.wav", 3));  // samples -1, 0, 1
  EXPECT_TRUE(fake.desktop.messages.empty());
  EXPECT_TRUE(app.Has(WavOpen | WavSasMatch));
}

TEST_F(WavCommandsTest, AnUnfittingSasAsksAndNoClosesTheWav) {
  app.flags |= SasOpen;  // no SAS document installed: nothing fits
  OpenFromDialog(MakeWav("take.wav", 10));
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(LastMessage().text, "WAV and SAS files does not fit.\nContinue?");
  EXPECT_EQ(LastMessage().icon, MessageIcon::Question);
  EXPECT_EQ(LastMessage().buttons, MessageButtons::YesNo);
  EXPECT_EQ(LastMessage().defaultAnswer, MessageAnswer::No);
  EXPECT_FALSE(app.Has(WavOpen));
  EXPECT_FALSE(app.wav.file.IsOpen());

  fake.desktop.answers.push_back(MessageAnswer::Yes);
  OpenFromDialog(MakeWav("take.wav", 10));
  EXPECT_TRUE(app.Has(WavOpen));
  EXPECT_FALSE(app.Has(WavSasMatch));
}

TEST_F(WavCommandsTest, SetLeftMovesTheRightEndOneColumnOn) {
  OpenFromDialog(MakeWav("take.wav", 1000));
  app.wavView.samplesPerPixel = 1;
  app.wav.rangeLeft = 100;
  app.wav.rangeRight = 200;
  app.wav.cursor = 150;
  Command(WavView, 110);
  EXPECT_EQ(app.wav.rangeLeft, 150u);
  EXPECT_EQ(app.wav.rangeRight, 201u);
  EXPECT_TRUE(app.Has(WavRangeSelected));
  EXPECT_TRUE(Enabled(112));
  EXPECT_TRUE(Enabled(113));

  app.wavView.samplesPerPixel = 8;
  app.wav.cursor = 500;  // right of the range: the right end starts from the cursor
  Command(WavView, 110);
  EXPECT_EQ(app.wav.rangeLeft, 500u);
  EXPECT_EQ(app.wav.rangeRight, 508u);

  app.wav.cursor = 995;  // never past the data
  Command(WavView, 110);
  EXPECT_EQ(app.wav.rangeRight, 1000u);
  app.wav.cursor = 1000;  // at the end: nothing selected
  Command(WavView, 110);
  EXPECT_EQ(app.wav.rangeLeft, 1000u);
  EXPECT_EQ(app.wav.rangeRight, 1000u);
  EXPECT_FALSE(app.Has(WavRangeSelected));
  EXPECT_FALSE(Enabled(112));
}

TEST_F(WavCommandsTest, SetRightLeftOfTheRangeMovesBothEnds) {
  OpenFromDialog(MakeWav("take.wav", 1000));
  app.wavView.samplesPerPixel = 4;
  app.wav.rangeLeft = 100;
  app.wav.rangeRight = 200;
  app.wav.cursor = 40;
  Command(WavView, 111);
  EXPECT_EQ(app.wav.rangeLeft, 40u);
  EXPECT_EQ(app.wav.rangeRight, 44u);
  app.wav.cursor = 300;
  Command(WavView, 111);
  EXPECT_EQ(app.wav.rangeLeft, 40u);
  EXPECT_EQ(app.wav.rangeRight, 304u);
  app.wav.cursor = 999;
  Command(WavView, 111);
  EXPECT_EQ(app.wav.rangeRight, 1000u);
  // A cursor right of the data (a click beyond a short file) cannot make a range past it.
  app.wav.cursor = 5000;
  Command(WavView, 110);
  EXPECT_EQ(app.wav.rangeLeft, 1000u);
  EXPECT_EQ(app.wav.rangeRight, 1000u);
}

TEST_F(WavCommandsTest, RangeCommandsDoNothingWithoutAFile) {
  app.wav.cursor = 5;
  Command(WavView, 110);
  Command(WavView, 111);
  EXPECT_EQ(app.wav.rangeLeft, 0u);
  EXPECT_EQ(app.wav.rangeRight, 0u);
}

TEST_F(WavCommandsTest, RangeFlagRules) {
  OpenFromDialog(MakeWav("take.wav", 4096));
  app.settings.noiseLength = 1024;
  app.flags |= CorrectedTempCurrent;
  SetRange(100, 1123);
  EXPECT_TRUE(app.Has(WavRangeSelected));
  EXPECT_FALSE(app.Has(RangeHoldsNoiseLength));  // 1023 samples
  EXPECT_FALSE(app.Has(CorrectedTempCurrent));   // every range change clears it
  SetRange(100, 1124);
  EXPECT_TRUE(app.Has(RangeHoldsNoiseLength));
  EXPECT_TRUE(Enabled(114));  // Noise=
  EXPECT_FALSE(app.Has(NoiseSampleReady));

  app.noise.length = 512;
  app.flags |= CorrectedTempCurrent;
  SetRange(100, 612);
  EXPECT_TRUE(app.Has(NoiseSampleReady));
  EXPECT_FALSE(app.Has(CorrectedTempCurrent));
  EXPECT_TRUE(Enabled(104));  // Remove Noise
  SetRange(100, 611);
  EXPECT_FALSE(app.Has(NoiseSampleReady));
  EXPECT_FALSE(Enabled(104));

  SetRange(300, 300);
  EXPECT_FALSE(app.Has(WavRangeSelected));
  EXPECT_EQ(app.wav.rangeRms, 0.0);
}

TEST_F(WavCommandsTest, SaveAsAsksWithAnEmptyNameAndWritesTheRange) {
  OpenFromDialog(MakeWav("take.wav", 10));
  SetRange(2, 5);
  const std::string out = dir.File("range.wav");
  fake.desktop.fileAnswers.push_back(out);
  Command(WavView, 112);
  const platform::FileDialogRequest& request = fake.desktop.fileRequests.back();
  EXPECT_EQ(request.title, "Save range");
  EXPECT_EQ(request.filters[0].description, "Windows Sound File (*.WAV)");
  EXPECT_EQ(request.defaultExtension, "WAV");
  EXPECT_EQ(request.initialName, "");
  EXPECT_TRUE(request.pathMustExist);
  EXPECT_TRUE(request.hideReadOnly);
  EXPECT_FALSE(request.overwritePrompt);
  EXPECT_FALSE(request.fileMustExist);
  EXPECT_TRUE(fake.desktop.messages.empty());
  EXPECT_EQ(ReadFile(out), CanonicalWav(Format(2), Samples(2, {-3, -2, -1})));
}

TEST_F(WavCommandsTest, SaveAsOntoTheOpenFileIsRefused) {
  const std::string path = MakeWav("take.wav", 10);
  const std::string original = ReadFile(path);
  OpenFromDialog(path);
  SetRange(2, 5);
  fake.desktop.fileAnswers.push_back(path);
  Command(WavView, 112);
  EXPECT_EQ(LastMessage().text, "Opened file can not be overwritten");
  EXPECT_EQ(LastMessage().icon, MessageIcon::Error);
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_TRUE(app.Has(WavOpen));
}

TEST_F(WavCommandsTest, ExportAsTextAsksForATextFile) {
  OpenFromDialog(MakeWav("take.wav", 4));
  SetRange(0, 4);
  const std::string out = dir.File("values.txt");
  fake.desktop.fileAnswers.push_back(out);
  Command(WavView, 113);
  const platform::FileDialogRequest& request = fake.desktop.fileRequests.back();
  EXPECT_EQ(request.title, "Save as ASCII file");
  EXPECT_EQ(request.filters[0].description, "Text file (*.txt)");
  EXPECT_EQ(request.filters[0].pattern, "*.txt");
  EXPECT_EQ(request.filters[1].pattern, "*.*");
  EXPECT_EQ(request.defaultExtension, "txt");
  EXPECT_EQ(ReadFile(out), "-0.006\r\n-0.003\r\n0\r\n0.003\r\n");

  Command(WavView, 113);  // cancelled: nothing is written or shown
  EXPECT_TRUE(fake.desktop.messages.empty());
  fake.desktop.fileAnswers.push_back(dir.File("missing/values.txt"));
  Command(WavView, 113);
  EXPECT_EQ(LastMessage().text, "Invalid File Handle");
}

TEST_F(WavCommandsTest, SaveAsOntoAFullDiskSaysSoAndKeepsThePreviousFile) {
  OpenFromDialog(MakeWav("take.wav", 5000));
  SetRange(0, 5000);
  const std::string out = WriteFile(dir.File("range.wav"), "previous");
  const ChildResult child = RunWithFileSizeLimit(4000, [&](int& exitCode) {
    fake.desktop.fileAnswers.push_back(out);
    Command(WavView, 112);
    exitCode = fake.desktop.messages.size() == 1 ? 0 : 1;
    return fake.desktop.messages.empty() ? std::string() : LastMessage().text;
  });
  EXPECT_EQ(child.exitCode, 0);
  EXPECT_EQ(child.output, "Invalid File Handle");
  EXPECT_EQ(ReadFile(out), "previous");
  EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0);
}

// A user who may write into the folder but not the file: the rename would go through, yet the
// file is not the user's to replace.
TEST_F(WavCommandsTest, SaveAsOntoAFileTheUserMayNotWriteIsRefused) {
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  OpenFromDialog(MakeWav("take.wav", 50));
  SetRange(0, 50);
  const std::string out = WriteFile(dir.File("theirs.wav"), "previous");
  std::filesystem::permissions(out, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                        std::filesystem::perms::others_read);
  const ChildResult child = RunAsUser([&](int& exitCode) {
    fake.desktop.fileAnswers.push_back(out);
    Command(WavView, 112);
    exitCode = fake.desktop.messages.size() == 1 ? 0 : 1;
    return fake.desktop.messages.empty() ? std::string() : LastMessage().text;
  });
  EXPECT_EQ(child.exitCode, 0);
  EXPECT_EQ(child.output, "Invalid File Handle");
  EXPECT_EQ(ReadFile(out), "previous");
  EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0);
}

TEST_F(WavCommandsTest, EndingTheProgramClosesTheWavFile) {
  OpenFromDialog(MakeWav("take.wav", 4));
  ASSERT_TRUE(app.wav.file.IsOpen());
  Command(WavView, 109);
  EXPECT_FALSE(app.wav.file.IsOpen());
  EXPECT_EQ(fake.pump.quitCode, 0);
}

}  // namespace
}  // namespace vocara::test
