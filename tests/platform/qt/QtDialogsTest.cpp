// Dialogs built from templates, driven by a recording dialog procedure.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "QtTestSupport.h"
#include "platform/qt/MessageRouter.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"

namespace vocara::platform::qt::test {
namespace {

DialogTemplate SettingsLikeTemplate() {
  return DialogTemplate{"Test Settings",
                        200,
                        120,
                        {{-1, ControlKind::Label, "&Tempo", 10, 12, 40, 8},
                         {101, ControlKind::Edit, "120", 60, 10, 50, 12},
                         {102, ControlKind::CheckBox, "Time correction", 10, 28, 100, 10},
                         {103, ControlKind::DropDownList, "", 10, 44, 100, 80},
                         // Listed after the controls it frames, as dialog resources often are.
                         {104, ControlKind::GroupBox, "Analysis", 5, 2, 150, 70},
                         {1, ControlKind::DefaultButton, "OK", 20, 95, 50, 14},
                         {2, ControlKind::Button, "Cancel", 100, 95, 50, 14}}};
}

struct RecordingProcedure final : DialogProcedure {
  void OnInit(DialogHandle& dialog) override {
    calls.push_back("init");
    dialog.ClearItems(103);
    dialog.AddItem(103, "Flute");
    dialog.AddItem(103, "Oboe");
    dialog.AddItem(103, "Voice");
    dialog.SetSelection(103, 1);  // set by the program: not reported
    dialog.SetChecked(102, true);
  }
  void OnCommand(DialogHandle& dialog, int id) override {
    calls.push_back("command " + std::to_string(id));
    if (onCommand) onCommand(dialog, id);
  }
  void OnSelectionChange(DialogHandle& dialog, int id) override {
    calls.push_back("selection " + std::to_string(id) + "=" + std::to_string(dialog.GetSelection(id)));
  }
  void OnLeftButtonDown(DialogHandle&) override { calls.push_back("left button"); }
  void OnDestroyed() override { calls.push_back("destroyed"); }

  std::vector<std::string> calls;
  std::function<void(DialogHandle&, int)> onCommand;
};

class QtDialogsTest : public ::testing::Test {
 protected:
  QtDialogsTest() : windows(router), dialogs(windows) {}

