// The real program on the Qt adapters without a display: start-up builds the four windows
// as the user sees them, and SIGTERM ends the message loop.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "QtTestSupport.h"
#include "platform/qt/PortAudioDevices.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtViewWindow.h"
#include "platform/qt/QtWindows.h"
#include "program/dispatch/StartUp.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/Resources.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"

namespace vocara::platform::qt::test {
namespace {

// The menu bar as the user reads it: items as "label<TAB>shortcut", separators as "-", the
// items of a submenu indented by two spaces after its label. The same text is made from the
// core's menu table and from the Qt menus, so the two can be compared whole.
void Flatten(const std::vector<platform::MenuItem>& items, const std::string& indent,
             std::vector<std::string>& out) {
  for (const platform::MenuItem& item : items) {
    if (item.kind == platform::MenuItem::Kind::Separator) {
      out.push_back(indent + "-");
      continue;
    }
    out.push_back(indent + item.label + (item.shortcut.empty() ? "" : "\t" + item.shortcut));
    if (item.kind == platform::MenuItem::Kind::Submenu) Flatten(item.items, indent + "  ", out);
  }
}

void Flatten(const QMenu* menu, const std::string& indent, std::vector<std::string>& out) {
  for (const QAction* action : menu->actions()) {
    if (action->isSeparator()) {
      out.push_back(indent + "-");
    } else {
      out.push_back(indent + action->text().toStdString());
      if (action->menu() != nullptr) Flatten(action->menu(), indent + "  ", out);
    }
  }
}

std::string WriteTake(const std::string& path) {
  return vocara::test::WriteSasFile(path, vocara::test::SasHeaderFor(100, 48000, 0, 20),
                                    std::vector<SasFrame>(20), vocara::test::EndLinks(2000));
}

class ProgramSmokeTest : public ::testing::Test, protected QtProgram {
 protected:
  ViewWindow* Window(int view) { return qt.Windows().Window(view); }
};

TEST_F(ProgramSmokeTest, StartUpShowsOnlyTheWavWindowWithItsMenuAndToolbars) {
  ASSERT_TRUE(ProgramStart(app, ""));
  for (int view = 0; view < 4; ++view) ASSERT_NE(Window(view), nullptr) << view;
  EXPECT_EQ(std::tuple(Window(0)->isVisible(), Window(1)->isVisible()), std::tuple(true, false));
  EXPECT_EQ(std::tuple(Window(2)->isVisible(), Window(3)->isVisible()), std::tuple(false, false));
  EXPECT_EQ(Window(0)->windowTitle(), QStringLiteral("WAV"));
  EXPECT_EQ(Window(3)->windowTitle(), QStringLiteral("MFT"));
  EXPECT_TRUE(std::filesystem::exists(dir.File("vocara.INI")));

  ASSERT_NE(Window(0)->MenuBar(), nullptr);
  EXPECT_EQ(Window(1)->MenuBar(), nullptr);
  const std::vector<platform::MenuPopup> menu = MainMenu();
  const QList<QAction*> popups = Window(0)->MenuBar()->actions();
  ASSERT_EQ(popups.size(), 7);
  ASSERT_EQ(menu.size(), 7u);
  for (std::size_t i = 0; i < menu.size(); ++i) {
    const QAction* popup = popups[static_cast<qsizetype>(i)];
    EXPECT_EQ(popup->text().toStdString(), menu[i].label);
    std::vector<std::string> shown;
    std::vector<std::string> described;
    Flatten(popup->menu(), "", shown);
    Flatten(menu[i].items, "", described);
    EXPECT_EQ(shown, described) << menu[i].label;
  }
  const std::vector<qsizetype> entries{17, 12, 26, 1};
  for (int view = 0; view < 4; ++view) {
    const std::vector<platform::ToolbarButton> buttons = ToolbarOf(view);
    ASSERT_EQ(Window(view)->ToolBar()->actions().size(), entries[static_cast<std::size_t>(view)]) << view;
    ASSERT_EQ(static_cast<std::size_t>(entries[static_cast<std::size_t>(view)]), buttons.size()) << view;
    for (const platform::ToolbarButton& button : buttons) {
      if (button.separator) continue;
      int holders = 0;
      for (int other = 0; other < 4; ++other) holders += Window(other)->Button(button.command) != nullptr;
      EXPECT_EQ(holders, 1) << button.command;
      const QAction* shown = Window(view)->Button(button.command);
      ASSERT_NE(shown, nullptr) << button.command;
      EXPECT_EQ(shown->toolTip().section(QLatin1Char('\n'), 0, 0).toStdString(), TooltipText(button.command))
          << button.command;
      EXPECT_FALSE(shown->icon().isNull()) << button.command;
    }
  }
  // A missing sound device is the greyed sound commands' tooltip.
  EXPECT_EQ(Window(0)->Button(106)->toolTip().toStdString(),
            "Play" + (app.devices.outputProblem.empty() ? "" : "\n" + app.devices.outputProblem));
  EXPECT_EQ(Window(0)->MenuAction(101)->toolTip().toStdString(), app.devices.inputProblem);
}

TEST_F(ProgramSmokeTest, WavWindowShowsTheStatusStripTheCorePaints) {
  ASSERT_TRUE(ProgramStart(app, ""));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window(0)));
  QTest::qWait(50);
  const QImage shown = Window(0)->Canvas()->grab().toImage();
  // The strip's labels start at column 10: dark text on the strip's light background.
  int dark = 0;
  for (int y = 0; y < 17; ++y)
    for (int x = 10; x < 45; ++x) dark += qGray(shown.pixel(x, y)) < 100 ? 1 : 0;
  EXPECT_GT(dark, 10);
  EXPECT_NE(shown.pixel(5, 5), shown.pixel(5, 60));  // the strip differs from the plot below
}

