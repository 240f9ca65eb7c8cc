// The client area of each window: its rectangle below the toolbar, the plot rows, the backing
// image, the SAS panes with their controls, and what resizing does to the scales.
#pragma once

#include "platform/Platform.h"

namespace vocara {

struct App;
struct OpenDocuments;
struct SasSession;
struct WindowStates;

// Reads the window's client rectangle and moves its top below the toolbar (the SAS window also
// leaves the strip of its pane controls); sets the plot rows, the SAS page length and the size
// of the backing image.
void LayOutClientArea(WindowStates& windows, SasSession& session, platform::Platform& ports, int view);

// Places the SAS window's two pane controls at the right edge of its client area, each as high
// as its pane.
void PlaceSasPaneControls(WindowStates& windows, platform::Platform& ports);

// Sizing to the restored or maximised state: the client rectangle and plot, the SAS panes (the
// old ratio, neither below 100 rows; pending SAS edits are written back before and the page is
// read again after), the scales and bars of each window, the cursor kept inside, and a repaint.
void ResizeView(WindowStates& windows, SasSession& session, OpenDocuments& docs, platform::Platform& ports,
                int view);

}  // namespace vocara
