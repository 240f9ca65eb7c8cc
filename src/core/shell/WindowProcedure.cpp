#include "shell/WindowProcedure.h"

#include <algorithm>
#include <fstream>

#include "shell/App.h"
#include "shell/AppFlags.h"
#include "shell/CommandHandler.h"
#include "shell/Resources.h"

namespace vocara {
namespace {

using platform::Message;
using platform::MessageKind;

constexpr std::size_t MaxPathLength = 259;

void Close(App& app, int view) {
  platform::WindowPort& windows = app.ports.windows;
  if (view != WavView) {
    windows.Show(view, platform::ShowCommand::Hide);
    return;
  }
  if (app.flags & Busy) return;
  SaveWindowLayout(app.files.settingsFile, app.layout);
  if ((app.flags & SasOpen) && app.openers.sasWriteBack) app.openers.sasWriteBack(app);
  if (app.openers.closeFiles) app.openers.closeFiles(app);
  windows.Destroy(WavView);
}

void Size(App& app, int view, const Message& message) {
  if (message.sizeKind != platform::SizeKind::Restored && message.sizeKind != platform::SizeKind::Maximised)
    return;
  if (message.sizeKind == platform::SizeKind::Restored) {
    app.layout.rects[static_cast<std::size_t>(view)] = app.ports.windows.GetScreenRect(view);
  }
  LayOutClientArea(app, view);
  if (view == SasView) {
    const int half = (app.clientRect[SasView].bottom - app.metrics.toolbarHeight) / 2;
    app.upperPaneHeight = half;
    app.lowerPaneHeight = half;
    PlaceSasPaneControls(app);
  }
  app.ports.windows.Invalidate(view, nullptr);
}

void Drop(App& app, const Message& message) {
  // A running operation reads the open WAV file: a drop must not replace it underneath.
  if (app.flags & Busy) return;
  if (message.files.empty()) return;
  OpenDocumentByName(app, message.files.front());
}

}  // namespace

std::intptr_t WindowProcedure(App& app, int view, const Message& message) {
  if (view < 0 || view >= ViewCount) return 0;
  platform::WindowPort& windows = app.ports.windows;
  const bool busy = (app.flags & Busy) != 0;
  switch (message.kind) {
    case MessageKind::Destroy:
      app.ports.pump.PostQuit(0);
      return 0;
    case MessageKind::Move:
      if (windows.GetShowState(view) != platform::ShowState::Minimised) {
        app.layout.rects[static_cast<std::size_t>(view)] = windows.GetScreenRect(view);
      }
      return 0;
    case MessageKind::Size:
      Size(app, view, message);
      return 0;
    case MessageKind::Paint:
      PaintWindow(app, view, message.rect);
      return 0;
    case MessageKind::Close:
      Close(app, view);
      return 0;
    case MessageKind::KeyDown:
      HandleKey(app, view, message.key);
      return 0;
    case MessageKind::Command:
      if (busy) {
        windows.SetCursor(platform::CursorShape::Hourglass);
        return 0;
      }
      return HandleCommand(app, view, message.command);
    case MessageKind::HScroll:
    case MessageKind::VScroll:
      return 0;
    case MessageKind::MouseMove:
    case MessageKind::LeftDown:
    case MessageKind::LeftUp:
      if (busy) windows.SetCursor(platform::CursorShape::Hourglass);
      return 0;
    case MessageKind::RightDown:
      if (view == SasView) windows.PopupEditModeMenu(windows.ClientToScreen(SasView, message.pos));
      return 0;
    case MessageKind::Wheel:
      return 0;
    case MessageKind::FilesDropped:
      Drop(app, message);
      return 0;
    case MessageKind::WaveOutDone:
    case MessageKind::WaveInData:
      return 0;
  }
  return 0;
}

void SendCommand(App& app, int view, int command) {
  Message message;
  message.kind = MessageKind::Command;
  message.command = command;
  WindowProcedure(app, view, message);
}

void OpenDocumentByName(App& app, const std::string& path) {
  if (path.empty() || path.size() > MaxPathLength) return;
  char magic[4] = {};
  {
    std::ifstream file(path, std::ios::binary);
    if (!file) return;
    file.read(magic, 4);
    if (file.gcount() < 4) return;
  }
  const std::string_view start(magic, 4);
  if (start == "RIFF") {
    if (app.openers.wavClose) app.openers.wavClose(app, false);
    if (app.openers.wavOpenCommand) app.openers.wavOpenCommand(app, &path);
  } else if (start == "SAS ") {
    if (app.openers.sasOpenCommand) app.openers.sasOpenCommand(app, &path);
  }
}

void LayOutClientArea(App& app, int view) {
  const auto v = static_cast<std::size_t>(view);
  const platform::Rect full = app.ports.windows.GetClientRect(view);
  platform::Rect client = full;
  client.top = app.metrics.toolbarHeight;
  if (view == SasView) client.right = std::max(client.left, client.right - ScrollControlWidth);
  app.clientRect[v] = client;

  ViewGeometry& geometry = app.geometry[v];
  geometry.plotTop = client.top + app.metrics.statusHeight + (view == SasView ? app.metrics.rulerHeight : 0);
  geometry.plotBottom = client.bottom;

  RasterImage& image = app.images[v];
  if (image.Width() != full.Width() || image.Height() != full.Height()) {
    image.Resize(std::max(full.Width(), 0), std::max(full.Height(), 0));
    app.ports.windows.AttachImage(view, image.View());
  }
}

void PlaceSasPaneControls(App& app) {
  const platform::Rect& client = app.clientRect[SasView];
  const int top = app.metrics.toolbarHeight;
  platform::WindowPort& windows = app.ports.windows;
  windows.MoveScrollControl(
      SasView, platform::ScrollBar::SasUpper,
      {client.right, top, client.right + ScrollControlWidth, top + app.upperPaneHeight});
  windows.MoveScrollControl(SasView, platform::ScrollBar::SasLower,
                            {client.right, top + app.upperPaneHeight, client.right + ScrollControlWidth,
                             top + app.upperPaneHeight + app.lowerPaneHeight});
}

void PaintWindow(App& app, int view, const platform::Rect& rect) {
  const auto v = static_cast<std::size_t>(view);
  if (view == SasView && !(app.flags & (SasUpperBandRedraw | SasLowerBandRedraw))) {
    app.flags |= SasUpperBandRedraw | SasLowerBandRedraw;
  }
  RasterCanvas canvas(app.images[v], app.ports.text);
  canvas.FillRect(rect, WindowColour);
  PaintStatus(app, canvas, view, true);
}

void PaintStatus(App& app, platform::Canvas& canvas, int view, bool full) {
  const int top = app.metrics.toolbarHeight;
  const int bottom = top + app.metrics.statusHeight;
  const int width = app.clientRect[static_cast<std::size_t>(view)].Width();
  const platform::Rgb grey = BrushTable[3];
  if (full) {
    canvas.FillRect({0, top, width, bottom}, grey);
    canvas.SetRasterMode(platform::RasterMode::Copy);
    canvas.SelectPen(PenTable[4]);
    canvas.MoveTo(0, top);
    canvas.LineTo(width, top);
    canvas.SelectPen(PenTable[3]);
    canvas.MoveTo(0, bottom);
    canvas.LineTo(width, bottom);
  }
  const StatusFieldRange range = StatusFieldsOf(view);
  for (int i = full ? range.first : range.firstValue; i <= range.last; ++i) {
    const auto f = static_cast<std::size_t>(i);
    // The target values of the SAS window are shown in blue.
    canvas.SetTextColour(i == 20 || i == 21 || i == 23 ? PenTable[2] : PenTable[3]);
    canvas.FillRect(app.status.rects[f], grey);
    // Value fields stay empty until a document gives them something to show.
    if (i < range.firstValue)
      canvas.TextOut(app.status.rects[f].left, app.status.rects[f].top, app.status.texts[f]);
  }
}

}  // namespace vocara
