// One top-level window of the program: the menu bar (WAV only), the client widget with the
// toolbar band on top and the canvas below it, and the window's own scroll bars. The core
// works in client coordinates whose row 0 is the top of the toolbar band; the canvas shows
// the core's image from row ToolbarHeight() down, so every canvas position is reported with
// the toolbar height added.
#pragma once

#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QWidget>
#include <array>
#include <map>
#include <memory>

#include "platform/Message.h"
#include "platform/WindowPort.h"
#include "platform/WindowSpec.h"
#include "platform/qt/MessageRouter.h"

class QAction;
class QMenu;
class QMenuBar;
class QScrollBar;
class QToolBar;

namespace vocara::platform::qt {

// The check mark of a menu action as the core set it, kept beside the one Qt shows: choosing
// the item toggles what Qt shows, and the adapter puts back what the core set.
inline constexpr char CoreCheckedProperty[] = "vocaraCoreChecked";
void SetCoreChecked(QAction* action, bool checked);

class ViewWindow;

// A scroll bar whose position belongs to the core. A user action becomes a scroll message;
// the slider then returns to the position the core last set, so that the core's answer
// (a SetScrollInfo) is the only thing that moves it.
class ScrollControl {
 public:
  ScrollControl(ViewWindow& window, ScrollBar which, QScrollBar* bar);
  ScrollControl(const ScrollControl&) = delete;
  ScrollControl& operator=(const ScrollControl&) = delete;

  // Stores the values with the classic clamping (page at most the range, position between
  // the minimum and max - page + 1) and greys the bar when there is nothing to scroll.
  void Set(const ScrollInfo& info);
  const ScrollInfo& Info() const { return info_; }
  QScrollBar* Bar() const { return bar_; }

 private:
  void OnAction(int action);
  void OnTrack(int position);
  void OnRelease();
  void Report(ScrollCode code, int position);
  void ShowStoredPosition();

  ViewWindow& window_;
  ScrollBar which_;
  QScrollBar* bar_;  // null for a bar the window does not have; the values are kept anyway
  ScrollInfo info_;
};

class CanvasWidget final : public QWidget {
 public:
  CanvasWidget(ViewWindow& window, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void Press(QMouseEvent* event);

  ViewWindow& window_;
  Qt::MouseButtons down_;  // buttons whose press has been reported and not yet released
};

class ViewWindow final : public QWidget {
 public:
  ViewWindow(const WindowSpec& spec, MessageRouter& router);
  ~ViewWindow() override;

  // The narrowest window of this description whose toolbar shows every button.
  static int WidthShowingToolbar(const WindowSpec& spec);

  int View() const { return view_; }
  // Dispatch starts once the window is fully built, as a window procedure only sees a
  // window that exists.
  void EnableDispatch() { dispatching_ = true; }
  void DisableDispatch() { dispatching_ = false; }
  void Send(const Message& message);

  QMenuBar* MenuBar() const { return menuBar_; }
  QMenu* EditModeMenu() const { return editModeMenu_; }
  QWidget* Client() const { return client_; }
  QToolBar* ToolBar() const { return toolBar_; }
  CanvasWidget* Canvas() const { return canvas_; }
  int ToolbarHeight() const { return toolbarHeight_; }
  QAction* Button(int command) const;
  QAction* MenuAction(int command) const;
  ScrollControl* Scroll(ScrollBar bar) const;

  void AttachImage(const PixelView& image) { image_ = image; }
  // rect in client coordinates; null for the whole client.
  void Invalidate(const QRect* rect);
  void Present(const QRect& rect);

  // Called by the canvas: the pending Paint goes to the core first, then the image is shown.
  void PaintCanvas(const QRegion& canvasRegion);
  Message MouseMessage(MessageKind kind, QPointF canvasPosition, Qt::KeyboardModifiers modifiers) const;
  // Wheel turns are reported in whole notches of 120, so that fine-grained wheels and
  // touchpads add up to the same notches a stepped wheel gives.
  void Wheel(QPoint screenPosition, int angleDelta);
  // A mapped key press: accelerators first, then a KeyDown. Returns false when not taken.
  bool HandleKey(int virtualKey, Qt::KeyboardModifiers modifiers);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenu(const std::vector<MenuPopup>& popups);
  void AddMenuItems(QMenu* menu, const std::vector<MenuItem>& items);
  void BuildToolBar(const std::vector<ToolbarButton>& buttons);
  QScrollBar* MakeScrollBar(Qt::Orientation orientation, QWidget* parent, const char* name);
  void LayoutChildren();
  QRect ClientRect() const;
  void SendSizeIfChanged();

  int view_;
  MessageRouter& router_;
  bool dispatching_ = false;
  std::vector<Accelerator> accelerators_;

  QMenuBar* menuBar_ = nullptr;
  QMenu* editModeMenu_ = nullptr;
  QWidget* client_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  CanvasWidget* canvas_ = nullptr;
  int toolbarHeight_ = 0;
  std::map<int, QAction*> buttons_;
  std::map<int, QAction*> menuActions_;
  std::array<std::unique_ptr<ScrollControl>, 4> scrolls_;  // indexed by ScrollBar

  PixelView image_;
  QRegion pendingPaint_;  // client coordinates still owed a Paint message
  int wheelRemainder_ = 0;
  SizeKind lastSizeKind_ = SizeKind::Restored;
  QSize lastSize_;
  QPoint lastPosition_;
};

}  // namespace vocara::platform::qt
