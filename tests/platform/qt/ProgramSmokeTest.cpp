// The real program on the Qt adapters without a display: start-up builds the four windows
// as the user sees them, and closing the WAV window ends the message loop.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "QtTestSupport.h"
#include "platform/qt/PortAudioDevices.h"
#include "platform/qt/QtDesktop.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtViewWindow.h"
#include "platform/qt/QtWindows.h"
#include "shell/App.h"
#include "shell/StartUp.h"
#include "support/TempDir.h"

namespace vocara::platform::qt::test {
namespace {

// The menu bar as the user reads it: items as "label<TAB>shortcut", separators as "-", the
// items of a submenu indented by two spaces after its label.
const std::vector<std::pair<std::string, std::vector<std::string>>> ExpectedMenu{
    {"&WAV File",
     {"&Open", "C&lose", "-", "&Remove Noise", "&Correct", "-", "&Play\tP", "&Record", "Stop", "&Generate",
      "-", "Sync to SAS\tS", "-", "E&xit"}},
    {"WAV &Range",
     {"Set &Left\tL", "Set &Right\tR", "-", "Save As", "Export As Text", "-", "&Noise=", "N&oise+", "-",
      "&Play\tF7", "Play &Corrected\tF8"}},
    {"Pulse &Shape", {"Shape+\tF9", "Export Shape\tF10"}},
    {"&SAS File",
     {"O&pen", "C&lose", "&Build", "Save &As", "-", "&Silence", "Global &Clear", "-", "Set Ruler &Origin\tO",
      "-", "Edit &Mode", "  &Normal\tEsc", "  Set &Time Link\tF1", "  &Delete Time Link\tF2",
      "  &In Range\tF3", "  &Freehand\tF4", "  &Erase\tF5", "-", "Sync to &WAV\tW"}},
    {"S&AS Range",
     {"&Find\tF", "Set &Left\tL", "Set &Right\tR", "Select &All", "-", "Time Correct &Disable\tD",
      "Time Correct &Enable\tE", "-", "&Global Edit"}},
    {"V&iew", {"SAS", "&FFT\tF", "&MFT\tM", "-", "&General Settings...", "&Audio Device Settings..."}},
    {"&Help", {"Help Topics", "&About Vocara..."}},
};

const std::map<int, std::string> ExpectedTooltips{
    {101, "Record"},
    {102, "Generate"},
    {106, "Play"},
    {107, "Stop"},
    {108, "Synchronise WAV Position with SAS"},
    {127, "Synchronise SAS Position with WAV"},
    {128, "Pointer"},
    {129, "Set Time Link"},
    {130, "Delete Time Link"},
    {131, "Range Edit"},
    {132, "Free Hand Edit"},
    {133, "Erase Correction"},
    {141, "Set Time Scale = 1 Point per Frame"},
    {142, "Set Time Scale to Fit All"},
    {143, "Set Time Scale to Fit Selection"},
    {144, "Time Squeeze"},
    {145, "Time Stretch"},
    {146, "Set Time Scale = Time Scale in SAS"},
    {148, "Value Fit to Window"},
    {149, "Value Squeeze"},
    {150, "Value Stretch"},
    {151, "Pitch Stretch"},
    {152, "Pitch Sqeeze"},
    {153, "Show All"},
    {154, "Settings"},
    {157, "1024 samples"},
    {158, "2048 samples"},
    {159, "4096 samples"},
    {160, "8192 samples"},
    {161, "16384 samples"},
    {162, "32768 samples"},
    {163, "65536 samples"},
    {164, "131072 samples"},
    {165, "262144 samples"},
    {166, "524288 samples"},
    {167, "1048576 samples"},
    {169, "Square Window"},
    {170, "Triangular Bartlett Window"},
    {171, "Parabolic Welch Window"},
    {172, "Parzen Window"},
    {173, "Lanczos Window"},
    {174, "Cosine bell Hann Window"},
    {175, "Hamming Window"},
    {176, "Blackman Window"},
    {177, "Frequency Zoom In"},
    {178, "Frequency Zoom Out"},
    {179, "Frequency Scale = 1"},
    {182, "Find and save peaks"},
};

void Flatten(const QMenu* menu, const std::string& indent, std::vector<std::string>& out) {
  for (const QAction* action : menu->actions()) {
    if (action->isSeparator()) {
      out.push_back(indent + "-");
    } else {
      out.push_back(indent + action->text().toStdString());
      if (action->menu() != nullptr) {
        Flatten(action->menu(), indent + "  ", out);
      }
    }
  }
}

class ProgramSmokeTest : public ::testing::Test {
 protected:
  ProgramSmokeTest() {
    // The settings file goes beside the program: here, into a folder of the test's own.
    qt.Desktop().OverrideProgramPath(dir.File("vocara"));
    qt.SetSink(sink);
  }
  ~ProgramSmokeTest() override { qt.ClearSink(); }

  ViewWindow* Window(int view) { return qt.Windows().Window(view); }