// Dialogs and message boxes open centred on the window they belong to, inside the work area and
// never over the menu bar (the Settings dialog used to open at the screen's top, over it).
TEST_F(ProgramSmokeTest, DialogsOpenCentredOnTheirWindowBelowTheMenuBar) {
  ASSERT_TRUE(ProgramStart(app, ""));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window(0)));
  const QRect owner = Window(0)->frameGeometry();
  const QRect menu(Window(0)->MenuBar()->mapToGlobal(QPoint(0, 0)), Window(0)->MenuBar()->size());
  const QRect work = Window(0)->screen()->availableGeometry();
  std::vector<QRect> placed;
  auto settings = WhenModal<DialogWindow>([&](DialogWindow* dialog) {
    placed.push_back(dialog->frameGeometry());
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  sink.Dispatch(0, {.kind = MessageKind::Command, .command = 154});
  auto box = WhenModal<QMessageBox>([&](QMessageBox* message) {
    placed.push_back(message->frameGeometry());
    message->button(QMessageBox::Ok)->click();
  });
  qt.Desktop().ShowMessage("Not a RIFF file", MessageIcon::Error, MessageButtons::Ok, MessageAnswer::Ok);
  ASSERT_EQ(placed.size(), 2u);
  for (const QRect& dialog : placed) {
    EXPECT_GT(dialog.top(), menu.bottom()) << dialog.top();
    EXPECT_TRUE(work.contains(dialog));
    EXPECT_TRUE(dialog.left() <= work.left() || std::abs(dialog.center().x() - owner.center().x()) <= 1);
  }
}

// SIGTERM (kill, a shutdown) writes the page's edits back and ends the loop with 0, as Exit does.
TEST_F(ProgramSmokeTest, SigtermWritesThePageBackAndEndsWithCodeZero) {
  const std::string sas = WriteTake(dir.File("take.sas"));
  ASSERT_TRUE(ProgramStart(app, sas) && app.Has(SasOpen));
  app.session.sas.page[5].targetAmplitude = 77;  // what a freehand stroke leaves on the page
  app.flags |= SasPageDirty;
  ASSERT_EQ(std::raise(SIGTERM), 0);
  EXPECT_EQ(qt.Run(), 0);
  EXPECT_EQ(vocara::test::ReadSasFrames(sas)[5].targetAmplitude, 77);
}

// The real program without a display, started on a take and sent SIGTERM, exits 0 at once.
TEST(ProgramProcessTest, SigtermEndsTheProgramWithCodeZero) {
  vocara::test::TempDir dir;
  const std::string settings = dir.File("vocara.INI");
  ::setenv("VOCARA_SETTINGS", settings.c_str(), 1);
  const int pid = vocara::test::StartProcess(VOCARA_PATH, {WriteTake(dir.File("take.sas"))});
  ::unsetenv("VOCARA_SETTINGS");
  // The settings file is written after the handlers are set.
  const bool started = WaitFor([&] { return std::filesystem::exists(settings); }, 10000);
  ASSERT_EQ(::kill(pid, started ? SIGTERM : SIGKILL), 0);
  const auto sent = std::chrono::steady_clock::now();
  const int status = vocara::test::WaitForProcess(pid);
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(3));
  EXPECT_TRUE(started && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace vocara::platform::qt::test
