#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <sstream>

#include "base/BuildInfo.h"
#include "program/dispatch/ProgramOptions.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/AppFlags.h"
#include "support/AppFixture.h"
#include "support/SettingsFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

using StartUpTest = AppTest;

TEST_F(StartUpTest, CreatesFourWindowsAndShowsOnlyTheWavWindow) {
  ASSERT_TRUE(ProgramStart(app, ""));
  const char* titles[] = {"WAV", "SAS", "FFT", "MFT"};
  const std::size_t buttons[] = {17, 12, 26, 1};
  for (int v = 0; v < ViewCount; ++v) {
    const FakeWindow& w = fake.windows.views[v];
    EXPECT_EQ(std::tuple(w.created, w.title, w.spec.toolbar.size(), w.spec.menu.empty(), w.state),
              std::tuple(true, titles[v], buttons[v], v != WavView,
                         v == WavView ? platform::ShowState::Normal : platform::ShowState::Hidden))
        << v;
  }
  EXPECT_EQ(std::tuple(fake.windows.views[WavView].spec.menu.size(),
                       fake.windows.views[SasView].spec.sasPaneControls,
                       fake.windows.views[MftView].spec.horizontalScrollBar),
            std::tuple(7u, true, false));
  EXPECT_TRUE(app.Has(Ready));
}

TEST_F(StartUpTest, LayoutAtNinetySixDpi) {
  fake.windows.views[SasView].clientSize = {624, 226};
  ASSERT_TRUE(StartUp(app));
  const int tb = fake.windows.toolbarHeight;
  // The status strip under the toolbar, the plots under it (and the SAS ruler), the SAS panes
  // halved beside their scroll bars.
  EXPECT_EQ(std::tuple(app.windows.metrics.statusHeight, app.windows.status.rects[0],
                       app.windows.clientRect[SasView], app.windows.geometry[WavView].plotTop,
                       app.windows.geometry[SasView].plotTop, app.windows.upperPaneHeight,
                       fake.windows.views[WavView].image.width),
            std::tuple(17, platform::Rect{10, 2 + tb, 45, 17 + tb}, platform::Rect{0, tb, 624 - 16, 226},
                       tb + 17, tb + 17 + 17, (226 - tb) / 2, 640));
  const int half = (226 - tb) / 2;
  EXPECT_EQ(std::tuple(fake.windows.views[SasView].controls[platform::ScrollBar::SasUpper],
                       fake.windows.views[SasView].controls[platform::ScrollBar::SasLower]),
            std::tuple(platform::Rect{608, tb, 624, tb + half},
                       platform::Rect{608, tb + half, 624, tb + 2 * half}));
}

TEST_F(StartUpTest, StatusFieldsScaleWithTheScreenResolution) {
  fake.windows.dpi = {120, 120};
  ASSERT_TRUE(StartUp(app));
  const int tb = fake.windows.toolbarHeight;
  // The top 2 × 1.25 truncated.
  EXPECT_EQ(std::tuple(app.windows.status.rects[0].left, app.windows.status.rects[0].right,
                       app.windows.status.rects[0].top, app.windows.metrics.statusHeight,
                       app.windows.metrics.rulerHeight),
            std::tuple(12, 56, 2 + tb, 21, 21));
}

TEST_F(StartUpTest, SizeLimitsApplyOnlyOnceReady) {
  ASSERT_TRUE(StartUp(app));
  EXPECT_FALSE(fake.windows.views[WavView].sizeLimitsSet);
  app.flags = 0;
  ASSERT_TRUE(ProgramStart(app, ""));
  EXPECT_EQ(fake.windows.views[SasView].minTrack, (platform::Size{510, 250}));
  EXPECT_EQ(fake.windows.views[MftView].maxTrack, (platform::Size{1280, 1024}));
}

TEST_F(StartUpTest, AWindowThatCannotBeCreatedEndsStartUp) {
  fake.windows.failCreateView = FftView;
  EXPECT_FALSE(ProgramStart(app, ""));
  EXPECT_FALSE(app.Has(Ready));
}

