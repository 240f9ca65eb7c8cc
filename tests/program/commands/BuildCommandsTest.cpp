// SAS File / Build in the running program on the fake platform: the dialog, busy mode, the
// cursor as progress display, Esc, the refused targets.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Keys.h"
#include "program/commands/BuildCommands.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class SasBuildCommandTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ProgramStart(app, ""));
    wavPath = OpenWav16(MixedRecording(22050, 26000, 2), 22050);
    fake.pump.step = std::chrono::milliseconds(10);  // every progress report pumps
    fake.pump.onPump = [this] {
      ++pumps;
      if (!app.Has(Busy)) pumpedWhileIdle = true;
      if (pumps == escAtPump) Key(WavView, platform::key::Escape);
    };
  }
  std::string Choose(const std::string& name) {
    const std::string path = dir.File(name);
    fake.desktop.fileAnswers.push_back(path);
    return path;
  }

  std::string wavPath;
  int pumps = 0;
  int escAtPump = -1;
  bool pumpedWhileIdle = false;
  std::vector<int> cursors;
};

TEST_F(SasBuildCommandTest, BuildAsksForANameAndWritesTheFileInBusyMode) {
  app.dialogs.fileDialogName = "earlier.sas";
  const std::string target = Choose("take.sas");
  Command(WavView, 120);
  ASSERT_EQ(fake.desktop.fileRequests.size(), 1u);
  EXPECT_EQ(Describe(fake.desktop.fileRequests[0]),
            "Build SAS as... | Sound Attributes Set (*.SAS)=*.SAS | SAS | earlier.sas | pathMustExist "
            "overwritePrompt");

  const SasHeader header = ReadSasHeader(target);
  // Each frame 10 ms apart, and the end.
  EXPECT_EQ(std::tuple(header.settings, header.wavChecksum, pumps),
            std::tuple(app.config.settings, app.docs.wav.checksum, static_cast<int>(header.frameCount) + 1));
  // Pumped only while busy; then the new file is offered, and opened at the default answer.
  ASSERT_EQ(fake.desktop.messages.size(), 1u);
  EXPECT_EQ(Fields(LastMessage()),
            std::tuple(std::string("Open take.sas now?"), platform::MessageIcon::Question,
                       platform::MessageButtons::YesNo));
  EXPECT_EQ(std::tuple(pumpedWhileIdle, app.Has(Busy), app.Has(SasOpen), app.session.sas.path),
            std::tuple(false, false, true, target));
  // The view shows the whole file and the cursor went along with the frames.
  EXPECT_EQ(app.windows.wavView.samplesPerPixel, 26000u / 639);
  // The last frame's column, kept inside the plot as every cursor line is.
  const ViewGeometry& geometry = app.windows.geometry[WavView];
  const int lastFrameColumn =
      static_cast<int>((header.frameCount - 1) * header.frameLength / app.windows.wavView.samplesPerPixel);
  EXPECT_EQ(std::tuple(geometry.cursorX, geometry.drawnCursorX),
            std::tuple(std::min({lastFrameColumn, geometry.dataWidth, ViewWidth(app.windows, WavView) - 1}),
                       geometry.cursorX));
}

TEST_F(SasBuildCommandTest, EscDuringTheBuildDeletesTheFile) {
  const std::string target = Choose("take.sas");
  escAtPump = 5;
  Command(WavView, 120);
  EXPECT_EQ(pumps, 6);  // stopped at the next frame, and the last messages pumped
  EXPECT_EQ(std::tuple(std::filesystem::exists(target), fake.desktop.messages.size(), app.Has(Busy)),
            std::tuple(false, 0u, false));
  // The next build starts with the stop request cleared; declining the offer leaves it closed.
  escAtPump = -1;
  Choose("take.sas");
  fake.desktop.answers.push_back(platform::MessageAnswer::No);
  Command(WavView, 120);
  EXPECT_EQ(std::tuple(std::filesystem::exists(target), fake.desktop.messages.size(), app.Has(SasOpen)),
            std::tuple(true, 1u, false));
}

// At the real pace frames come faster than messages need pumping: every 10 ms a pump, the
// cursor line drawn once per column, and a paint arriving mid-build is handled.
TEST_F(SasBuildCommandTest, MessagesArePumpedByTimeAndTheCursorDrawnOncePerColumn) {
  fake.pump.step = std::chrono::milliseconds(4);
  // A window uncovered mid-build: its region is blanked as the system would, then painted.
  const platform::Rect uncovered{0, 0, 200, 150};
  std::uint32_t repainted = 0;
  fake.pump.onPump = [&] {
    ++pumps;
    cursors.push_back(app.windows.geometry[WavView].cursorX);
    if (pumps != 3) return;
    platform::PixelView pixels = app.windows.images[WavView].View();
    for (int y = uncovered.top; y < uncovered.bottom; ++y)
      for (int x = uncovered.left; x < uncovered.right; ++x)
        pixels.pixels[y * pixels.stride + x] = 0xff123456;
    sink.Dispatch(WavView, {.kind = platform::MessageKind::Paint, .rect = uncovered});
    repainted = app.windows.images[WavView].Pixel(100, 100);
  };
  OpenWav16(MixedRecording(22050, 300000, 2), 22050, "long.wav");
  const std::string target = Choose("take.sas");
  fake.windows.views[WavView].presented.clear();
  Command(WavView, 120);
  const SasHeader header = ReadSasHeader(target);
  EXPECT_EQ(pumps, static_cast<int>(header.frameCount) / 3 + 1);
  EXPECT_TRUE(repainted != 0 && repainted != 0xff123456u);
  // Each cursor move presents the old line, the new line and the status strip.
  const int columns =
      static_cast<int>((header.frameCount - 1) * header.frameLength / app.windows.wavView.samplesPerPixel);
  EXPECT_LE(fake.windows.views[WavView].presented.size(), 3u * static_cast<unsigned>(columns + 1));
  EXPECT_GT(header.frameCount, 3u * static_cast<unsigned>(columns + 1));  // so far fewer draws than frames
  EXPECT_TRUE(std::is_sorted(cursors.begin(), cursors.end()));
}

TEST_F(SasBuildCommandTest, TheOpenSasAndAnUncreatableFileAreRefusedWithTheirMessages) {
  const std::string open = WriteFile(Choose("open.sas"), "kept");
  app.session.sas.path = open;
  Command(WavView, 120);
  EXPECT_EQ(std::tuple(fake.desktop.messages.at(0).icon, fake.desktop.messages.at(0).buttons, ReadFile(open)),
            std::tuple(platform::MessageIcon::Error, platform::MessageButtons::Ok, "kept"));
  Choose("missing/take.sas");
  Command(WavView, 120);
  EXPECT_EQ(std::tuple(MessageTexts(), pumps, app.Has(Busy)),
            std::tuple(std::vector<std::string>{"Opened file can not be overwritten", "Invalid File Handle"},
                       0, false));
}

}  // namespace
}  // namespace vocara::test
