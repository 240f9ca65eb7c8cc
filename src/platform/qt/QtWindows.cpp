#include "platform/qt/QtWindows.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QScreen>
#include <QScrollBar>
#include <QToolBar>

#include "platform/Keys.h"
#include "platform/qt/QtImages.h"
#include "platform/qt/QtText.h"
#include "platform/qt/QtViewWindow.h"

namespace vocara::platform::qt {

namespace {

QRect ToQRect(const Rect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

Rect ToRect(const QRect& r) { return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// The virtual-key code of a Qt key, or 0 for keys the program has no use for.
int VirtualKey(int qtKey) {
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
    return 'A' + (qtKey - Qt::Key_A);
  }
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
    return '0' + (qtKey - Qt::Key_0);
  }
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) {
    return key::F1 + (qtKey - Qt::Key_F1);
  }
  switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return key::Return;
    case Qt::Key_Control:
      return key::Control;
    case Qt::Key_Escape:
      return key::Escape;
    case Qt::Key_Space:
      return key::Space;
    case Qt::Key_PageUp:
      return key::PageUp;
    case Qt::Key_PageDown:
      return key::PageDown;
    case Qt::Key_End:
      return key::End;
    case Qt::Key_Home:
      return key::Home;
    case Qt::Key_Left:
      return key::Left;
    case Qt::Key_Up:
      return key::Up;
    case Qt::Key_Right:
      return key::Right;
    case Qt::Key_Down:
      return key::Down;
    case Qt::Key_Delete:
      return key::Delete;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      // Reported rather than left to Qt, so that focus never wanders to the toolbar buttons.
      return 0x09;
    default:
      return 0;
  }
}

}  // namespace

// Sees every key press of the application and takes those aimed at one of the four windows
// (dialogs, menus and the menu bar's own keyboard navigation are left alone). Alt
// combinations stay with Qt: they open the menus by their access keys.
class QtWindows::KeyFilter final : public QObject {
 public:
  explicit KeyFilter(QtWindows& windows) : windows_(windows) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~KeyFilter() override {
    if (QCoreApplication* app = QCoreApplication::instance()) {
      app->removeEventFilter(this);
    }
  }
  KeyFilter(const KeyFilter&) = delete;
  KeyFilter& operator=(const KeyFilter&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) {
      return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || qobject_cast<QMenuBar*>(widget) != nullptr) {
      return false;
    }
    const int view = windows_.ViewOf(widget);
    if (view < 0) {
      return false;
    }
    const auto* keyEvent = static_cast<QKeyEvent*>(event);
    if (keyEvent->modifiers().testFlag(Qt::AltModifier)) {
      return false;
    }
    const int virtualKey = VirtualKey(keyEvent->key());
    if (virtualKey == 0) {
      return false;
    }
    return windows_.Window(view)->HandleKey(virtualKey, keyEvent->modifiers());
  }

 private:
  QtWindows& windows_;
};

QtWindows::QtWindows(MessageRouter& router)
    : router_(router), keyFilter_(std::make_unique<KeyFilter>(*this)) {}

QtWindows::~QtWindows() {
  keyFilter_.reset();
  if (waitCursor_) {
    QApplication::restoreOverrideCursor();
  }
  for (ViewWindow*& window : windows_) {
    delete window;
    window = nullptr;
  }
  for (const QPointer<ViewWindow>& window : destroyed_) {
    delete window.data();
  }
}

ViewWindow* QtWindows::Window(int view) const {
  if (view < 0 || view >= static_cast<int>(windows_.size())) {
    return nullptr;
  }
  return windows_[static_cast<std::size_t>(view)];
}

int QtWindows::ViewOf(const QWidget* widget) const {
  const QWidget* top = widget != nullptr ? widget->window() : nullptr;
  for (const ViewWindow* window : windows_) {
    if (window != nullptr && window == top) {
      return window->View();
    }
  }
  return -1;
}

bool QtWindows::CreateWindow(const WindowSpec& spec) {
  if (spec.view < 0 || spec.view >= static_cast<int>(windows_.size()) || Window(spec.view) != nullptr) {
    return false;
  }
  auto* window = new ViewWindow(spec, router_);
  windows_[static_cast<std::size_t>(spec.view)] = window;
  window->EnableDispatch();
  return true;
}