  vocara::test::TempDir dir;
  QtPlatform qt;
  App app{qt.Ports()};
  WindowProcedureSink sink{app};
};

TEST_F(ProgramSmokeTest, StartUpShowsOnlyTheWavWindowWithItsMenuAndToolbars) {
  ASSERT_TRUE(ProgramStart(app, ""));
  for (int view = 0; view < 4; ++view) {
    ASSERT_NE(Window(view), nullptr) << view;
  }
  EXPECT_TRUE(Window(0)->isVisible());
  EXPECT_FALSE(Window(1)->isVisible());
  EXPECT_FALSE(Window(2)->isVisible());
  EXPECT_FALSE(Window(3)->isVisible());
  EXPECT_EQ(Window(0)->windowTitle(), QStringLiteral("WAV"));
  EXPECT_EQ(Window(3)->windowTitle(), QStringLiteral("MFT"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("vocara.INI")));

  ASSERT_NE(Window(0)->MenuBar(), nullptr);
  EXPECT_EQ(Window(1)->MenuBar(), nullptr);
  const QList<QAction*> popups = Window(0)->MenuBar()->actions();
  ASSERT_EQ(popups.size(), static_cast<qsizetype>(ExpectedMenu.size()));
  for (std::size_t i = 0; i < ExpectedMenu.size(); ++i) {
    const QAction* popup = popups[static_cast<qsizetype>(i)];
    EXPECT_EQ(popup->text().toStdString(), ExpectedMenu[i].first);
    std::vector<std::string> items;
    Flatten(popup->menu(), "", items);
    EXPECT_EQ(items, ExpectedMenu[i].second) << ExpectedMenu[i].first;
  }

  const std::vector<qsizetype> entries{17, 11, 26, 1};
  for (int view = 0; view < 4; ++view) {
    EXPECT_EQ(Window(view)->ToolBar()->actions().size(), entries[static_cast<std::size_t>(view)]) << view;
  }
  for (const auto& [command, tooltip] : ExpectedTooltips) {
    int holders = 0;
    for (int view = 0; view < 4; ++view) {
      if (const QAction* button = Window(view)->Button(command)) {
        ++holders;
        EXPECT_EQ(button->toolTip().toStdString(), tooltip) << command;
        EXPECT_FALSE(button->icon().isNull()) << command;
      }
    }
    EXPECT_EQ(holders, 1) << command;
  }
}

TEST_F(ProgramSmokeTest, AtStartOnlyTheDocumentFreeCommandsAreEnabled) {
  ASSERT_TRUE(ProgramStart(app, ""));
  std::set<int> menuEnabled;
  std::set<int> buttonsEnabled;
  for (int command = 100; command <= 186; ++command) {
    if (const QAction* item = Window(0)->MenuAction(command); item != nullptr && item->isEnabled()) {
      menuEnabled.insert(command);
    }
    for (int view = 0; view < 4; ++view) {
      if (const QAction* button = Window(view)->Button(command); button != nullptr && button->isEnabled()) {
        buttonsEnabled.insert(command);
      }
    }
  }
  // Record also when this machine has an input device that takes the default format.
  menuEnabled.erase(101);
  buttonsEnabled.erase(101);
  EXPECT_EQ(menuEnabled, (std::set<int>{100, 102, 109, 121, 154, 155, 185, 186}));
  EXPECT_EQ(buttonsEnabled, (std::set<int>{102, 154}));
}

TEST_F(ProgramSmokeTest, WavWindowShowsTheStatusStripTheCorePaints) {
  ASSERT_TRUE(ProgramStart(app, ""));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window(0)));
  QTest::qWait(50);
  const QImage shown = Window(0)->Canvas()->grab().toImage();
  // The strip's labels start at column 10: dark text on the strip's light background.
  int dark = 0;
  for (int y = 0; y < 17; ++y) {
    for (int x = 10; x < 45; ++x) {
      dark += qGray(shown.pixel(x, y)) < 100 ? 1 : 0;
    }
  }
  EXPECT_GT(dark, 10);
  EXPECT_NE(shown.pixel(5, 5), shown.pixel(5, 60));  // the strip differs from the plot below
}

TEST_F(ProgramSmokeTest, ClosingTheWavWindowEndsTheProgramWithCodeZero) {
  ASSERT_TRUE(ProgramStart(app, ""));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window(0)));
  Window(0)->close();
  EXPECT_EQ(Window(0), nullptr);
  EXPECT_EQ(qt.Run(), 0);
}

TEST_F(ProgramSmokeTest, ClosingAnotherWindowOnlyHidesIt) {
  ASSERT_TRUE(ProgramStart(app, ""));
  Window(3)->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window(3)));
  Window(3)->close();
  ASSERT_NE(Window(3), nullptr);
  EXPECT_FALSE(Window(3)->isVisible());
  EXPECT_TRUE(Window(0)->isVisible());
}

}  // namespace
}  // namespace vocara::platform::qt::test
