// Message boxes, the file dialogs' filters and names, the clipboard and the program path.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <optional>
#include <string>
#include <tuple>

#include "QtTestSupport.h"
#include "platform/qt/QtDesktop.h"
#include "support/TempDir.h"

namespace vocara::platform::qt::test {
namespace {

void Touch(const std::string& path) {
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// Picks a file the way a user does who types its name and presses Enter. The name field
// takes a selected name only while it has no focus.
void Choose(QFileDialog* dialog, const std::string& path) {
  if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
  dialog->selectFile(QString::fromStdString(path));
  QMetaObject::invokeMethod(dialog, "accept");
}

FileDialogRequest WavRequest(const std::string& initialName) {
  return {.title = "Open WAV",
          .filters = {{"Windows Sound File (*.WAV)", "*.WAV"}, {"All Files (*.*)", "*.*"}},
          .defaultExtension = "WAV",
          .initialName = initialName};
}

TEST(QtDesktopTest, FiltersKeepTheirDescriptionAndSplitThePatterns) {
  const QStringList filters = NameFilters({{"Text (*.txt)", "*.txt; *.CSV"}, {"All Files (*.*)", "*.*"}});
  EXPECT_EQ(filters.join(QLatin1Char('|')).toStdString(), "Text (*.txt) (*.txt *.CSV)|All Files (*.*) (*.*)");
}

TEST(QtDesktopTest, OpenDialogListsWavFilesOfBothCasesAndReturnsTheChoice) {
  vocara::test::TempDir dir;
  Touch(dir.File("take1.wav"));
  Touch(dir.File("TAKE2.WAV"));
  Touch(dir.File("notes.txt"));
  Touch(dir.File("take3.FLAC"));
  QtDesktop desktop;
  int listed = -1;
  auto watch = WhenModal<QFileDialog>([&](QFileDialog* dialog) {
    auto* list = dialog->findChild<QListView*>(QStringLiteral("listView"));
    const auto count = [&] { return list->model()->rowCount(list->rootIndex()); };
    WaitFor([&] { return count() >= 3; }, 2000);
    QTest::qWait(100);  // the directory is read in the background; let it settle
    listed = count();
    Choose(dialog, dir.File("TAKE2.WAV"));
  });

  FileDialogRequest request = WavRequest(dir.File("take1.wav"));
  request.fileMustExist = true;
  // The open dialog's first filter is in lower case: it lists the upper-case names as well.
  request.filters.insert(request.filters.begin(), {"Audio files (*.wav *.flac ...)", "*.wav;*.flac"});
  const std::optional<std::string> chosen = desktop.GetOpenFileName(request);

  EXPECT_EQ(listed, 3);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, dir.File("TAKE2.WAV"));
}

TEST(QtDesktopTest, SaveDialogAppendsTheExtensionToABareNameAndAsksBeforeOverwritingWhenTold) {
  vocara::test::TempDir dir;
  Touch(dir.File("old.wav"));
  QtDesktop desktop;
  bool asked = false;
  const auto save = [&](const std::string& typed, bool prompt) {
    asked = false;
    auto watch = WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      auto watch = WhenModal<QMessageBox>([&](QMessageBox* box) {
        asked = true;
        box->button(QMessageBox::Yes)->click();
      });
      Choose(dialog, dir.File(typed));
    });
    FileDialogRequest request = WavRequest("");
    request.overwritePrompt = prompt;
    return std::tuple(desktop.GetSaveFileName(request), asked);
  };
  using Saved = std::tuple<std::optional<std::string>, bool>;
  EXPECT_EQ(save("take", false), Saved(dir.File("take.WAV"), false));
  EXPECT_EQ(save("take.wav", false), Saved(dir.File("take.wav"), false));
  EXPECT_EQ(save("old.wav", true), Saved(dir.File("old.wav"), true));
  EXPECT_EQ(save("old.wav", false), Saved(dir.File("old.wav"), false));
}

// Enter gives the default answer; the icon is the one asked for.
TEST(QtDesktopTest, MessageBoxesOfferTheirButtonsWithTheDefaultOnEnter) {
  QtDesktop desktop;
  const struct {
    MessageIcon icon;
    MessageButtons buttons;
    MessageAnswer defaultAnswer;
    QMessageBox::Icon shown;
  } cases[] = {{MessageIcon::Question, MessageButtons::YesNo, MessageAnswer::No, QMessageBox::Question},
               {MessageIcon::Question, MessageButtons::YesNo, MessageAnswer::Yes, QMessageBox::Question},
               {MessageIcon::Error, MessageButtons::Ok, MessageAnswer::Ok, QMessageBox::Critical}};
  for (const auto& c : cases) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    auto watch = WhenModal<QMessageBox>([&](QMessageBox* box) {
      icon = box->icon();
      QTest::keyClick(box, Qt::Key_Return);
    });
    EXPECT_EQ(
        desktop.ShowMessage("WAV and SAS files does not fit.\nContinue?", c.icon, c.buttons, c.defaultAnswer),
        c.defaultAnswer);
    EXPECT_EQ(icon, c.shown);
  }
}

TEST(QtDesktopTest, ClipboardAndProgramLocation) {
  QtDesktop desktop;
  ASSERT_TRUE(desktop.SetClipboardText("100.0000"));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("100.0000"));

  EXPECT_EQ(desktop.ProgramPath(), QCoreApplication::applicationFilePath().toStdString());
  desktop.OverrideProgramPath("/tmp/elsewhere/vocara");
  EXPECT_EQ(desktop.ProgramPath(), "/tmp/elsewhere/vocara");
  EXPECT_FALSE(desktop.UserConfigDirectory().empty());
}

TEST(QtDesktopTest, OpeningADocumentSaysWhetherAViewerTookIt) {
  vocara::test::TempDir dir;
  const std::string guide = dir.File("vocara.pdf");
  Touch(guide);
  // xdg-open stand-ins on PATH: one that finds no viewer (its exit status 3), one that opens.
  const std::string bin = dir.File("bin");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(bin)));
  const auto opener = [&](int status) {
    QFile script(QString::fromStdString(bin + "/xdg-open"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
    script.write(QByteArray("#!/bin/sh\nexit ") + QByteArray::number(status) + "\n");
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  };
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray::fromStdString(bin));
  QtDesktop desktop;
  const struct {
    const char* name;
    std::string document;
    int opener;
    bool opened;
  } cases[] = {
      {"no viewer", guide, 3, false},
      {"a viewer", guide, 0, true},
      {"a missing document", dir.File("missing.pdf"), 0, false},
      {"a folder", bin, 0, false},
  };
  for (const auto& c : cases) {
    opener(c.opener);
    EXPECT_EQ(desktop.OpenWithViewer(c.document), c.opened) << c.name;
  }
  qputenv("PATH", path);
}

}  // namespace
}  // namespace vocara::platform::qt::test
