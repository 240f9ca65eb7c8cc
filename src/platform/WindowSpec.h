// Descriptions of the menu bar, toolbars and accelerators that the core hands to the
// window adapter; the adapter builds its widgets from them and reports their use as
// Command messages.
#pragma once

#include <string>
#include <vector>

#include "base/Geometry.h"

namespace vocara::platform {

struct MenuItem {
  enum class Kind { Command, Separator, Submenu };
  Kind kind = Kind::Command;
  std::string label;     // "&" marks the access key
  std::string shortcut;  // shown right of the label, e.g. "F7"; empty for none
  int command = 0;
  bool greyed = false;          // state when the menu is created
  std::vector<MenuItem> items;  // Submenu only
  bool checkable = false;       // shows a check mark, which the core alone sets (SetMenuItemChecked)
  bool checked = false;         // state when the menu is created
  int image = -1;               // the toolbar image shown beside the label; -1 for none
  int checkGroup = 0;           // checkable items of one list with the same group show a radio mark
};

struct MenuPopup {
  std::string label;
  std::vector<MenuItem> items;
};

struct ToolbarButton {
  bool separator = false;
  int image = 0;  // index into the 43-image toolbar strip
  int command = 0;
  bool enabled = false;
  int checkGroup = 0;  // 0: push button; otherwise buttons of one group release each other
  std::string tooltip;
};

struct Accelerator {
  int key = 0;  // virtual-key code; Escape matches the character 27
  int command = 0;
  // The modifiers held with the key; the program's own keys have none.
  bool ctrl = false;
  bool shift = false;
};

struct WindowSpec {
  int view = 0;
  std::string title{};
  Rect rect{};  // screen rectangle of the whole window
  bool horizontalScrollBar = false;
  bool verticalScrollBar = false;
  bool sasPaneControls = false;   // the two vertical scroll controls of the SAS window
  std::vector<MenuPopup> menu{};  // empty: no menu bar
  std::vector<ToolbarButton> toolbar{};
  std::vector<Accelerator> accelerators{};
};

}  // namespace vocara::platform
