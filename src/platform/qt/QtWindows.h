// The window port on Qt widgets: one top-level ViewWindow per view, and the key routing
// that turns key presses in those windows into accelerator commands or KeyDown messages.
#pragma once

#include <QPointer>
#include <array>
#include <memory>
#include <vector>

#include "platform/WindowPort.h"
#include "platform/qt/MessageRouter.h"

class QWidget;

namespace vocara::platform::qt {

class ViewWindow;

class QtWindows final : public WindowPort {
 public:
  explicit QtWindows(MessageRouter& router);
  ~QtWindows() override;
  QtWindows(const QtWindows&) = delete;
  QtWindows& operator=(const QtWindows&) = delete;

  bool CreateWindow(const WindowSpec& spec) override;
  void Show(int view, ShowCommand command) override;
  ShowState GetShowState(int view) const override;
  void BringToTop(int view) override;
  void SetTitle(int view, const std::string& title) override;
  void Destroy(int view) override;

  Rect GetClientRect(int view) const override;
  Rect GetScreenRect(int view) const override;
  Point ClientToScreen(int view, Point client) const override;
  int ToolbarHeight(int view) const override;
  int WidthShowingToolbar(const WindowSpec& spec) const override;
  void SetSizeLimits(int view, Size minimum, Size maximum) override;

  void AttachImage(int view, const PixelView& image) override;
  void Invalidate(int view, const Rect* rect) override;
  void Present(int view, const Rect& rect) override;

  void CaptureMouse(int view) override;
  void ReleaseMouse() override;
  void SetCursor(CursorShape shape) override;

  void SetScrollInfo(int view, ScrollBar bar, const ScrollInfo& info, bool redraw) override;
  ScrollInfo GetScrollInfo(int view, ScrollBar bar) const override;
  void MoveScrollControl(int view, ScrollBar control, const Rect& rect) override;

  void SetButtonEnabled(int view, int command, bool enabled) override;
  void SetButtonChecked(int view, int command, bool checked) override;
  void SetMenuItemEnabled(int command, bool enabled) override;
  void SetMenuItemChecked(int command, bool checked) override;
  void SetCommandNote(int command, const std::string& note) override;
  void RedrawMenuBar() override;
  void PopupEditModeMenu(Point screen) override;

  Rect WorkArea() const override;
  Size LogicalDpi() const override;

  // The live window of a view, or null; for the dialogs' owners and for inspection.
  ViewWindow* Window(int view) const;
  // The view whose window holds the widget, or -1.
  int ViewOf(const QWidget* widget) const;

 private:
  class KeyFilter;

  MessageRouter& router_;
  std::array<ViewWindow*, 4> windows_{};
  std::vector<QPointer<ViewWindow>> destroyed_;  // destroyed, deletion still pending
  std::unique_ptr<KeyFilter> keyFilter_;
  bool waitCursor_ = false;
  QPointer<QWidget> mouseGrabber_;
};

}  // namespace vocara::platform::qt
