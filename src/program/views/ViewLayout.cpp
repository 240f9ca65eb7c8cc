#include "program/views/ViewLayout.h"

#include <algorithm>

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/SasPage.h"
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
  platform::Rect rect{0, app.metrics.toolbarHeight, width, height};
  if (view == SasView) rect.right = std::max(width - ScrollControlWidth, 0);
  app.clientRect[v] = rect;

  ViewGeometry& geometry = app.geometry[v];
  geometry.plotTop = rect.top + app.metrics.statusHeight + (view == SasView ? app.metrics.rulerHeight : 0);
  geometry.plotBottom = height;
  // One page record per plot column.
  if (view == SasView) app.sas.pageLength = ViewWidth(app, SasView);

  RasterImage& image = app.images[v];
  if (image.Width() != width || image.Height() != height) {
    image.Resize(width, height);
    app.ports.windows.AttachImage(view, image.View());
  }
}

void PlaceSasPaneControls(App& app) {
  const int right = app.clientRect[SasView].right;
  const int top = app.metrics.toolbarHeight;
  platform::WindowPort& windows = app.ports.windows;
  windows.MoveScrollControl(SasView, platform::ScrollBar::SasUpper,
                            {right, top, right + ScrollControlWidth, top + app.upperPaneHeight});
  windows.MoveScrollControl(SasView, platform::ScrollBar::SasLower,
                            {right, top + app.upperPaneHeight, right + ScrollControlWidth,
                             top + app.upperPaneHeight + app.lowerPaneHeight});
}

void ResizeView(App& app, int view) {
  // Write-back goes first: the page it writes is the one the old width loaded.
  const bool sasOpen = view == SasView && app.Has(SasOpen);
  if (sasOpen) SasWriteBack(app);
  LayOutClientArea(app, view);
  const int width = ViewWidth(app, view);
  switch (view) {
    case SasView: {
      const SasPaneSplit split = SplitSasPanes(app.clientRect[SasView].bottom, app.metrics.toolbarHeight,
                                               app.upperPaneHeight, app.lowerPaneHeight);
      app.upperPaneHeight = split.upper;
      app.lowerPaneHeight = split.lower;
      PlaceSasPaneControls(app);
      SasViewHorizontalScrollUpdate(app);
      if (sasOpen) {
        SasReadPage(app);
        SasViewSetDataWidth(app);
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
  ViewGeometry& geometry = app.geometry[static_cast<std::size_t>(view)];
  if (geometry.cursorX > width - 1) {
    geometry.cursorX = std::max(width - 1, 0);
    geometry.drawnCursorX = geometry.cursorX;
  }
  app.ports.windows.Invalidate(view, nullptr);
}

}  // namespace vocara
