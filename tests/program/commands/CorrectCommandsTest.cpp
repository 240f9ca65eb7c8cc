// WAV File / Correct and the rendering half of Play Corrected in the running program, on the
// fake platform: the save dialog and its refusal, busy mode, the write-back before the render,
// Esc, and the CorrectedTempCurrent rules of the temporary file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/sas/AnalysisKernels.h"
#include "platform/Keys.h"
#include "program/commands/CorrectCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/ViewGeometry.h"
#include "support/AppFixture.h"
#include "support/SasFiles.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class CorrectCommandsTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    for (int i = 0; i < 5000; ++i) input.push_back(i % 400 * 50 - 10000);
    wavPath = OpenWav16(input);
    // An open, fitting SAS with a fresh analysis (hop 100), so that renders copy the input.
    const std::vector<TimeLink> links = EndLinks(5000);
    app.session.sas.header = SasHeaderFor(100, 48000, app.docs.wav.checksum, 50);
    app.session.sas.path =
        WriteSasFile(dir.File("take.sas"), app.session.sas.header,
                     std::vector<SasFrame>(50, FreshFrame(4000, -1 << 28, 1 << 28)), links);
    app.session.sas.file = FileHandle::OpenForUpdate(app.session.sas.path);
    app.session.sas.links = links;
    fake.audio.outputs = {"speakers"};
    // Whatever plays was rendered from the SAS as the file holds it, pending edits written back.
    fake.audio.onOutputOpen = [this] {
      calls.push_back(app.Has(SasPageDirty) ? "play before write-back" : "play");
    };
    app.flags |= SasOpen | WavSasMatch | PlayAvailable;
    UpdateCommandStates(app.commands);
    fake.pump.step = std::chrono::milliseconds(10);  // every progress report pumps
    fake.pump.onPump = [this] {
      if (!app.Has(Busy)) calls.push_back("pumped while not busy");
      if (++pumps == escAtPump) Key(WavView, platform::key::Escape);
    };
  }

  void PlayRange(std::uint32_t left, std::uint32_t right) {
    // A file of the user's in the current folder under the temporary file's name stays as it is.
    std::filesystem::current_path(dir.Path());
    WriteFile(dir.File("CorrectedTemp.wav"), "the user's own");
    SelectWavRange(left, right);
    Command(WavView, 117);
  }
  // Hands both buffers back, which ends a playback shorter than one buffer.
  void PlayOut() {
    for (int buffer = 0; buffer < 2; ++buffer) OutputDone(buffer, fake.audio.openOutput);
    ASSERT_TRUE(app.Has(PlayAvailable));
  }

  std::vector<std::int32_t> input;
  std::string wavPath;
  std::vector<std::string> calls;
  int pumps = 0;
  int escAtPump = -1;
};

TEST_F(CorrectCommandsTest, CorrectWritesBackAsksAndRendersTheWholeRecordingWhileBusy) {
  app.flags |= SasPageDirty;
  app.dialogs.fileDialogName = "old.wav";
  const std::string out = dir.File("corrected.wav");
  Command(WavView, 105, out);
  // The shared name buffer is cleared first.
  EXPECT_EQ(Describe(fake.desktop.fileRequests.at(0)),
            "Save corrected WAV file | Windows Sound File (*.WAV)=*.WAV, All Files (*.*)=*.* | WAV |  | "
            "pathMustExist hideReadOnly");
  EXPECT_EQ(Stored16(out), input);
  // Each frame 10 ms apart and the end (51), then the measurement: its one voiced run of 50
  // frames, each block of the octave-lower check over every 4th of them (13) and of the run's
  // (as many frames a block as this processor's analysis kernel takes), and its end, all in
  // busy mode.
  const int blockFrames = ShapeOf(BestKernelWidth()).Frames();
  EXPECT_EQ(pumps, 51 + 1 + (13 + blockFrames - 1) / blockFrames + (50 + blockFrames - 1) / blockFrames + 1);
  // The edits were written back first.
  EXPECT_EQ(std::tuple(app.Has(SasPageDirty), calls.size(), app.Has(Busy)), std::tuple(false, 0u, false));
  // The cursor line followed the render to the last frame, kept inside the plot, and the
  // cursor sample follows its column.
  const ViewGeometry& geometry = app.windows.geometry[WavView];
  const int lastFrameColumn = static_cast<int>(4900 / app.windows.wavView.samplesPerPixel);
  EXPECT_EQ(
      std::tuple(geometry.cursorX, geometry.drawnCursorX, app.docs.wav.cursor),
      std::tuple(std::min({lastFrameColumn, geometry.dataWidth, ViewWidth(app.windows, WavView) - 1}),
                 geometry.cursorX,
                 app.windows.wavView.firstSample + app.windows.wavView.samplesPerPixel * geometry.cursorX));

  Command(WavView, 105, wavPath);  // the open recording is never the target
  EXPECT_EQ(std::tuple(fake.desktop.messages.at(0).text, Stored16(wavPath)),
            std::tuple("Opened file can not be overwritten", input));
}

