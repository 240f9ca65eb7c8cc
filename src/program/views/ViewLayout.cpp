#include "program/views/ViewLayout.h"

#include <algorithm>

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/SasSession.h"
#include "program/views/FftView.h"
#include "program/views/SasView.h"
#include "program/views/WavView.h"

namespace vocara {

int ViewWidth(const WindowStates& windows, int view) {
  return std::clamp(windows.clientRect[static_cast<std::size_t>(view)].right, 0, MaxPlotColumns);
}

void LayOutClientArea(WindowStates& windows, SasSession& session, platform::Platform& ports, int view) {
  const auto v = static_cast<std::size_t>(view);
  const platform::Rect client = ports.windows.GetClientRect(view);
  const int width = std::max(client.Width(), 0);
  const int height = std::max(client.Height(), 0);
  platform::Rect rect{0, windows.metrics.toolbarHeight, width, height};
  if (view == SasView) rect.right = std::max(width - ScrollControlWidth, 0);
  windows.clientRect[v] = rect;

  ViewGeometry& geometry = windows.geometry[v];
  geometry.plotTop =
      rect.top + windows.metrics.statusHeight + (view == SasView ? windows.metrics.rulerHeight : 0);
  geometry.plotBottom = height;
  // One page record per plot column.
  if (view == SasView) session.sas.pageLength = ViewWidth(windows, SasView);

  RasterImage& image = windows.images[v];
  if (image.Width() != width || image.Height() != height) {
    image.Resize(width, height);
    ports.windows.AttachImage(view, image.View());
  }
}

void PlaceSasPaneControls(WindowStates& windows, platform::Platform& ports) {
  const int right = windows.clientRect[SasView].right;
  const int top = windows.metrics.toolbarHeight;
  platform::WindowPort& port = ports.windows;
  port.MoveScrollControl(SasView, platform::ScrollBar::SasUpper,
                         {right, top, right + ScrollControlWidth, top + windows.upperPaneHeight});
  port.MoveScrollControl(SasView, platform::ScrollBar::SasLower,
                         {right, top + windows.upperPaneHeight, right + ScrollControlWidth,
                          top + windows.upperPaneHeight + windows.lowerPaneHeight});
}

void ResizeView(WindowStates& windows, SasSession& session, OpenDocuments& docs, platform::Platform& ports,
                int view) {
  // Write-back goes first: the page it writes is the one the old width loaded.
  const bool sasOpen = view == SasView && HasAll(session.flags, SasOpen);
  if (sasOpen) SasWriteBack(session);
  LayOutClientArea(windows, session, ports, view);
  const int width = ViewWidth(windows, view);
  switch (view) {
    case SasView: {
      const SasPaneSplit split =
          SplitSasPanes(windows.clientRect[SasView].bottom, windows.metrics.toolbarHeight,
                        windows.upperPaneHeight, windows.lowerPaneHeight);
      windows.upperPaneHeight = split.upper;
      windows.lowerPaneHeight = split.lower;
      PlaceSasPaneControls(windows, ports);
      SasViewHorizontalScrollUpdate(windows, session, ports);
      if (sasOpen) {
        SasReadPage(session);
        SasViewSetDataWidth(windows, session);
      }
      break;
    }
    case FftView:
      FftViewHorizontalScrollUpdate(windows, ports);
      break;
    case WavView:
      if (HasAll(session.flags, WavOpen)) {
        WavViewEnvelopePass(windows, docs);
        WavViewVerticalScrollUpdate(windows, docs, ports);
        WavViewHorizontalScrollUpdate(windows, docs, ports);
      }
      break;
    default:
      break;
  }
  ViewGeometry& geometry = windows.geometry[static_cast<std::size_t>(view)];
  if (geometry.cursorX > width - 1) {
    geometry.cursorX = std::max(width - 1, 0);
    geometry.drawnCursorX = geometry.cursorX;
  }
  ports.windows.Invalidate(view, nullptr);
}

}  // namespace vocara
