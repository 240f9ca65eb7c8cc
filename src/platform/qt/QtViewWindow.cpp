#include "platform/qt/QtViewWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyleOptionMenuItem>
#include <QToolBar>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cstdint>

#include "platform/Keys.h"
#include "platform/qt/QtImages.h"
#include "platform/qt/QtText.h"

namespace vocara::platform::qt {

namespace {

// Scroll bars and the SAS pane controls are 16 pixels thick, unscaled.
constexpr int ScrollBarThickness = 16;

constexpr int WheelNotch = 120;

// The style draws a checked item that has an image as that image in a sunken frame, and the
// round mark of a radio item only where the item has none: the checked item of a radio group
// shows the mark in place of its image.
class RadioMarkStyle final : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item =
        element == CE_MenuItem ? qstyleoption_cast<const QStyleOptionMenuItem*>(option) : nullptr;
    if (item != nullptr && item->checkType == QStyleOptionMenuItem::Exclusive && item->checked) {
      QStyleOptionMenuItem marked(*item);
      marked.icon = QIcon();
      QProxyStyle::drawControl(element, &marked, painter, widget);
      return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

Rect ToRect(const QRect& r) { return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// Every window's toolbar: fixed in place, icons only, at the size of the toolbar images.
void ConfigureToolBar(QToolBar* toolBar) {
  toolBar->setObjectName(QStringLiteral("toolbar"));
  toolBar->setMovable(false);
  toolBar->setFloatable(false);
  toolBar->setIconSize(QSize(ToolbarImageWidth, ToolbarImageHeight));
  toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
}

std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> files;
  if (mime == nullptr || !mime->hasUrls()) {
    return files;
  }
  for (const QUrl& url : mime->urls()) {
    if (url.isLocalFile()) {
      files.push_back(ToStdString(url.toLocalFile()));
    }
  }
  return files;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// ScrollControl

ScrollControl::ScrollControl(ViewWindow& window, ScrollBar which, QScrollBar* bar)
    : window_(window), which_(which), bar_(bar) {
  if (bar_ != nullptr) {
    // Without tracking a drag only moves the thumb; the value stays the core's.
    bar_->setTracking(false);
    bar_->setFocusPolicy(Qt::NoFocus);
    // The built-in context menu would set the value without any action to report.
    bar_->setContextMenuPolicy(Qt::NoContextMenu);
    QObject::connect(bar_, &QAbstractSlider::actionTriggered, bar_, [this](int action) { OnAction(action); });
    QObject::connect(bar_, &QAbstractSlider::sliderMoved, bar_, [this](int position) { OnTrack(position); });
    QObject::connect(bar_, &QAbstractSlider::sliderReleased, bar_, [this] { OnRelease(); });
  }
  Set(ScrollInfo{});
}

void ScrollControl::Set(const ScrollInfo& info) {
  ScrollInfo s = info;
  s.max = std::max(s.max, s.min);
  const std::int64_t range = std::int64_t{s.max} - s.min + 1;
  s.page = static_cast<int>(std::clamp<std::int64_t>(s.page, 0, range));
  const int largest = s.max - std::max(s.page - 1, 0);
  s.pos = std::clamp(s.pos, s.min, std::max(largest, s.min));
  info_ = s;
  if (bar_ == nullptr) {
    return;
  }
  const QSignalBlocker block(bar_);
  const bool scrollable = s.max > s.min && std::int64_t{s.page} <= std::int64_t{s.max} - s.min;
  bar_->setEnabled(scrollable);
  if (scrollable) {
    bar_->setRange(s.min, largest);
    bar_->setPageStep(std::max(s.page, 1));
    bar_->setValue(s.pos);
  } else {
    bar_->setRange(0, 0);
    bar_->setValue(0);
  }
}

void ScrollControl::OnAction(int action) {
  ScrollCode code = ScrollCode::EndScroll;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      code = ScrollCode::LineUp;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      code = ScrollCode::LineDown;
      break;
    case QAbstractSlider::SliderPageStepSub:
      code = ScrollCode::PageUp;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      code = ScrollCode::PageDown;
      break;
    case QAbstractSlider::SliderToMinimum:
      code = ScrollCode::Top;
      break;
    case QAbstractSlider::SliderToMaximum:
      code = ScrollCode::Bottom;
      break;
    default:
      return;  // thumb movement is reported through OnTrack and OnRelease
  }
  Report(code, 0);
  Report(ScrollCode::EndScroll, 0);
  // The slider has already stepped; setting its position here makes the value that the
  // action commits the core's position.
  bar_->setSliderPosition(bar_->isEnabled() ? info_.pos : 0);
}

void ScrollControl::OnTrack(int position) { Report(ScrollCode::ThumbTrack, position); }

void ScrollControl::OnRelease() {
  Report(ScrollCode::ThumbPosition, bar_->sliderPosition());
  Report(ScrollCode::EndScroll, 0);
  ShowStoredPosition();
}

void ScrollControl::ShowStoredPosition() {
  const QSignalBlocker block(bar_);
  bar_->setValue(bar_->isEnabled() ? info_.pos : 0);
}

void ScrollControl::Report(ScrollCode code, int position) {
  Message message;
  message.kind = which_ == ScrollBar::Horizontal ? MessageKind::HScroll : MessageKind::VScroll;
  message.bar = which_;
  message.scrollCode = code;
  message.scrollPos = position;
  window_.Send(message);
}

// ---------------------------------------------------------------------------------------
// CanvasWidget

CanvasWidget::CanvasWidget(ViewWindow& window, QWidget* parent) : QWidget(parent), window_(window) {
  setObjectName(QStringLiteral("canvas"));
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
}

void CanvasWidget::paintEvent(QPaintEvent* event) { window_.PaintCanvas(event->region()); }

void CanvasWidget::mouseMoveEvent(QMouseEvent* event) {
  window_.Send(window_.MouseMessage(MessageKind::MouseMove, event->position(), event->modifiers()));
}

void CanvasWidget::mousePressEvent(QMouseEvent* event) { Press(event); }

// The windows do not tell double clicks apart: the second press of a double click is a
// press like the first. Qt may deliver it as a press followed by a double-click event, or
// as the double-click event alone, so a button already reported down is not reported again.
void CanvasWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!down_.testFlag(event->button())) {
    Press(event);
  }
}

void CanvasWidget::Press(QMouseEvent* event) {
  MessageKind kind = MessageKind::LeftDown;
  if (event->button() == Qt::LeftButton) {
    kind = MessageKind::LeftDown;
  } else if (event->button() == Qt::RightButton) {
    kind = MessageKind::RightDown;
  } else {
    return;
  }
  down_ |= event->button();
  window_.Send(window_.MouseMessage(kind, event->position(), event->modifiers()));
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event) {
  down_ &= ~event->button();
  if (event->button() == Qt::LeftButton) {
    window_.Send(window_.MouseMessage(MessageKind::LeftUp, event->position(), event->modifiers()));
  }
}

void CanvasWidget::wheelEvent(QWheelEvent* event) {
  window_.Wheel(event->globalPosition().toPoint(), event->angleDelta().y());
  event->accept();
}

// ---------------------------------------------------------------------------------------
// ViewWindow

ViewWindow::ViewWindow(const WindowSpec& spec, MessageRouter& router)
    : QWidget(nullptr), view_(spec.view), router_(router), accelerators_(spec.accelerators) {
  setObjectName(QStringLiteral("view%1").arg(view_));
  setWindowTitle(ToQString(spec.title));
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);

