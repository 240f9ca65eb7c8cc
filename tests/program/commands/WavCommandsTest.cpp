// The WAV document inside the running program, on the fake platform: the open and close
// commands with their dialogs and messages, the range commands and their flag rules, and the
// two range-writing commands.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "program/commands/WavCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/dispatch/WindowProcedure.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/ChildProcess.h"
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
    return WriteWav16(dir.File(name), stored, rate);
  }
  void OpenFromDialog(const std::string& path) { Command(WavView, 100, path); }
  // Every field the flags and the document keep of a WAV, as the commands leave them.
  void ExpectNoWav() {
    EXPECT_EQ(std::tuple(app.Has(WavOpen), app.docs.wav.file.IsOpen()), std::tuple(false, false));
    EXPECT_EQ(fake.windows.views[WavView].title, "WAV");  // titles change only on success
    EXPECT_FALSE(Enabled(103));
  }
  auto Range() const { return std::tuple(app.docs.wav.rangeLeft, app.docs.wav.rangeRight); }
};

TEST_F(WavCommandsTest, OpenAsksWithItsDialogShowsThePathAndEnablesTheWavCommands) {
  app.dialogs.fileDialogName = "last.sas";  // the shared name buffer is not cleared for this dialog
  const std::string path = MakeWav("take.wav", 3000);
  OpenFromDialog(path);
  ASSERT_EQ(fake.desktop.fileRequests.size(), 1u);
  // Every kind the convert question takes, WAV first, in a label the dialog's list can hold.
  const platform::FileFilter sounds = fake.desktop.fileRequests[0].filters[0];
  EXPECT_EQ(Describe(fake.desktop.fileRequests[0]),
            "Open WAV File | " + sounds.description + "=" + sounds.pattern +
                ", Windows Sound File (*.WAV)=*.WAV, All Files (*.*)=*.* | WAV | last.sas | "
                "fileMustExist pathMustExist hideReadOnly");
  EXPECT_TRUE(sounds.description.starts_with("Audio files (*.wav *.flac *.ogg *.oga ")) << sounds.description;
  EXPECT_LE(sounds.description.size(), 96u);
  for (const char* kind : {"*.wav;", ";*.flac;", ";*.aif;", ";*.rf64"})
    EXPECT_NE(sounds.pattern.find(kind), std::string::npos) << kind;

  EXPECT_TRUE(app.Has(WavOpen) && fake.desktop.messages.empty());
  for (int view : {WavView, FftView, MftView}) EXPECT_EQ(fake.windows.views[view].title, path);
  EXPECT_EQ(fake.windows.views[SasView].title, "SAS");
  EXPECT_EQ(std::tuple(Enabled(103), Enabled(110), Enabled(112)),
            std::tuple(true, true, false));  // no range yet
  // Fitted to the whole file: 3000 / 639 = 4 samples per column; the envelope's 641 columns
  // reach sample 2563.
  EXPECT_EQ(app.windows.wavView.samplesPerPixel, 3000u / 639);
  EXPECT_EQ(std::tuple(app.windows.wavView.envelopeMin, app.windows.wavView.envelopeMax),
            std::tuple(-1500.0 * 65536, (2563.0 - 1500) * 65536));
}

