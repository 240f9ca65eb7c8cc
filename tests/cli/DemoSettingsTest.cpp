// The settings file vocara-demo writes for `make run`: taken as it is on every common screen, so
// that the demo's note range is never lost to a refusal that would rewrite it with the built-in
// settings.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "base/Settings.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

TEST(DemoSettings, TakenOnEveryScreenFrom1024x768WithTheMelodysNoteRange) {
  TempDir dir;
  const std::string settings = dir.File("demo.INI");
  const int status = WaitForProcess(StartProcess(VOCARA_DEMO_PATH, {dir.File("demo.wav"), settings}));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string written = ReadFile(settings);
  ASSERT_EQ(written.size(), SettingsFileSize);

  const platform::Rect screens[] = {
      {0, 0, 1024, 768}, {0, 0, 1280, 1024}, {0, 32, 1920, 1080}, {0, 0, 2560, 1440}};
  for (const platform::Rect& screen : screens) {
    SCOPED_TRACE(testing::Message() << screen.left << ',' << screen.top << ',' << screen.right << ','
                                    << screen.bottom);
    const SettingsLoadResult loaded = LoadSettingsFile(settings, screen);
    EXPECT_TRUE(loaded.accepted);
    EXPECT_EQ(loaded.settings.lowestNote, 39);   // C4
    EXPECT_EQ(loaded.settings.highestNote, 48);  // A4
    EXPECT_EQ(ReadFile(settings), written);
  }
}

}  // namespace
}  // namespace vocara::test