  if (!spec.menu.empty()) {
    BuildMenu(spec.menu);
  }
  client_ = new QWidget(this);
  client_->setObjectName(QStringLiteral("client"));
  BuildToolBar(spec.toolbar);
  canvas_ = new CanvasWidget(*this, client_);
  setFocusProxy(canvas_);

  const auto own = [this](ScrollBar which, bool present, Qt::Orientation orientation, QWidget* parent,
                          const char* name) {
    QScrollBar* bar = present ? MakeScrollBar(orientation, parent, name) : nullptr;
    scrolls_[static_cast<std::size_t>(which)] = std::make_unique<ScrollControl>(*this, which, bar);
  };
  own(ScrollBar::Horizontal, spec.horizontalScrollBar, Qt::Horizontal, this, "hscroll");
  own(ScrollBar::Vertical, spec.verticalScrollBar, Qt::Vertical, this, "vscroll");
  // The pane controls live inside the client area, above the canvas; the core places them.
  own(ScrollBar::SasUpper, spec.sasPaneControls, Qt::Vertical, client_, "sasUpper");
  own(ScrollBar::SasLower, spec.sasPaneControls, Qt::Vertical, client_, "sasLower");

  toolbarHeight_ = toolBar_->sizeHint().height();
  setGeometry(spec.rect.left, spec.rect.top, std::max(spec.rect.Width(), 1), std::max(spec.rect.Height(), 1));
  LayoutChildren();
  lastSize_ = client_->size();
  lastPosition_ = pos();
}

