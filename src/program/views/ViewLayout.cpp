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

void LayOutClientArea(App& app, int view) {
  const auto v = static_cast<std::size_t>(view);
  const platform::Rect client = app.ports.windows.GetClientRect(view);
  const int width = std::max(client.Width(), 0);
  const int height = std::max(client.Height(), 0);
  platform::Rect rect{0, app.windows.metrics.toolbarHeight, width, height};
  if (view == SasView) rect.right = std::max(width - ScrollControlWidth, 0);
  app.windows.clientRect[v] = rect;

  ViewGeometry& geometry = app.windows.geometry[v];
  geometry.plotTop =
      rect.top + app.windows.metrics.statusHeight + (view == SasView ? app.windows.metrics.rulerHeight : 0);
  geometry.plotBottom = height;
  // One page record per plot column.
  if (view == SasView) app.session.sas.pageLength = ViewWidth(app.windows, SasView);

  RasterImage& image = app.windows.images[v];
  if (image.Width() != width || image.Height() != height) {
    image.Resize(width, height);
    app.ports.windows.AttachImage(view, image.View());
  }
}

void PlaceSasPaneControls(App& app) {
  const int right = app.windows.clientRect[SasView].right;
  const int top = app.windows.metrics.toolbarHeight;
  platform::WindowPort& windows = app.ports.windows;
  windows.MoveScrollControl(SasView, platform::ScrollBar::SasUpper,
                            {right, top, right + ScrollControlWidth, top + app.windows.upperPaneHeight});
  windows.MoveScrollControl(SasView, platform::ScrollBar::SasLower,
                            {right, top + app.windows.upperPaneHeight, right + ScrollControlWidth,
                             top + app.windows.upperPaneHeight + app.windows.lowerPaneHeight});
}

void ResizeView(App& app, int view) {
  // Write-back goes first: the page it writes is the one the old width loaded.
  const bool sasOpen = view == SasView && app.Has(SasOpen);
  if (sasOpen) SasWriteBack(app.session);
  LayOutClientArea(app, view);
  const int width = ViewWidth(app.windows, view);
  switch (view) {
    case SasView: {
      const SasPaneSplit split =
          SplitSasPanes(app.windows.clientRect[SasView].bottom, app.windows.metrics.toolbarHeight,
                        app.windows.upperPaneHeight, app.windows.lowerPaneHeight);
      app.windows.upperPaneHeight = split.upper;
      app.windows.lowerPaneHeight = split.lower;
      PlaceSasPaneControls(app);
      SasViewHorizontalScrollUpdate(app);
      if (sasOpen) {
        SasReadPage(app.session);
        SasViewSetDataWidth(app.windows, app.session);
      }
      break;
    }
    case FftView:
      FftViewHorizontalScrollUpdate(app);
      break;
    case WavView:
      if (app.Has(WavOpen)) {
        WavViewEnvelopePass(app);
        WavViewVerticalScrollUpdate(app);
        WavViewHorizontalScrollUpdate(app);
      }
      break;
    default:
      break;
  }
  ViewGeometry& geometry = app.windows.geometry[static_cast<std::size_t>(view)];
  if (geometry.cursorX > width - 1) {
    geometry.cursorX = std::max(width - 1, 0);
    geometry.drawnCursorX = geometry.cursorX;
  }
  app.ports.windows.Invalidate(view, nullptr);
}

}  // namespace vocara