// The rectangles the windows open with on a first start (no settings file) on a work area, the
// toolbars needing the widths given, those the new settings file holds, and whether the next
// start takes that file.
struct FirstStart {
  std::array<platform::Rect, ViewCount> opened;
  WindowLayout written;
  bool takenAgain;
};

FirstStart StartWithoutSettings(const platform::Rect& workArea, const std::array<int, ViewCount>& toolbars) {
  TempDir dir;
  FakePlatform fake;
  fake.desktop.programPath = dir.File("vocara");
  fake.windows.workArea = workArea;
  std::copy(toolbars.begin(), toolbars.end(), fake.windows.toolbarWidths);
  App app(fake.ports);
  EXPECT_TRUE(ProgramStart(app, ""));
  FirstStart start;
  for (int v = 0; v < ViewCount; ++v)
    start.opened[static_cast<std::size_t>(v)] = fake.windows.views[v].spec.rect;
  const SettingsLoadResult next = LoadSettingsFile(dir.File("vocara.INI"), workArea);
  start.written = next.layout;
  start.takenAgain = next.accepted;
  return start;
}

// On every common screen the first start tiles the work area: nothing overlaps or leaves it,
// most of it is used and the SAS window, where the work is done, is tall; the file written then
// is taken as it is at the next start.
TEST(FirstStartLayout, TheWindowsTileEveryCommonScreen) {
  using R = platform::Rect;
  const auto area = [](const R& r) { return static_cast<long long>(r.Width()) * r.Height(); };
  const R screens[] = {{0, 0, 1024, 768},   {0, 0, 1366, 768},  {0, 0, 1280, 1024},
                       {0, 32, 1920, 1080}, {0, 0, 2560, 1440}, {0, 0, 3840, 2160}};
  // The toolbars as the Qt build measures them: the FFT window's is the widest.
  const std::array<int, ViewCount> toolbars{480, 500, 619, 0};
  for (const R& screen : screens) {
    SCOPED_TRACE(testing::Message() << screen.right << 'x' << screen.bottom);
    const FirstStart start = StartWithoutSettings(screen, toolbars);
    EXPECT_EQ(start.written.rects, start.opened);
    EXPECT_TRUE(start.takenAgain);  // so every window is within its track limits
    long long covered = 0;
    for (std::size_t v = 0; v < start.opened.size(); ++v) {
      const R& r = start.opened[v];
      EXPECT_TRUE(r.left >= screen.left && r.top >= screen.top && r.right <= screen.right &&
                  r.bottom <= screen.bottom)
          << "window " << v;
      covered += area(r);
      for (std::size_t w = v + 1; w < start.opened.size(); ++w) {
        const R& o = start.opened[w];
        EXPECT_TRUE(r.right <= o.left || o.right <= r.left || r.bottom <= o.top || o.bottom <= r.top)
            << "windows " << v << " and " << w << " overlap";
      }
    }
    EXPECT_GE(static_cast<double>(covered), 0.6 * static_cast<double>(area(screen)));
    EXPECT_GE(start.opened[SasView].Height(), 0.4 * screen.Height());
    EXPECT_GE(start.opened[SasView].Width(), std::min(0.6 * screen.Width(), 1.0 * MaxTrackSize.width));
  }
}

// A settings file, here one the environment names, is used as it is on any screen: its values
// become live and the defaults, its windows open where it says, and it is not rewritten.
TEST_F(StartUpTest, TheSettingsFileTheEnvironmentNamesIsUsedAsItIsOnAnyScreen) {
  const GeneralSettings stored{.instrument = 63, .tempo = 90.5, .noiseLength = 3000};
  WindowLayout layout = WindowLayout::Defaults();
  layout.rects[WavView] = {20, 30, 700, 300};
  layout.rects[SasView] = {10, 220, 700, 500};
  const std::string bytes = SettingsFileBytes(stored, layout);
  const std::string named = WriteFile(dir.File("demo.INI"), bytes);
  fake.desktop.environment[SettingsFileVariable] = named;
  fake.windows.workArea = {0, 0, 2560, 1440};
  std::fill(std::begin(fake.windows.toolbarWidths), std::end(fake.windows.toolbarWidths), 700);
  ASSERT_TRUE(ProgramStart(app, ""));
  EXPECT_EQ(std::tuple(app.config.files.settingsFile, app.config.settings.instrument,
                       app.config.loadedSettings.tempo, app.config.settings.noiseLength),
            std::tuple(named, 63, 90.5, 3000));
  for (int v = 0; v < ViewCount; ++v)
    EXPECT_EQ(fake.windows.views[v].spec.rect, layout.rects[static_cast<std::size_t>(v)]);
  EXPECT_EQ(ReadFile(named), bytes);
  EXPECT_FALSE(std::filesystem::exists(dir.File("vocara.INI")));
}