ViewWindow::~ViewWindow() = default;

QScrollBar* ViewWindow::MakeScrollBar(Qt::Orientation orientation, QWidget* parent, const char* name) {
  auto* bar = new QScrollBar(orientation, parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->installEventFilter(this);
  bar->setGeometry(0, 0, 0, 0);
  return bar;
}

void ViewWindow::BuildMenu(const std::vector<MenuPopup>& popups) {
  menuBar_ = new QMenuBar(this);
  menuBar_->setObjectName(QStringLiteral("menubar"));
  menuBar_->setNativeMenuBar(false);
  for (const MenuPopup& popup : popups) {
    QMenu* menu = menuBar_->addMenu(ToQString(popup.label));
    // An item shows a tooltip only when the program gives it one (why it is greyed).
    menu->setToolTipsVisible(true);
    AddMenuItems(menu, popup.items);
  }
}

void SetCoreChecked(QAction* action, bool checked) {
  action->setProperty(CoreCheckedProperty, checked);
  action->setChecked(checked);
}

void ViewWindow::AddMenuItems(QMenu* menu, const std::vector<MenuItem>& items) {
  std::map<int, QActionGroup*> groups;
  for (const MenuItem& item : items) {
    switch (item.kind) {
      case MenuItem::Kind::Separator:
        menu->addSeparator();
        break;
      case MenuItem::Kind::Submenu: {
        QMenu* submenu = menu->addMenu(ToQString(item.label));
        // The menu bar has one submenu, the Edit Mode menu that also pops up in the SAS window.
        if (editModeMenu_ == nullptr) {
          editModeMenu_ = submenu;
        }
        AddMenuItems(submenu, item.items);
        break;
      }
      case MenuItem::Kind::Command: {
        QString text = ToQString(item.label);
        if (!item.shortcut.empty()) {
          text += QLatin1Char('\t') + ToQString(item.shortcut);
        }
        QAction* action = menu->addAction(text);
        action->setEnabled(!item.greyed);
        action->setCheckable(item.checkable);
        if (item.checkable && item.checkGroup != 0) {
          // An exclusive group draws its items with radio marks.
          QActionGroup*& group = groups[item.checkGroup];
          if (group == nullptr) {
            group = new QActionGroup(menu);
            group->setExclusive(true);
            auto* style = new RadioMarkStyle;
            style->setParent(menu);
            menu->setStyle(style);
          }
          group->addAction(action);
        }
        SetCoreChecked(action, item.checked);
        if (item.image >= 0) action->setIcon(ToolbarIcon(item.image));
        const int command = item.command;
        connect(action, &QAction::triggered, this, [this, action, command] {
          // Qt toggles a checkable action as it is chosen, and releases the rest of its group;
          // the core decides whether anything changes, so the marks go back to what it set.
          if (action->isCheckable()) {
            const QList<QAction*> marked =
                action->actionGroup() != nullptr ? action->actionGroup()->actions() : QList<QAction*>{action};
            for (QAction* each : marked) {
              each->setChecked(each->property(CoreCheckedProperty).toBool());
            }
          }
          Message message;
          message.kind = MessageKind::Command;
          message.command = command;
          Send(message);
        });
        menuActions_[command] = action;
        break;
      }
    }
  }
}

void ViewWindow::BuildToolBar(const std::vector<ToolbarButton>& buttons) {
  toolBar_ = new QToolBar(client_);
  ConfigureToolBar(toolBar_);
  std::map<int, QActionGroup*> groups;
  for (const ToolbarButton& button : buttons) {
    if (button.separator) {
      toolBar_->addSeparator();
      continue;
    }
    auto* action = new QAction(ToolbarIcon(button.image), ToQString(button.tooltip), toolBar_);
    action->setToolTip(ToQString(button.tooltip));
    action->setEnabled(button.enabled);
    if (button.checkGroup != 0) {
      QActionGroup*& group = groups[button.checkGroup];
      if (group == nullptr) {
        group = new QActionGroup(toolBar_);
        group->setExclusive(true);
      }
      action->setCheckable(true);
      group->addAction(action);
    }
    const int command = button.command;
    connect(action, &QAction::triggered, this, [this, command] {
      Message message;
      message.kind = MessageKind::Command;
      message.command = command;
      Send(message);
    });
    toolBar_->addAction(action);
    if (QWidget* widget = toolBar_->widgetForAction(action)) {
      widget->setFocusPolicy(Qt::NoFocus);
    }
    buttons_[command] = action;
  }
}

int ViewWindow::WidthShowingToolbar(const WindowSpec& spec) {
  // A toolbar of the same buttons, never shown: its size hint is the row of all of them.
  QToolBar toolBar;
  ConfigureToolBar(&toolBar);
  for (const ToolbarButton& button : spec.toolbar) {
    if (button.separator) {
      toolBar.addSeparator();
    } else {
      toolBar.addAction(new QAction(ToolbarIcon(button.image), QString(), &toolBar));
    }
  }
  // The toolbar spans the client, which leaves the vertical scroll bar its strip.
  return toolBar.sizeHint().width() + (spec.verticalScrollBar ? ScrollBarThickness : 0);
}

QAction* ViewWindow::Button(int command) const {
  const auto it = buttons_.find(command);
  return it != buttons_.end() ? it->second : nullptr;
}

QAction* ViewWindow::MenuAction(int command) const {
  const auto it = menuActions_.find(command);
  return it != menuActions_.end() ? it->second : nullptr;
}

ScrollControl* ViewWindow::Scroll(ScrollBar bar) const {
  const auto index = static_cast<std::size_t>(bar);
  return index < scrolls_.size() ? scrolls_[index].get() : nullptr;
}

void ViewWindow::Send(const Message& message) {
  if (dispatching_) {
    router_.Send(view_, message);
  }
}

QRect ViewWindow::ClientRect() const { return QRect(QPoint(0, 0), client_->size()); }

void ViewWindow::LayoutChildren() {
  const int width = this->width();
  const int height = this->height();
  int top = 0;
  if (menuBar_ != nullptr) {
    const int menuHeight = std::max(menuBar_->heightForWidth(width), menuBar_->sizeHint().height());
    menuBar_->setGeometry(0, 0, width, menuHeight);
    top = menuHeight;
  }
  QScrollBar* horizontal = scrolls_[static_cast<std::size_t>(ScrollBar::Horizontal)]->Bar();
  QScrollBar* vertical = scrolls_[static_cast<std::size_t>(ScrollBar::Vertical)]->Bar();
  const int clientWidth = std::max(width - (vertical != nullptr ? ScrollBarThickness : 0), 0);
  const int clientHeight = std::max(height - top - (horizontal != nullptr ? ScrollBarThickness : 0), 0);
  client_->setGeometry(0, top, clientWidth, clientHeight);
  if (vertical != nullptr) {
    vertical->setGeometry(clientWidth, top, ScrollBarThickness, clientHeight);
  }
  if (horizontal != nullptr) {
    horizontal->setGeometry(0, top + clientHeight, clientWidth, ScrollBarThickness);
  }
  toolBar_->setGeometry(0, 0, clientWidth, toolbarHeight_);
  canvas_->setGeometry(0, toolbarHeight_, clientWidth, std::max(clientHeight - toolbarHeight_, 0));
}

void ViewWindow::Invalidate(const QRect* rect) {
  const QRect area = (rect != nullptr ? *rect : ClientRect()) & ClientRect();
  if (area.isEmpty()) {
    return;
  }
  pendingPaint_ += area;
  canvas_->update(area.translated(0, -toolbarHeight_));
}

void ViewWindow::Present(const QRect& rect) { canvas_->update(rect.translated(0, -toolbarHeight_)); }

void ViewWindow::PaintCanvas(const QRegion& canvasRegion) {
  const QRegion exposed = canvasRegion.translated(0, toolbarHeight_);
  if (!pendingPaint_.isEmpty() && pendingPaint_.intersects(exposed)) {
    const QRect area = (pendingPaint_ | exposed).boundingRect() & ClientRect();
    // Cleared first: whatever the core invalidates while painting is owed a new Paint.
    pendingPaint_ = QRegion();
    if (!area.isEmpty()) {
      Message message;
      message.kind = MessageKind::Paint;
      message.rect = ToRect(area);
      Send(message);
    }
  }

  QPainter painter(canvas_);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  QRegion uncovered(canvas_->rect());
  if (image_.pixels != nullptr && image_.width > 0 && image_.height > 0) {
    const QImage image(reinterpret_cast<const uchar*>(image_.pixels), image_.width, image_.height,
                       static_cast<qsizetype>(image_.stride) * 4, QImage::Format_RGB32);
    painter.drawImage(QPoint(0, -toolbarHeight_), image);
    uncovered -= QRect(0, -toolbarHeight_, image_.width, image_.height);
  }
  for (const QRect& rect : uncovered) {
    painter.fillRect(rect, palette().color(QPalette::Window));
  }
}

Message ViewWindow::MouseMessage(MessageKind kind, QPointF canvasPosition,
                                 Qt::KeyboardModifiers modifiers) const {
  const QPoint position = canvasPosition.toPoint();
  Message message;
  message.kind = kind;
  message.pos = Point{position.x(), position.y() + toolbarHeight_};
  message.ctrl = modifiers.testFlag(Qt::ControlModifier);
  message.shift = modifiers.testFlag(Qt::ShiftModifier);
  message.alt = modifiers.testFlag(Qt::AltModifier);
  return message;
}

void ViewWindow::Wheel(QPoint screenPosition, int angleDelta) {
  wheelRemainder_ += angleDelta;
  while (wheelRemainder_ >= WheelNotch || wheelRemainder_ <= -WheelNotch) {
    const int notch = wheelRemainder_ > 0 ? WheelNotch : -WheelNotch;
    wheelRemainder_ -= notch;
    Message message;
    message.kind = MessageKind::Wheel;
    message.pos = Point{screenPosition.x(), screenPosition.y()};
    message.wheelDelta = notch;
    Send(message);
  }
}

bool ViewWindow::HandleKey(int virtualKey, Qt::KeyboardModifiers modifiers) {
  Message message;
  if (virtualKey == key::Escape) {
    // Esc arrives as a key press and then, as the character 27, matches its accelerator.
    message.kind = MessageKind::KeyDown;
    message.key = key::Escape;
    Send(message);
    for (const Accelerator& accelerator : accelerators_) {
      if (accelerator.key == key::Escape) {
        message.kind = MessageKind::Command;
        message.command = accelerator.command;
        Send(message);
      }
    }
    return true;
  }
  const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
  const bool shift = modifiers.testFlag(Qt::ShiftModifier);
  if (!modifiers.testFlag(Qt::AltModifier)) {
    for (const Accelerator& accelerator : accelerators_) {
      if (accelerator.key == virtualKey && accelerator.ctrl == ctrl && accelerator.shift == shift) {
        message.kind = MessageKind::Command;
        message.command = accelerator.command;
        Send(message);
        return true;
      }
    }
  }
  message.kind = MessageKind::KeyDown;
  message.key = virtualKey;
  Send(message);
  return true;
}

void ViewWindow::SendSizeIfChanged() {
  SizeKind kind = SizeKind::Restored;
  if (isMinimized()) {
    kind = SizeKind::Minimised;
  } else if (isMaximized() || isFullScreen()) {
    kind = SizeKind::Maximised;
  }
  const QSize size = kind == SizeKind::Minimised ? QSize(0, 0) : client_->size();
  if (kind == lastSizeKind_ && size == lastSize_) {
    return;
  }
  lastSizeKind_ = kind;
  lastSize_ = size;
  Message message;
  message.kind = MessageKind::Size;
  message.sizeKind = kind;
  message.size = Size{size.width(), size.height()};
  Send(message);
}

void ViewWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayoutChildren();
  // A resized window is drawn anew as a whole.
  pendingPaint_ = ClientRect();
  SendSizeIfChanged();
}

void ViewWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (pos() != lastPosition_) {
    lastPosition_ = pos();
    Message message;
    message.kind = MessageKind::Move;
    Send(message);
  }
}

void ViewWindow::showEvent(QShowEvent* event) {
  // A window that appears owes the core a Paint of all of it.
  pendingPaint_ = ClientRect();
  QWidget::showEvent(event);
}

void ViewWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) {
    SendSizeIfChanged();
  }
}

void ViewWindow::closeEvent(QCloseEvent* event) {
  // The core decides: it hides the window or destroys it.
  event->ignore();
  Message message;
  message.kind = MessageKind::Close;
  Send(message);
}

void ViewWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).empty()) {
    event->acceptProposedAction();
  }
}

void ViewWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalFiles(event->mimeData()).empty()) {
    event->acceptProposedAction();
  }
}

void ViewWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> files = LocalFiles(event->mimeData());
  if (files.empty()) {
    return;
  }
  event->acceptProposedAction();
  Message message;
  message.kind = MessageKind::FilesDropped;
  message.files = std::move(files);
  Send(message);
}

bool ViewWindow::eventFilter(QObject* watched, QEvent* event) {
  // The wheel over a scroll bar scrolls the window, as it does over the canvas.
  if (event->type() == QEvent::Wheel && qobject_cast<QScrollBar*>(watched) != nullptr) {
    const auto* wheel = static_cast<QWheelEvent*>(event);
    Wheel(wheel->globalPosition().toPoint(), wheel->angleDelta().y());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace vocara::platform::qt
