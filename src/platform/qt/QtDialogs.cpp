#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "platform/qt/QtImages.h"
#include "platform/qt/QtText.h"
#include "platform/qt/QtViewWindow.h"
#include "platform/qt/QtWindows.h"

namespace vocara::platform::qt {

namespace {

// Dialog units: a quarter of the font's average character width across, an eighth of its
// height down. The average width is taken over the 52 letters, rounded.
struct DialogUnits {
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = (letters + 26) / 52;
    baseY = metrics.height();
  }
  int X(int units) const { return (units * baseX + 2) / 4; }
  int Y(int units) const { return (units * baseY + 4) / 8; }

  int baseX = 0;
  int baseY = 0;
};

// Static texts show "&" as the underline of an access key, never as a character.
QString StaticText(const std::string& text) {
  QString result;
  const QString source = ToQString(text);
  for (qsizetype i = 0; i < source.size(); ++i) {
    if (source[i] == QLatin1Char('&') && i + 1 < source.size()) {
      ++i;
    }
    result += source[i];
  }
  return result;
}

// The window a dialog belongs to.
QWidget* OwnerWindow(const QWidget& dialog) {
  // A hidden owner (a window closed meanwhile) gives way to the window the user is in.
  if (QWidget* parent = dialog.parentWidget(); parent != nullptr && parent->window()->isVisible())
    return parent->window();
  QWidget* active = QApplication::activeWindow();
  if (active != nullptr && active != &dialog && active->isVisible()) return active;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window != &dialog && window->isVisible() && window->findChild<QMenuBar*>() != nullptr) return window;
  }
  return nullptr;
}

}  // namespace

void PlaceOverOwner(QWidget& dialog) {
  const QWidget* owner = OwnerWindow(dialog);
  QScreen* screen = owner != nullptr ? owner->screen() : dialog.screen();
  if (screen == nullptr) return;
  const QRect work = screen->availableGeometry();
  // The window manager frames the dialog as it framed the owner.
  const QMargins frame = owner != nullptr
                             ? QMargins(owner->geometry().left() - owner->frameGeometry().left(),
                                        owner->geometry().top() - owner->frameGeometry().top(),
                                        owner->frameGeometry().right() - owner->geometry().right(),
                                        owner->frameGeometry().bottom() - owner->geometry().bottom())
                             : QMargins();
  QRect placed(QPoint(0, 0), dialog.size().grownBy(frame));
  placed.moveCenter(owner != nullptr ? owner->frameGeometry().center() : work.center());
  for (const QWidget* window : QApplication::topLevelWidgets()) {
    const QMenuBar* bar = window->isVisible() ? window->findChild<QMenuBar*>() : nullptr;
    if (bar == nullptr || !bar->isVisible()) continue;
    const QRect menu(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    if (placed.intersects(menu)) placed.moveTop(menu.bottom() + 1);
  }
  placed.moveLeft(std::max(work.left(), std::min(placed.left(), work.right() + 1 - placed.width())));
  placed.moveTop(std::max(work.top(), std::min(placed.top(), work.bottom() + 1 - placed.height())));
  // A window's position is that of its frame.
  dialog.move(placed.topLeft());
}

DialogWindow::DialogWindow(QWidget* owner, const DialogTemplate& dialog, DialogProcedure& procedure,
                           bool modal)
    : QDialog(owner), procedure_(procedure), modal_(modal) {
  setWindowTitle(ToQString(dialog.title));
  const DialogUnits units(font());
  setFixedSize(units.X(dialog.width), units.Y(dialog.height));

  std::vector<QWidget*> groupBoxes;
  for (const ControlTemplate& control : dialog.controls) {
    QWidget* widget = nullptr;
    const int id = control.id;
    int height = units.Y(control.height);
    switch (control.kind) {
      case ControlKind::Label: {
        auto* label = new QLabel(StaticText(control.text), this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = label;
        break;
      }
      case ControlKind::CentredLabel: {
        auto* label = new QLabel(StaticText(control.text), this);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        label->setWordWrap(true);
        widget = label;
        break;
      }
      case ControlKind::Icon: {
        auto* label = new QLabel(this);
        label->setPixmap(ProgramIcon().pixmap(32, 32));
        widget = label;
        break;
      }
      case ControlKind::GroupBox: {
        widget = new QGroupBox(ToQString(control.text), this);
        groupBoxes.push_back(widget);
        break;
      }
      case ControlKind::Edit: {
        auto* edit = new QLineEdit(ToQString(control.text), this);
        edit->setAlignment(Qt::AlignRight);
        widget = edit;
        break;
      }
      case ControlKind::Button:
      case ControlKind::DefaultButton: {
        auto* button = new QPushButton(ToQString(control.text), this);
        button->setDefault(control.kind == ControlKind::DefaultButton);
        connect(button, &QAbstractButton::clicked, this, [this, id] {
          if (!ended_) {
            procedure_.OnCommand(*this, id);
          }
        });
        widget = button;
        break;
      }
      case ControlKind::CheckBox:
      case ControlKind::RadioButton: {
        QAbstractButton* button = nullptr;
        if (control.kind == ControlKind::CheckBox) {
          button = new QCheckBox(ToQString(control.text), this);
        } else {
          button = new QRadioButton(ToQString(control.text), this);
        }
        connect(button, &QAbstractButton::clicked, this, [this, id] {
          if (!ended_) {
            procedure_.OnCommand(*this, id);
          }
        });
        widget = button;
        break;
      }
      case ControlKind::DropDownList: {
        auto* combo = new QComboBox(this);
        // Only the user's choice is reported, not a selection the core makes.
        connect(combo, &QComboBox::activated, this, [this, id] {
          if (!ended_) {
            procedure_.OnSelectionChange(*this, id);
          }
        });
        // The template's height includes the dropped-down list; the closed box is one line.
        height = combo->sizeHint().height();
        widget = combo;
        break;
      }
    }
    widget->setGeometry(units.X(control.x), units.Y(control.y), units.X(control.width), height);
    if (id != -1) {
      widget->setObjectName(QStringLiteral("control%1").arg(id));
      controls_[id] = widget;
    }
  }
  // Frames stay behind the controls they enclose, whatever their place in the template.
  for (QWidget* groupBox : groupBoxes) {
    groupBox->lower();
  }
  if (modal_) {
    // As with a dialog owned by a window: the owner waits, the other windows do not.
    setWindowModality(owner != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
  }
}

QWidget* DialogWindow::Control(int id) const {
  const auto it = controls_.find(id);
  return it != controls_.end() ? it->second : nullptr;
}

std::string DialogWindow::GetText(int id) const {
  QWidget* widget = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    return ToStdString(edit->text());
  }
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return ToStdString(label->text());
  }
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return ToStdString(button->text());
  }
  if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    return ToStdString(group->title());
  }
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    return ToStdString(combo->currentText());
  }
  return {};
}

