// The program's drawn images: the toolbar strip of 44 images of 16 x 15 pixels (also the
// source of the Edit Mode menu images), the mode cursors and the program icon.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>

namespace vocara::platform::qt {

inline constexpr int ToolbarImageCount = 44;
inline constexpr int ToolbarImageWidth = 16;
inline constexpr int ToolbarImageHeight = 15;

// The whole strip, ToolbarImageCount images side by side; transparent where nothing is drawn.
const QImage& ToolbarStrip();
// One image of the strip; a null icon for an index outside the strip.
QIcon ToolbarIcon(int index);
// Cursor slots 1..6: Set Time Link, Delete Time Link, In Range, Freehand, Erase, and the
// vertical double arrow of the SAS pane splitter; slot 8: Note. Other slots give the standard
// arrow.
QCursor ModeCursor(int slot);
QIcon ProgramIcon();
QImage ProgramIconImage();

}  // namespace vocara::platform::qt