TEST(CommandLine, QuotesAreDroppedWhereverTheyStand) {
  EXPECT_EQ(CommandLineFileName("\"/home/a b/take 1.wav\""), "/home/a b/take 1.wav");
  EXPECT_EQ(CommandLineFileName("/tmp/a\"b.wav"), "/tmp/ab.wav");
  EXPECT_EQ(CommandLineFileName("\"\""), "");
}

struct OptionsRun {
  explicit OptionsRun(const std::vector<std::string>& args) : options(ReadProgramOptions(args, out, err)) {}
  std::ostringstream out;
  std::ostringstream err;
  ProgramOptions options;
};

TEST(CommandLine, HelpAndVersionAnswerAndAnUnknownOptionIsAUsageError) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"-h"}, {"take.wav", "--help", "--bogus"}}) {
    const OptionsRun run(args);
    EXPECT_EQ(run.options.exitCode, 0);
    EXPECT_TRUE(run.out.str().starts_with("usage: vocara [FILE]\n")) << run.out.str();
    EXPECT_EQ(run.err.str(), "");
  }
  const OptionsRun version({"--version", "--help"});
  EXPECT_EQ(version.options.exitCode, 0);
  EXPECT_EQ(version.out.str(),
            "vocara " + std::string(ProgramVersion()) + " (" + std::string(ReleaseDate()) + ")\n");
  for (const char* option : {"--bogus", "-x", "-", "--Help"}) {
    const OptionsRun run({"/no/such/take.wav", option});
    EXPECT_EQ(run.options.exitCode, 2) << option;
    EXPECT_EQ(run.out.str(), "");
    EXPECT_EQ(run.err.str(), "vocara: unknown option '" + std::string(option) +
                                 "'\nTry 'vocara --help' for more information.\n");
  }
}

// The words main hands over, as a shell splits them, open the file at start: a name that starts
// with '-' as well, alone or inside a name with spaces that came as several words.
TEST_F(StartUpTest, TheFileNamedByTheWordsOpensAtStart) {
  const std::filesystem::path startDirectory = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  const std::string take = CanonicalWav(Format(2), Samples(2, {1, -1, 2}));
  const std::string path = WriteFile(dir.File("my -take 2.wav"), take);
  WriteFile(dir.File("-take.wav"), take);
  const OptionsRun alone({"-take.wav"});
  const OptionsRun words({dir.File("my"), "-take", "2.wav"});
  std::filesystem::current_path(startDirectory);
  EXPECT_FALSE(alone.options.exitCode.has_value()) << alone.err.str();
  EXPECT_EQ(alone.options.commandLine, "-take.wav");
  ASSERT_FALSE(words.options.exitCode.has_value()) << words.err.str();
  ASSERT_TRUE(ProgramStart(app, words.options.commandLine));
  EXPECT_EQ(app.docs.wav.path, path);
}

TEST_F(StartUpTest, CommandLineFileIsOpenedBeforeReady) {
  // A file the WAV opener refuses: its message box comes while the program is not yet ready.
  const std::string path = WriteFile(dir.File("take.wav"), "RIFF....WAVE");
  bool readyWhenOpened = true;
  fake.desktop.onMessage = [&] { readyWhenOpened = app.Has(Ready); };
  ASSERT_TRUE(ProgramStart(app, "\"" + path + "\""));
  EXPECT_EQ(MessageTexts().size(), 1u);
  EXPECT_FALSE(readyWhenOpened);
}

}  // namespace
}  // namespace vocara::test