void DialogWindow::SetText(int id, const std::string& text) {
  QWidget* widget = Control(id);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(ToQString(text));
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(StaticText(text));
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(ToQString(text));
  } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
    group->setTitle(ToQString(text));
  }
}

bool DialogWindow::IsChecked(int id) const {
  const auto* button = qobject_cast<QAbstractButton*>(Control(id));
  return button != nullptr && button->isChecked();
}

void DialogWindow::SetChecked(int id, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) {
    button->setChecked(checked);
  }
}

void DialogWindow::ClearItems(int id) {
  if (auto* combo = qobject_cast<QComboBox*>(Control(id))) {
    combo->clear();
  }
}

void DialogWindow::AddItem(int id, const std::string& text) {
  if (auto* combo = qobject_cast<QComboBox*>(Control(id))) {
    combo->addItem(ToQString(text));
  }
}

int DialogWindow::GetSelection(int id) const {
  const auto* combo = qobject_cast<QComboBox*>(Control(id));
  return combo != nullptr ? combo->currentIndex() : -1;
}

void DialogWindow::SetSelection(int id, int index) {
  if (auto* combo = qobject_cast<QComboBox*>(Control(id))) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
  }
}

void DialogWindow::SetEnabled(int id, bool enabled) {
  if (QWidget* widget = Control(id)) {
    widget->setEnabled(enabled);
  }
}

bool DialogWindow::IsVisible() const { return isVisible(); }

void DialogWindow::BringToTop() {
  raise();
  activateWindow();
}

void DialogWindow::End(int result) {
  if (ended_) {
    return;
  }
  ended_ = true;
  if (modal_) {
    done(result);
    return;
  }
  hide();
  // Deleted once control is back in the event loop: End usually comes from one of the
  // dialog's own control signals.
  deleteLater();
  procedure_.OnDestroyed();
}

void DialogWindow::reject() {
  if (!ended_) {
    procedure_.OnCommand(*this, DialogCancel);
  }
}

void DialogWindow::mousePressEvent(QMouseEvent* event) {
  // Labels and frames pass their presses on to the dialog, so these arrive here too.
  if (event->button() == Qt::LeftButton && !ended_) {
    procedure_.OnLeftButtonDown(*this);
  }
  QDialog::mousePressEvent(event);
}

void DialogWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Once: a modeless dialog the user moved stays where he put it.
  if (!placed_ && !event->spontaneous()) PlaceOverOwner(*this);
  placed_ = true;
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
  // QDialog lets Enter press the default button (or a focused one) and drops it otherwise; a
  // dialog without buttons, like the About box, then never heard of it.
  const bool plain = event->modifiers() == Qt::NoModifier ||
                     (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && plain && !ended_) {
    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    const bool pressesButton = std::any_of(buttons.begin(), buttons.end(), [](const QPushButton* button) {
      return button->isEnabled() && (button->isDefault() || (button->autoDefault() && button->hasFocus()));
    });
    if (!pressesButton) {
      procedure_.OnCommand(*this, DialogOk);
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

QWidget* QtDialogs::Owner(int view) const { return windows_.Window(view); }

int QtDialogs::RunModal(int ownerView, const DialogTemplate& dialog, DialogProcedure& procedure) {
  DialogWindow window(Owner(ownerView), dialog, procedure, true);
  procedure.OnInit(window);
  if (window.Ended()) {
    return window.result();
  }
  return window.exec();
}

DialogHandle* QtDialogs::CreateModeless(int ownerView, const DialogTemplate& dialog,
                                        DialogProcedure& procedure) {
  auto* window = new DialogWindow(Owner(ownerView), dialog, procedure, false);
  procedure.OnInit(*window);
  if (window->Ended()) {
    return nullptr;
  }
  window->show();
  return window;
}

}  // namespace vocara::platform::qt
