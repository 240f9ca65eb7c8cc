// The geometry every window shares: the plot rows, the cursor, drag and selection columns, and
// the records behind the scroll bars. Columns and rows are client pixels whose row 0 is the top
// of the toolbar band. Windows are at most 1280 pixels wide, so every per-column array holds
// 1281 entries and no loop draws more than 1280 columns.
#pragma once

#include <cstdint>

namespace vocara {

struct App;
struct WindowStates;

inline constexpr int MaxColumns = 1281;
inline constexpr int MaxPlotColumns = 1280;
// The SAS window's two pane controls stand in a strip of this width at its right edge.
inline constexpr int ScrollControlWidth = 16;

struct ViewGeometry {
  int drawnCursorX = 0;  // where the cursor line stands now (drawn inverting)
  int cursorX = 0;       // where the cursor is to be
  int dragAnchorX = 0;   // where a mouse range drag started
  int dragCurrentX = 0;  // where that drag has reached
  int selLeftX = 0;      // the selection band, columns
  int selRightX = 0;
  int plotTop = 0;     // first row of the plot
  int plotBottom = 0;  // last row of the plot: the client height
  int dataWidth = 0;   // columns that hold data
  // Set by the mouse handling while a range drag runs: the band then follows the drag columns.
  bool rangeDragging = false;
};

// A horizontal scroll bar as fractions of the whole extent. The fractions are what scrolling
// works with; the bar only shows position x its maximum.
struct ScrollTrack {
  double position = 0.0;
  double page = 0.8;
  double line = 0.1;
};

// A vertical scroll bar whose values the core keeps: positions 0 .. max - page + 1.
struct ScrollBarState {
  int max = 0;
  int page = 0;
  int position = 0;
  int line = 1;
};

// The window's width: the right edge of its ClientRect, limited to 0 .. 1280.
int ViewWidth(const WindowStates& windows, int view);

}  // namespace vocara