  MessageRouter router;
  QtWindows windows;
  QtDialogs dialogs;
  RecordingProcedure procedure;
};

template <typename T>
T* ControlOf(QWidget* dialog, int id) {
  return dialog->findChild<T*>(QStringLiteral("control%1").arg(id));
}

TEST_F(QtDialogsTest, ModalDialogReportsUserActionsAndReturnsTheEndResult) {
  std::string typed;
  bool checkedAtOk = true;
  procedure.onCommand = [&](DialogHandle& dialog, int id) {
    if (id == DialogOk) {
      typed = dialog.GetText(101);
      checkedAtOk = dialog.IsChecked(102);
      dialog.End(7);
    }
  };
  auto watch = WhenModal<DialogWindow>([](DialogWindow* dialog) {
    QTest::mouseClick(ControlOf<QCheckBox>(dialog, 102), Qt::LeftButton);
    QTest::keyClick(ControlOf<QComboBox>(dialog, 103), Qt::Key_Down);
    QLabel* label = dialog->findChild<QLabel*>();
    QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QTest::keyClick(dialog, Qt::Key_Escape);  // reported; the procedure keeps the dialog open
    QLineEdit* edit = ControlOf<QLineEdit>(dialog, 101);
    edit->setText(QStringLiteral("96.5"));
    QTest::keyClick(edit, Qt::Key_Return);  // presses the default button
  });

  const int result = dialogs.RunModal(0, SettingsLikeTemplate(), procedure);

  EXPECT_EQ(result, 7);
  EXPECT_EQ(procedure.calls, (std::vector<std::string>{"init", "command 102", "selection 103=2",
                                                       "left button", "command 2", "command 1"}));
  EXPECT_EQ(std::tuple(typed, checkedAtOk), std::tuple("96.5", false));
}

TEST_F(QtDialogsTest, ControlsAreLaidOutInDialogUnits) {
  DialogWindow dialog(nullptr, SettingsLikeTemplate(), procedure, true);
  // Across, a quarter of the mean width of the letters; down, an eighth of the line height.
  const QFontMetrics metrics(dialog.font());
  const double letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const double unitX = letters / 52.0 / 4.0;
  const double unitY = metrics.height() / 8.0;

  // Within the rounding of the mean width to whole pixels.
  const QLineEdit* edit = ControlOf<QLineEdit>(&dialog, 101);
  EXPECT_NEAR(edit->x(), 60 * unitX, 60 / 8.0 + 1);
  EXPECT_NEAR(edit->y(), 10 * unitY, 1);
  EXPECT_NEAR(dialog.width(), 200 * unitX, 200 / 8.0 + 1);
  EXPECT_NEAR(dialog.height(), 120 * unitY, 1);
  EXPECT_TRUE(edit->alignment().testFlag(Qt::AlignRight));

  // A drop-down list's template height includes its open list; closed it is one line.
  const QComboBox* combo = ControlOf<QComboBox>(&dialog, 103);
  EXPECT_EQ(combo->height(), combo->sizeHint().height());

  // The frame stays behind the controls inside it, so they still get the mouse.
  const QCheckBox* check = ControlOf<QCheckBox>(&dialog, 102);
  EXPECT_EQ(dialog.childAt(check->geometry().center()), check);

  // Access-key marks of static texts are not shown as characters.
  EXPECT_EQ(dialog.findChild<QLabel*>()->text(), QStringLiteral("Tempo"));
  EXPECT_TRUE(ControlOf<QPushButton>(&dialog, 1)->isDefault());
}

// The close box asks the procedure as Cancel does and leaves the dialog open unless it ends it; a
// modeless dialog ended reports that it is destroyed and goes away.
TEST_F(QtDialogsTest, ModelessDialogAsksOnTheCloseBoxAndEndsWithDestroyed) {
  bool endOnCancel = false;
  procedure.onCommand = [&](DialogHandle& dialog, int id) {
    if (id == DialogCancel && endOnCancel) dialog.End(0);
  };
  DialogHandle* handle = dialogs.CreateModeless(0, SettingsLikeTemplate(), procedure);
  ASSERT_NE(handle, nullptr);
  QPointer<DialogWindow> window = dynamic_cast<DialogWindow*>(handle);
  ASSERT_FALSE(window.isNull());
  EXPECT_EQ(std::tuple(handle->IsVisible(), handle->GetSelection(103)), std::tuple(true, 1));
  window->close();
  EXPECT_TRUE(window->isVisible());  // the procedure did not end it
  endOnCancel = true;
  QTest::mouseClick(ControlOf<QPushButton>(window, 2), Qt::LeftButton);
  EXPECT_EQ(procedure.calls, (std::vector<std::string>{"init", "command 2", "command 2", "destroyed"}));
  EXPECT_TRUE(WaitFor([&] { return window.isNull(); }));
}

TEST_F(QtDialogsTest, EnterIsOkWhereNoButtonTakesIt) {
  // Like the About box: an icon and a text, no button.
  const DialogTemplate bare{
      "Bare",
      120,
      40,
      {{-1, ControlKind::Icon, "", 8, 8, 21, 20}, {-1, ControlKind::CentredLabel, "Text", 34, 10, 80, 20}}};
  procedure.onCommand = [](DialogHandle& dialog, int id) { dialog.End(id); };
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  } enters[] = {{Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier}};
  for (const auto& enter : enters) {
    procedure.calls.clear();
    auto watch = WhenModal<DialogWindow>(
        [&](DialogWindow* dialog) { QTest::keyClick(dialog, enter.key, enter.modifiers); });
    EXPECT_EQ(dialogs.RunModal(0, bare, procedure), DialogOk);
    EXPECT_EQ(procedure.calls, (std::vector<std::string>{"init", "command 1"}));
  }
  // With buttons Enter still presses the default one, reported once.
  procedure.calls.clear();
  auto watch = WhenModal<DialogWindow>([](DialogWindow* dialog) { QTest::keyClick(dialog, Qt::Key_Return); });
  EXPECT_EQ(dialogs.RunModal(0, SettingsLikeTemplate(), procedure), DialogOk);
  EXPECT_EQ(procedure.calls, (std::vector<std::string>{"init", "command 1"}));
}

}  // namespace
}  // namespace vocara::platform::qt::test