// An open from the dialog or a drop closes the open recording first: a cancelled dialog, a refused
// file, a missing file all leave no WAV open, with their message; so does an overlong name.
TEST_F(WavCommandsTest, AnOpenThatFailsLeavesNoWavOpen) {
  const std::string stereo = WriteFile(dir.File("stereo.wav"), [] {
    FormatFields f = Format(4);
    f.channels = 2;
    return CanonicalWav(f, "");  // no sound to import either: no question after the message
  }());
  const std::string longName = dir.File(std::string(260, 'a') + ".wav");
  const struct {
    const char* name;
    std::function<void()> open;
    std::vector<std::string> messages;
    bool opened;  // a recording open before
  } cases[] = {
      {"cancelled", [&] { Command(WavView, 100); }, {}, true},
      {"stereo", [&] { OpenDocumentByName(app, stereo); }, {"Not a mono file"}, true},
      {"missing", [&] { OpenFromDialog(dir.File("missing.wav")); }, {"Invalid File Handle"}, true},
      {"overlong", [&] { WavOpenCommand(app, &longName); }, {"Invalid File Handle"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.opened) OpenFromDialog(MakeWav("good.wav", 100));
    ASSERT_EQ(app.Has(WavOpen), c.opened);
    fake.desktop.messages.clear();
    c.open();
    EXPECT_EQ(MessageTexts(), c.messages);
    for (const ShownMessage& m : fake.desktop.messages)
      EXPECT_EQ(std::tuple(m.icon, m.buttons), std::tuple(MessageIcon::Error, MessageButtons::Ok));
    ExpectNoWav();
  }
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
  EXPECT_EQ(Fields(LastMessage()),
            std::tuple("Not a RIFF file\n16-bit stereo, 44100 Hz, FLAC\nConvert to a mono WAV copy?",
                       MessageIcon::Question, MessageButtons::YesNo));
  ASSERT_EQ(fake.desktop.fileRequests.size(), 1u);
  EXPECT_EQ(fake.desktop.fileRequests[0].initialName, dir.File("take.wav"));
  EXPECT_TRUE(fake.desktop.fileRequests[0].overwritePrompt);
  EXPECT_TRUE(app.Has(WavOpen));
  EXPECT_EQ(std::tuple(app.docs.wav.path, fake.windows.views[WavView].title),
            std::tuple(dir.File("copy.wav"), dir.File("copy.wav")));
  EXPECT_EQ(ReadImportedWav(dir.File("copy.wav")).samples, (std::vector<std::int32_t>{200, -6}));
  EXPECT_FALSE(app.Has(Busy));
}

// A file cut short (a recording, or a FLAC whose reading ends early, which shows only when read):
// the question says how much is there, and Yes saves and opens that.
TEST_F(WavCommandsTest, AFileCutShortCanBeSavedAsACopy) {
  const std::string whole = CanonicalWav(Format(2, 40000), Samples(2, std::vector<std::int32_t>(120000, 9)));
  const std::string flac = ReadFile(WriteSound(dir.File("whole.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1,
                                               44100, 16, Sine16(440, 44100, 3)));
  const std::string riffCut = std::string(MessageText(MessageId::RiffBiggerThanFileSize)) +
                              "\nThe file ends before its data does: only 2.345 s of 3.000 s are there.\n"
                              "Save what is there as a mono WAV copy?";
  const struct {
    std::string path, starts, ends;  // the whole question when `ends` is empty
    std::size_t messages;
    std::uint32_t kept;  // samples, where known
  } cases[] = {
      {WriteFile(dir.File("cut.wav"), whole.substr(0, 44 + 2 * 93800 + 1)), riffCut, "", 1, 93800},
      {WriteFile(dir.File("cut.flac"), flac.substr(0, flac.size() / 2)),
       "The file could not be read past frame ",
       " s of 3.000 s are there.\nSave what is there as a mono WAV copy?", 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    fake.desktop.messages.clear();
    fake.desktop.answers = {MessageAnswer::Yes, MessageAnswer::Yes};
    const std::string copy = c.path + ".copy.wav";
    fake.desktop.fileAnswers = {copy};
    OpenDocumentByName(app, c.path);
    ASSERT_EQ(fake.desktop.messages.size(), c.messages);
    const std::string& text = LastMessage().text;
    EXPECT_TRUE(c.ends.empty() ? text == c.starts : text.starts_with(c.starts) && text.ends_with(c.ends))
        << text;
    EXPECT_EQ(std::tuple(LastMessage().icon, LastMessage().buttons),
              std::tuple(MessageIcon::Question, MessageButtons::YesNo));
    EXPECT_EQ(std::tuple(app.Has(WavOpen), app.docs.wav.path), std::tuple(true, copy));
    EXPECT_EQ(app.docs.wav.sampleCount, c.kept != 0 ? c.kept : app.docs.wav.sampleCount);
  }
}

// No, a cancelled save dialog and Esc during the conversion all leave no WAV open and nothing
// written beside the file.
TEST_F(WavCommandsTest, NoCancelOrEscWriteNoCopy) {
  const std::string take = WriteSound(dir.File("take.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 48000, 24,
                                      std::vector<std::int32_t>(400000, 7));
  const std::string copy = dir.File("take-mono.wav");
  fake.desktop.answers.push_back(MessageAnswer::No);
  OpenFromDialog(take);
  EXPECT_EQ(
      LastMessage().text,
      "Compression not supported\n24-bit stereo, 48000 Hz, extensible format\nConvert to a mono WAV copy?");
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
  // The questions only, no error.
  EXPECT_EQ(std::tuple(fake.desktop.messages.size(), app.Has(WavOpen), app.Has(Busy),
                       std::filesystem::exists(copy), TemporaryFileCount(dir.Path().string())),
            std::tuple(3u, false, false, false, 0));
}

TEST_F(WavCommandsTest, CloseResetsTheDocumentAndTheView) {
  OpenFromDialog(MakeWav("take.wav", 3000));
  app.docs.wav.cursor = 70;
  SelectWavRange(10, 2000);
  fake.windows.Show(FftView, platform::ShowCommand::Restore);
  app.windows.geometry[WavView].cursorX = 12;
  Command(WavView, 103);
  ExpectNoWav();
  EXPECT_FALSE(app.Has(WavRangeSelected));
  // The cursor survives; the next open checks it.
  EXPECT_EQ(
      std::tuple(app.docs.wav.path, app.docs.wav.sampleCount, app.docs.wav.rangeLeft, app.docs.wav.rangeRight,
                 app.docs.wav.rangeRms, app.docs.wav.amplitudeScale, app.docs.wav.cursor),
      std::tuple("", 0u, 0u, 0u, 0.0, 1.0, 70u));
  EXPECT_EQ(std::tuple(app.windows.wavView.samplesPerPixel, app.windows.geometry[WavView].cursorX),
            std::tuple(1u, 0));
  EXPECT_EQ(fake.windows.views[FftView].state, platform::ShowState::Hidden);
  EXPECT_EQ(fake.windows.views[WavView].scroll[platform::ScrollBar::Horizontal],
            (platform::ScrollInfo{0, 10000, 10001, 0}));
}

// Opening a shorter recording keeps the cursor and the range where they fit its data: a cursor
// past it starts every position again, a range reaching past it is cut at its end.
TEST_F(WavCommandsTest, PositionsKeptFromTheLastRecordingAreLimitedToTheNewData) {
  const struct {
    std::uint32_t cursor, left, keptCursor, keptLeft, keptRight;
  } cases[] = {{4000, 3000, 0, 0, 0}, {500, 800, 500, 800, 1000}};
  for (const auto& c : cases) {
    OpenFromDialog(MakeWav("long.wav", 5000));
    app.docs.wav.cursor = c.cursor;
    app.docs.noise.length = 256;
    SelectWavRange(c.left, 4500);
    app.windows.wavView.firstSample = 2500;
    OpenFromDialog(MakeWav("short.wav", 1000));
    const bool kept = c.keptRight > 0;
    EXPECT_EQ(Range(), std::tuple(c.keptLeft, c.keptRight)) << c.cursor;
    EXPECT_EQ(std::tuple(app.docs.wav.cursor, app.Has(WavRangeSelected), app.docs.wav.rangeRms > 0.0),
              std::tuple(c.keptCursor, kept, kept));
    if (!kept) {
      EXPECT_EQ(std::tuple(app.docs.noise.length, app.windows.wavView.firstSample), std::tuple(0u, 0u));
    }
  }
}

TEST_F(WavCommandsTest, AnUnfittingSasAsksAndNoClosesTheWav) {
  app.flags |= SasOpen;  // no SAS document installed: nothing fits
  OpenFromDialog(MakeWav("take.wav", 10));
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(Fields(LastMessage()), std::tuple("WAV and SAS files does not fit.\nContinue?",
                                              MessageIcon::Question, MessageButtons::YesNo));
  EXPECT_EQ(std::tuple(LastMessage().defaultAnswer, app.Has(WavOpen), app.docs.wav.file.IsOpen()),
            std::tuple(MessageAnswer::No, false, false));

  fake.desktop.answers.push_back(MessageAnswer::Yes);
  OpenFromDialog(MakeWav("take.wav", 10));
  EXPECT_EQ(std::tuple(app.Has(WavOpen), app.Has(WavSasMatch)), std::tuple(true, false));
}

// Set Left (110) moves the right end one column on; Set Right (111) left of the range moves both
// ends; neither goes past the data.
TEST_F(WavCommandsTest, SetLeftAndSetRightFollowTheCursorWithinTheData) {
  app.docs.wav.cursor = 5;  // without a file neither does anything
  Command(WavView, 110);
  Command(WavView, 111);
  EXPECT_EQ(Range(), std::tuple(0u, 0u));
  OpenFromDialog(MakeWav("take.wav", 1000));
  app.docs.wav.rangeLeft = 100;
  app.docs.wav.rangeRight = 200;
  struct Step {
    std::uint32_t samplesPerPixel, cursor;
    int command;
    std::uint32_t left, right;
    bool selected;
  } steps[] = {
      {1, 150, 110, 150, 201, true},
      {8, 500, 110, 500, 508, true},      // right of the range: the right end starts from the cursor
      {8, 995, 110, 995, 1000, true},     // never past the data
      {8, 1000, 110, 1000, 1000, false},  // at the end: nothing selected
      {4, 40, 111, 40, 44, true},
      {4, 300, 111, 40, 304, true},
      {4, 999, 111, 40, 1000, true},
      // A cursor right of the data (a click beyond a short file) cannot make a range past it.
      {4, 5000, 110, 1000, 1000, false},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "command " << step.command << " cursor " << step.cursor);
    app.windows.wavView.samplesPerPixel = step.samplesPerPixel;
    app.docs.wav.cursor = step.cursor;
    Command(WavView, step.command);
    EXPECT_EQ(Range(), std::tuple(step.left, step.right));
    EXPECT_EQ(app.Has(WavRangeSelected), step.selected);
    EXPECT_EQ(std::tuple(Enabled(112), Enabled(113)), std::tuple(step.selected, step.selected));
  }
}

TEST_F(WavCommandsTest, RangeFlagRules) {
  OpenFromDialog(MakeWav("take.wav", 4096));
  app.config.settings.noiseLength = 1024;
  app.flags |= CorrectedTempCurrent;
  SelectWavRange(100, 1123);
  EXPECT_TRUE(app.Has(WavRangeSelected));
  EXPECT_FALSE(app.Has(RangeHoldsNoiseLength));  // 1023 samples
  EXPECT_FALSE(app.Has(CorrectedTempCurrent));   // every range change clears it
  SelectWavRange(100, 1124);
  EXPECT_TRUE(app.Has(RangeHoldsNoiseLength));
  EXPECT_TRUE(Enabled(114));  // Noise=
  EXPECT_FALSE(app.Has(NoiseSampleReady));

  app.docs.noise.length = 512;
  app.flags |= CorrectedTempCurrent;
  SelectWavRange(100, 612);
  EXPECT_EQ(std::tuple(app.Has(NoiseSampleReady), app.Has(CorrectedTempCurrent)), std::tuple(true, false));
  EXPECT_TRUE(Enabled(104));  // Remove Noise
  SelectWavRange(100, 611);
  EXPECT_EQ(std::tuple(app.Has(NoiseSampleReady), Enabled(104)), std::tuple(false, false));

  SelectWavRange(300, 300);
  EXPECT_EQ(std::tuple(app.Has(WavRangeSelected), app.docs.wav.rangeRms), std::tuple(false, 0.0));
}

// Save As writes the range to the file chosen in a dialog with an empty name, never onto the open
// file.
TEST_F(WavCommandsTest, SaveAsWritesTheRangeButNotOntoTheOpenFile) {
  const std::string path = MakeWav("take.wav", 10);
  const std::string original = ReadFile(path);
  OpenFromDialog(path);
  SelectWavRange(2, 5);
  const std::string out = dir.File("range.wav");
  fake.desktop.fileAnswers = {out, path};
  Command(WavView, 112);
  EXPECT_EQ(Describe(fake.desktop.fileRequests.back()),
            "Save range | Windows Sound File (*.WAV)=*.WAV, All Files (*.*)=*.* | WAV |  | "
            "pathMustExist hideReadOnly");
  EXPECT_TRUE(fake.desktop.messages.empty());
  EXPECT_EQ(ReadFile(out), CanonicalWav(Format(2), Samples(2, {-3, -2, -1})));
  Command(WavView, 112);
  EXPECT_EQ(Fields(LastMessage()),
            std::tuple("Opened file can not be overwritten", MessageIcon::Error, MessageButtons::Ok));
  EXPECT_EQ(std::tuple(ReadFile(path), app.Has(WavOpen)), std::tuple(original, true));
}

TEST_F(WavCommandsTest, ExportAsTextAsksForATextFile) {
  OpenFromDialog(MakeWav("take.wav", 4));
  SelectWavRange(0, 4);
  const std::string out = dir.File("values.txt");
  Command(WavView, 113, out);
  EXPECT_EQ(Describe(fake.desktop.fileRequests.back()),
            "Save as ASCII file | Text file (*.txt)=*.txt, All Files (*.*)=*.* | txt |  | "
            "pathMustExist hideReadOnly");
  EXPECT_EQ(ReadFile(out), "-0.006\r\n-0.003\r\n0\r\n0.003\r\n");

  Command(WavView, 113);  // cancelled: nothing is written or shown
  EXPECT_TRUE(fake.desktop.messages.empty());
  Command(WavView, 113, dir.File("missing/values.txt"));
  EXPECT_EQ(LastMessage().text, "Invalid File Handle");
}

}  // namespace
}  // namespace vocara::test