void QtWindows::Show(int view, ShowCommand command) {
  ViewWindow* window = Window(view);
  if (window == nullptr) {
    return;
  }
  switch (command) {
    case ShowCommand::Hide:
      window->hide();
      break;
    case ShowCommand::Restore:
      window->showNormal();
      break;
    case ShowCommand::Minimise:
      window->showMinimized();
      break;
    case ShowCommand::Maximise:
      window->showMaximized();
      break;
  }
}

ShowState QtWindows::GetShowState(int view) const {
  const ViewWindow* window = Window(view);
  if (window == nullptr || !window->isVisible()) {
    return ShowState::Hidden;
  }
  if (window->isMinimized()) {
    return ShowState::Minimised;
  }
  return window->isMaximized() ? ShowState::Maximised : ShowState::Normal;
}

void QtWindows::BringToTop(int view) {
  if (ViewWindow* window = Window(view)) {
    window->raise();
    window->activateWindow();
  }
}

void QtWindows::SetTitle(int view, const std::string& title) {
  if (ViewWindow* window = Window(view)) {
    window->setWindowTitle(ToQString(title));
  }
}

void QtWindows::Destroy(int view) {
  ViewWindow* window = Window(view);
  if (window == nullptr) {
    return;
  }
  windows_[static_cast<std::size_t>(view)] = nullptr;
  if (mouseGrabber_ != nullptr && mouseGrabber_->window() == window) {
    ReleaseMouse();
  }
  window->DisableDispatch();
  window->hide();
  destroyed_.emplace_back(window);
  // Deleted once control is back in the event loop: the request may come from inside one
  // of the window's own event handlers.
  window->deleteLater();
  Message message;
  message.kind = MessageKind::Destroy;
  router_.Send(view, message);
}

Rect QtWindows::GetClientRect(int view) const {
  const ViewWindow* window = Window(view);
  if (window == nullptr) {
    return {};
  }
  return Rect{0, 0, window->Client()->width(), window->Client()->height()};
}

Rect QtWindows::GetScreenRect(int view) const {
  const ViewWindow* window = Window(view);
  return window != nullptr ? ToRect(window->geometry()) : Rect{};
}

Point QtWindows::ClientToScreen(int view, Point client) const {
  const ViewWindow* window = Window(view);
  if (window == nullptr) {
    return client;
  }
  const QPoint screen = window->Client()->mapToGlobal(QPoint(client.x, client.y));
  return Point{screen.x(), screen.y()};
}

int QtWindows::ToolbarHeight(int view) const {
  const ViewWindow* window = Window(view);
  return window != nullptr ? window->ToolbarHeight() : 0;
}

int QtWindows::WidthShowingToolbar(const WindowSpec& spec) const {
  return ViewWindow::WidthShowingToolbar(spec);
}

void QtWindows::SetSizeLimits(int view, Size minimum, Size maximum) {
  if (ViewWindow* window = Window(view)) {
    window->setMinimumSize(minimum.width, minimum.height);
    window->setMaximumSize(maximum.width, maximum.height);
  }
}

void QtWindows::AttachImage(int view, const PixelView& image) {
  if (ViewWindow* window = Window(view)) {
    window->AttachImage(image);
  }
}

void QtWindows::Invalidate(int view, const Rect* rect) {
  if (ViewWindow* window = Window(view)) {
    if (rect != nullptr) {
      const QRect area = ToQRect(*rect);
      window->Invalidate(&area);
    } else {
      window->Invalidate(nullptr);
    }
  }
}

void QtWindows::Present(int view, const Rect& rect) {
  if (ViewWindow* window = Window(view)) {
    window->Present(ToQRect(rect));
  }
}

void QtWindows::CaptureMouse(int view) {
  ViewWindow* window = Window(view);
  if (window == nullptr || !window->isVisible()) {
    return;
  }
  ReleaseMouse();
  window->Canvas()->grabMouse();
  mouseGrabber_ = window->Canvas();
}

