// Everything the core asks of the desktop's window system. Windows are named by their
// view number (0 WAV, 1 SAS, 2 FFT, 3 MFT).
#pragma once

#include <string>

#include "base/Geometry.h"
#include "platform/Message.h"
#include "platform/WindowSpec.h"

namespace vocara::platform {

enum class ShowState { Hidden, Normal, Minimised, Maximised };
enum class ShowCommand { Hide, Restore, Minimise, Maximise };

// Index into the cursor table: 0 arrow, 1..6 the drawn mode cursors, 7 hourglass, 8 the Note
// mode's cursor.
enum class CursorShape { Arrow = 0, Mode1, Mode2, Mode3, Mode4, Mode5, Mode6, Hourglass, Note };

struct ScrollInfo {
  int min = 0;
  int max = 0;
  int page = 0;
  int pos = 0;
  friend bool operator==(const ScrollInfo&, const ScrollInfo&) = default;
};

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // Creates the window, hidden, with its toolbar (and the menu bar when the description has one).
  virtual bool CreateWindow(const WindowSpec& spec) = 0;
  virtual void Show(int view, ShowCommand command) = 0;
  virtual ShowState GetShowState(int view) const = 0;
  virtual void BringToTop(int view) = 0;
  virtual void SetTitle(int view, const std::string& title) = 0;
  virtual void Destroy(int view) = 0;

  // Client area including the toolbar band, origin (0, 0).
  virtual Rect GetClientRect(int view) const = 0;
  // The whole window in screen coordinates.
  virtual Rect GetScreenRect(int view) const = 0;
  virtual Point ClientToScreen(int view, Point client) const = 0;
  virtual int ToolbarHeight(int view) const = 0;
  // The narrowest window made from spec (its vertical scroll bar included) whose toolbar shows
  // every button, none of them folded away; asked before the window is created.
  virtual int WidthShowingToolbar(const WindowSpec& spec) const = 0;
  virtual void SetSizeLimits(int view, Size minimum, Size maximum) = 0;

  // The pixels the window shows; the core draws into them. Re-attached after every resize.
  virtual void AttachImage(int view, const PixelView& image) = 0;
  // Ask for a Paint message for the rectangle (the whole client when rect is null).
  virtual void Invalidate(int view, const Rect* rect) = 0;
  // Show pixels the core drew directly into the attached image, without a Paint message.
  virtual void Present(int view, const Rect& rect) = 0;

  virtual void CaptureMouse(int view) = 0;
  virtual void ReleaseMouse() = 0;
  virtual void SetCursor(CursorShape shape) = 0;

  // Bars are greyed rather than hidden when there is nothing to scroll.
  virtual void SetScrollInfo(int view, ScrollBar bar, const ScrollInfo& info, bool redraw) = 0;
  virtual ScrollInfo GetScrollInfo(int view, ScrollBar bar) const = 0;
  // Places one of the SAS window's pane controls (SasUpper or SasLower), client coordinates.
  virtual void MoveScrollControl(int view, ScrollBar control, const Rect& rect) = 0;

  virtual void SetButtonEnabled(int view, int command, bool enabled) = 0;
  virtual void SetButtonChecked(int view, int command, bool checked) = 0;
  virtual void SetMenuItemEnabled(int command, bool enabled) = 0;
  // The check mark of a checkable menu item; choosing the item does not change it by itself.
  virtual void SetMenuItemChecked(int command, bool checked) = 0;
  // Why a command cannot be used (empty: no reason to give): its menu items show it as their
  // tooltip, its buttons after their own tooltip.
  virtual void SetCommandNote(int command, const std::string& note) = 0;
  virtual void RedrawMenuBar() = 0;
  // The "Edit Mode" submenu of the menu bar as a popup at a screen point; its commands go
  // to the WAV window.
  virtual void PopupEditModeMenu(Point screen) = 0;

  // Work area of the primary screen (the desktop without panels), screen coordinates.
  virtual Rect WorkArea() const = 0;
  // Logical pixels per inch across and down the screen.
  virtual Size LogicalDpi() const = 0;
};

}  // namespace vocara::platform