TEST_F(CorrectCommandsTest, PlayCorrectedRendersOnlyWhenTheTemporaryFileIsStale) {
  PlayRange(1234, 3456);
  EXPECT_EQ(std::tuple(app.docs.correctedPath, Stored16(RenderedFile("CorrectedTemp.wav")),
                       ReadFile(dir.File("CorrectedTemp.wav")), app.Has(CorrectedTempCurrent),
                       app.Has(CorrectForPlayback), fake.desktop.fileRequests.size()),
            std::tuple(RenderedFile("CorrectedTemp.wav"),
                       std::vector<std::int32_t>(input.begin() + 1234, input.begin() + 3456),
                       "the user's own", true, false, 0u));
  // The rendered samples are what plays, from the temporary file's own data.
  const std::string played(reinterpret_cast<const char*>(fake.audio.outputQueue.at(0).bytes.data()),
                           fake.audio.outputQueue.at(0).bytes.size());
  EXPECT_EQ(std::tuple(played, app.devices.playback.positionBase),
            std::tuple(ReadFile(RenderedFile("CorrectedTemp.wav")).substr(44), 1234u));
  PlayOut();
  const int rendered = pumps;
  Command(WavView, 117);  // nothing changed: played again without rendering
  EXPECT_EQ(pumps, rendered);
  PlayOut();
  app.flags |= SasPageDirty;  // an edit: written back, rendered anew
  Command(WavView, 117);
  EXPECT_EQ(std::tuple(pumps, calls),
            std::tuple(2 * rendered, std::vector<std::string>{"play", "play", "play"}));
}

TEST_F(CorrectCommandsTest, EscDeletesTheCorrectedFileButKeepsTheTemporaryOneUnplayed) {
  app.flags |= AbortRequested;  // an Esc from before the command does not count
  escAtPump = 3;
  Command(WavView, 105, dir.File("corrected.wav"));
  // Stopped at the next frame, then the last messages.
  EXPECT_EQ(std::tuple(pumps, std::filesystem::exists(dir.File("corrected.wav"))), std::tuple(4, false));

  escAtPump = 6;  // the second frame of Play Corrected
  PlayRange(0, 3000);
  // A frame and a sample.
  EXPECT_EQ(
      std::tuple(Stored16(RenderedFile("CorrectedTemp.wav")).size(), ReadFile(dir.File("CorrectedTemp.wav"))),
      std::tuple(101u, "the user's own"));
  // Not played.
  EXPECT_EQ(
      std::tuple(app.Has(CorrectedTempCurrent), app.Has(CorrectForPlayback), calls.size(), app.Has(Busy)),
      std::tuple(false, false, 0u, false));
}

// F8 with nothing chosen to play says so in the strip until the next command.
TEST_F(CorrectCommandsTest, PlayCorrectedWithNothingChosenSaysSo) {
  Command(WavView, 117);
  EXPECT_EQ(std::tuple(app.windows.status.notices[WavView], fake.audio.outputOpens.size()),
            std::tuple("No WAV range or notes chosen to play corrected", 0u));
  Command(WavView, 142);
  EXPECT_EQ(app.windows.status.notices[WavView], "");
}

}  // namespace
}  // namespace vocara::test