void QtWindows::ReleaseMouse() {
  if (mouseGrabber_ != nullptr) {
    mouseGrabber_->releaseMouse();
  }
  mouseGrabber_ = nullptr;
}

void QtWindows::SetCursor(CursorShape shape) {
  if (shape == CursorShape::Hourglass) {
    if (!waitCursor_) {
      QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
      waitCursor_ = true;
    }
    return;
  }
  if (waitCursor_) {
    QApplication::restoreOverrideCursor();
    waitCursor_ = false;
  }
  const QCursor cursor =
      shape == CursorShape::Arrow ? QCursor(Qt::ArrowCursor) : ModeCursor(static_cast<int>(shape));
  for (ViewWindow* window : windows_) {
    if (window != nullptr) {
      window->Canvas()->setCursor(cursor);
    }
  }
}

void QtWindows::SetScrollInfo(int view, ScrollBar bar, const ScrollInfo& info, bool /*redraw*/) {
  if (ViewWindow* window = Window(view)) {
    window->Scroll(bar)->Set(info);
  }
}

ScrollInfo QtWindows::GetScrollInfo(int view, ScrollBar bar) const {
  const ViewWindow* window = Window(view);
  return window != nullptr ? window->Scroll(bar)->Info() : ScrollInfo{};
}

void QtWindows::MoveScrollControl(int view, ScrollBar control, const Rect& rect) {
  ViewWindow* window = Window(view);
  if (window == nullptr || (control != ScrollBar::SasUpper && control != ScrollBar::SasLower)) {
    return;
  }
  if (QScrollBar* bar = window->Scroll(control)->Bar()) {
    bar->setGeometry(ToQRect(rect));
    bar->raise();
  }
}

void QtWindows::SetButtonEnabled(int view, int command, bool enabled) {
  if (ViewWindow* window = Window(view)) {
    if (QAction* action = window->Button(command)) {
      action->setEnabled(enabled);
    }
  }
}

void QtWindows::SetButtonChecked(int view, int command, bool checked) {
  if (ViewWindow* window = Window(view)) {
    if (QAction* action = window->Button(command)) {
      action->setChecked(checked);
    }
  }
}

void QtWindows::SetMenuItemEnabled(int command, bool enabled) {
  for (ViewWindow* window : windows_) {
    if (window != nullptr) {
      if (QAction* action = window->MenuAction(command)) {
        action->setEnabled(enabled);
      }
    }
  }
}

void QtWindows::SetMenuItemChecked(int command, bool checked) {
  for (ViewWindow* window : windows_) {
    if (window != nullptr) {
      if (QAction* action = window->MenuAction(command)) {
        SetCoreChecked(action, checked);
      }
    }
  }
}

void QtWindows::SetCommandNote(int command, const std::string& note) {
  const QString text = ToQString(note);
  for (ViewWindow* window : windows_) {
    if (window == nullptr) continue;
    if (QAction* action = window->MenuAction(command)) action->setToolTip(text);
    // A button's action text is its own tooltip.
    if (QAction* button = window->Button(command))
      button->setToolTip(text.isEmpty() ? button->text() : button->text() + QLatin1Char('\n') + text);
  }
}

void QtWindows::RedrawMenuBar() {
  for (ViewWindow* window : windows_) {
    if (window != nullptr && window->MenuBar() != nullptr) {
      window->MenuBar()->update();
    }
  }
}

void QtWindows::PopupEditModeMenu(Point screen) {
  for (ViewWindow* window : windows_) {
    if (window != nullptr && window->EditModeMenu() != nullptr) {
      // Its items report their commands to the window that owns the menu bar.
      window->EditModeMenu()->exec(QPoint(screen.x, screen.y));
      return;
    }
  }
}

Rect QtWindows::WorkArea() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? ToRect(screen->availableGeometry()) : Rect{0, 0, 1280, 1024};
}

Size QtWindows::LogicalDpi() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    return Size{96, 96};
  }
  return Size{qRound(screen->logicalDotsPerInchX()), qRound(screen->logicalDotsPerInchY())};
}

}  // namespace vocara::platform::qt
