// The plot of a window is painted in this order: the body (WAV waveform; SAS bar ruler,
// amplitude pane with its time links, pitch pane with its grid; FFT spectrum; MFT keys), then,
// in the inverting mode, the selection band and the cursor line over the band of rows that was
// repainted.
//
// The SAS window repaints its panes separately: SasUpperBandRedraw asks for the amplitude pane,
// SasLowerBandRedraw for the pitch pane. The band and the cursor are then drawn only over the
// rows of the panes that were redrawn, so that everywhere else the inverting lines already on
// screen stay as they are and a later MoveCursor still erases exactly what was drawn.

#include "program/views/Render.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/Resources.h"
#include "program/shell/Screen.h"
#include "program/views/CorrectionMarks.h"
#include "program/views/NoteLayer.h"
#include "program/views/SasView.h"
#include "program/views/SpectrumViews.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

using platform::RasterMode;

constexpr platform::Rgb Red = PenTable[0];
constexpr platform::Rgb Green = PenTable[1];
constexpr platform::Rgb Blue = PenTable[2];
constexpr platform::Rgb Black = PenTable[3];
constexpr platform::Rgb White = PenTable[4];
constexpr platform::Rgb Yellow = PenTable[5];
constexpr platform::Rgb Olive = PenTable[6];
constexpr platform::Rgb GreenBrush = BrushTable[1];

// Peak-to-peak units (0 .. 2^32 - 1) per plot row at the amplitude pane's initial scale.
constexpr double PerFullRange = 2.3283064376229e-10;
// Time-link columns lie within this distance of the window; the drawn part of a line that runs
// further is the same to the pixel.
constexpr std::int64_t FarColumn = 1 << 30;

struct Band {
  int top;
  int bottom;
};

int SelectionColumn(double column, int columns) {
  return static_cast<int>(std::clamp(column, 0.0, static_cast<double>(columns)));
}

void PaintWavPlot(WindowStates& windows, const OpenDocuments& docs, std::uint32_t flags,
                  platform::Canvas& canvas, int columns) {
  view::WavView& view = windows.wavView;
  ViewGeometry& geometry = windows.geometry[WavView];
  const double first = view.firstSample;
  const double spp = std::max<std::uint32_t>(view.samplesPerPixel, 1);
  geometry.selLeftX = SelectionColumn((docs.wav.rangeLeft - first) / spp, columns);
  geometry.selRightX = SelectionColumn((docs.wav.rangeRight - first) / spp, columns);

  if (flags & Recording) {
    // While recording, the columns fill as the input arrives, at a fixed full-scale scale.
    view.valueScale = (geometry.plotBottom - geometry.plotTop) * 0.5 * 4.656612875245797e-10;
    columns = ViewWidth(windows, WavView);
  } else if (!(flags & WavOpen)) {
    return;  // nothing to show; the envelope may still hold a closed file's columns
  }

  const auto row = [&](std::int32_t value) {
    return WavRowOfValue(value, view.valueOffset, view.valueScale, geometry.plotTop, geometry.plotBottom);
  };
  canvas.SetRasterMode(RasterMode::Copy);
  canvas.SelectPen(Black);
  canvas.MoveTo(0, row(view.envelope[0].min));
  for (int x = 0; x < columns; ++x) {
    const SamplePair& pair = view.envelope[static_cast<std::size_t>(x)];
    canvas.LineTo(x, row(pair.min));
    if (pair.max != pair.min) canvas.LineTo(x, row(pair.max));
  }
}

int ClampColumn(std::int64_t column) { return static_cast<int>(std::clamp(column, -FarColumn, FarColumn)); }

// The links that reach columns first .. columns (all of them from column 0).
void PaintTimeLinks(WindowStates& windows, SasSession& session, platform::Canvas& canvas, int first,
                    int columns, int paneBottom) {
  const SasDocument& sas = session.sas;
  const std::uint32_t frameLength = sas.header.frameLength;
  if (frameLength == 0) return;
  const int top = windows.geometry[SasView].plotTop;
  canvas.SetRasterMode(RasterMode::NotXor);
  canvas.SelectPen(Blue);
  for (const TimeLink& link : sas.links) {
    // Unsigned divisions, then columns relative to the page.
    const std::int64_t source = std::int64_t{link.source / frameLength} - sas.firstFrame;
    const std::int64_t target = std::int64_t{link.target / frameLength} - sas.firstFrame;
    const bool leftOfWindow = source < first && target < first;
    const bool rightOfWindow = source > columns && target > columns;
    if (leftOfWindow || rightOfWindow) continue;
    canvas.MoveTo(ClampColumn(source), paneBottom);
    canvas.LineTo(ClampColumn(target), top);
  }
  canvas.SetRasterMode(RasterMode::Copy);
}

void PaintAmplitudePane(WindowStates& windows, SasSession& session, platform::Canvas& canvas, int first,
                        int columns) {
  const ViewGeometry& geometry = windows.geometry[SasView];
  const int bottom = SasAmplitudeBottom(windows);
  const double scale = SasAmplitudeScale(windows);
  for (int x = first; x < columns; ++x) {
    const SasFrame& frame = session.sas.page[static_cast<std::size_t>(x)];
    DrawColumnBar(canvas, x, geometry.plotTop, bottom, static_cast<int>(frame.Amplitude() * scale),
                  static_cast<int>(frame.targetAmplitude * scale));
  }
  PaintTimeLinks(windows, session, canvas, first, columns, bottom);
}

void PaintPitchPane(WindowStates& windows, SasSession& session, platform::Canvas& canvas, int first,
                    int columns, int bottom) {
  const int top = SasPitchTop(windows);
  const int centre = (top + bottom) / 2;
  const double scale = windows.sasView.pitchScale;
  const int base = SasPitchBase(windows, top, bottom);
  for (int x = first; x < columns; ++x) {
    const SasFrame& frame = session.sas.page[static_cast<std::size_t>(x)];
    DrawColumnBar(canvas, x, top, bottom, static_cast<int>(frame.sourcePitch * scale - base),
                  static_cast<int>(frame.TargetPitch() * scale - base));
    if (frame.TimeCorrectionOff()) canvas.SetPixel(x, top - 2, Black);
  }
  // One grid line per semitone, the red one on the centre note.
  const int lines = static_cast<int>((bottom - top) / (scale * 200));
  canvas.SetRasterMode(RasterMode::Copy);
  for (int k = -lines; k <= lines; ++k) {
    const auto row = static_cast<int>(scale * 100 * k + centre);
    canvas.SelectPen(k == 0 ? Red : Yellow);
    canvas.MoveTo(0, row);
    canvas.LineTo(columns, row);
  }
  // Over the grid, so that a mark on a semitone line stays visible; one of the two draws.
  const PitchRows rows{top, bottom, scale, base};
  DrawCorrectionMarks(windows, session, canvas, first, columns, PlotColumns(windows, SasView), rows);
  DrawNoteMarks(windows, session, canvas, first, columns, PlotColumns(windows, SasView), rows);
  DrawNoteLayer(windows, session, canvas, first, columns, PlotColumns(windows, SasView), rows);
}

Band PaintSasPlot(WindowStates& windows, SasSession& session, const Configuration& config,
                  platform::Canvas& canvas, int columns) {
  ViewGeometry& geometry = windows.geometry[SasView];
  Band band{geometry.plotTop, geometry.plotBottom};
  DrawBarRuler(windows, session, config, canvas);

  if (session.flags & SasRangeSelected) {
    const std::int64_t left = std::int64_t{session.sas.range.left} - session.sas.firstFrame;
    const std::int64_t right = std::int64_t{session.sas.range.right} - session.sas.firstFrame;
    geometry.selLeftX = static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(left, 0), columns));
    geometry.selRightX = static_cast<int>(std::min<std::int64_t>(columns, std::max<std::int64_t>(right, 0)));
  } else {
    geometry.selLeftX = 0;
    geometry.selRightX = 0;
  }

  const bool upper = (windows.redraw & SasUpperBandRedraw) != 0;
  const bool lower = (windows.redraw & SasLowerBandRedraw) != 0;
  if (upper) {
    PaintAmplitudePane(windows, session, canvas, 0, columns);
    band.bottom = lower ? geometry.plotBottom : SasAmplitudeBottom(windows);
  }
  if (lower) {
    RefreshPageNotes(windows, session);
    PaintPitchPane(windows, session, canvas, 0, columns, band.bottom);
    band.top = upper ? geometry.plotTop : SasPitchTop(windows);
  }
  windows.redraw &= ~(SasUpperBandRedraw | SasLowerBandRedraw);
  return band;
}

void DrawCursorLine(platform::Canvas& canvas, int x, int top, int bottom) {
  canvas.SelectPen(Red);
  canvas.MoveTo(x, top);
  canvas.LineTo(x, bottom);
}

// The row strip of the status fields, with the lines over and under it.
platform::Rect StatusStrip(const WindowStates& windows, int view) {
  const int top = windows.metrics.toolbarHeight;
  return {0, top, windows.clientRect[static_cast<std::size_t>(view)].right,
          top + windows.metrics.statusHeight + 1};
}

}  // namespace

int PlotColumns(const WindowStates& windows, int view) {
  const int dataWidth = windows.geometry[static_cast<std::size_t>(view)].dataWidth;
  return std::clamp(std::min(dataWidth, ViewWidth(windows, view)), 0, MaxPlotColumns);
}

void PaintWindow(Screen& screen, int view, const platform::Rect& rect) {
  if (view < 0 || view >= ViewCount) return;
  if (view == SasView) {
    // A region the platform merged may reach into a pane nobody asked for; that pane is
    // cleared below, so it is drawn again as well.
    const ViewGeometry& geometry = screen.windows.geometry[SasView];
    if (rect.top < SasAmplitudeBottom(screen.windows) && rect.bottom > geometry.plotTop)
      screen.windows.redraw |= SasUpperBandRedraw;
    if (rect.bottom > SasPitchTop(screen.windows) && rect.top < geometry.plotBottom)
      screen.windows.redraw |= SasLowerBandRedraw;
    if (!(screen.windows.redraw & (SasUpperBandRedraw | SasLowerBandRedraw))) {
      screen.windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
    }
  }
  RasterCanvas canvas(screen.windows.images[static_cast<std::size_t>(view)], screen.text);
  canvas.SetClip(rect);
  canvas.FillRect(rect, WindowColour);
  PaintStatus(screen, canvas, view, true);
  PaintPlot(screen, canvas, view);
}

void PaintPlot(Screen& screen, platform::Canvas& canvas, int view) {
  WindowStates& windows = screen.windows;
  SasSession& session = screen.session;
  const OpenDocuments& docs = screen.docs;
  const Configuration& config = screen.config;
  ViewGeometry& geometry = windows.geometry[static_cast<std::size_t>(view)];
  if (view == SasView) SasViewSetDataWidth(windows, session);
  const int columns = PlotColumns(windows, view);
  Band band{geometry.plotTop, geometry.plotBottom};

  if (view == SasView && windows.sasView.splitterDragging) {
    canvas.SetRasterMode(RasterMode::NotXor);
    canvas.SelectPen(Black);
    canvas.MoveTo(0, windows.sasView.splitterRow);
    canvas.LineTo(windows.clientRect[SasView].right, windows.sasView.splitterRow);
  }
  if (view == WavView) PaintWavPlot(windows, docs, session.flags, canvas, columns);
  if (view == SasView) band = PaintSasPlot(windows, session, config, canvas, columns);
  if (view == FftView) PaintFftPlot(windows, session.flags, canvas, columns);
  if (view == MftView) PaintMftPlot(windows, config, canvas);

  if (geometry.rangeDragging) {
    geometry.selLeftX = geometry.dragAnchorX;
    geometry.selRightX = geometry.dragCurrentX;
  }
  canvas.SetRasterMode(RasterMode::NotXor);
  canvas.SelectPen(Green);
  canvas.SelectBrush(GreenBrush);
  canvas.Rectangle(geometry.selLeftX, band.top, geometry.selRightX, band.bottom);
  DrawCursorLine(canvas, geometry.cursorX, band.top, band.bottom);
  canvas.SetRasterMode(RasterMode::Copy);
}

void DrawColumnBar(platform::Canvas& canvas, int x, int top, int bottom, int first, int second) {
  const int height = bottom - top;
  const int a = std::min(height, first);
  const int b = std::min(height, second);
  canvas.SetRasterMode(RasterMode::Copy);
  canvas.MoveTo(x, bottom);
  canvas.SelectPen(Olive);
  canvas.LineTo(x, bottom - std::min(a, b));
  if (a < b) {
    canvas.SelectPen(Blue);
    canvas.LineTo(x, bottom - b);
  } else if (a > b) {
    canvas.SelectPen(Black);
    canvas.LineTo(x, bottom - a);
  }
  canvas.SelectPen(White);
  canvas.LineTo(x, top);
}

void MoveCursor(Screen& screen, int view) {
  ViewGeometry& geometry = screen.windows.geometry[static_cast<std::size_t>(view)];
  if (view == SasView) SasViewSetDataWidth(screen.windows, screen.session);
  const int width = ViewWidth(screen.windows, view);
  geometry.cursorX = std::max(std::min(std::min(geometry.cursorX, geometry.dataWidth), width - 1), 0);

  RasterCanvas canvas(screen.windows.images[static_cast<std::size_t>(view)], screen.text);
  canvas.SetRasterMode(RasterMode::NotXor);
  DrawCursorLine(canvas, geometry.drawnCursorX, geometry.plotTop, geometry.plotBottom);
  DrawCursorLine(canvas, geometry.cursorX, geometry.plotTop, geometry.plotBottom);
  canvas.SetRasterMode(RasterMode::Copy);
  platform::WindowPort& windows = screen.port;
  windows.Present(view,
                  {geometry.drawnCursorX, geometry.plotTop, geometry.drawnCursorX + 1, geometry.plotBottom});
  windows.Present(view, {geometry.cursorX, geometry.plotTop, geometry.cursorX + 1, geometry.plotBottom});
  geometry.drawnCursorX = geometry.cursorX;

  PaintStatus(screen, canvas, view, false);
  windows.Present(view, StatusStrip(screen.windows, view));
}

void MoveProgressCursor(Screen& screen, std::uint64_t position) {
  ViewGeometry& geometry = screen.windows.geometry[WavView];
  const int column = static_cast<std::int16_t>(position / screen.windows.wavView.samplesPerPixel);
  // The line and the status values change only with the column: the same column is not drawn
  // again (MoveCursor's limits, so a column past the plot counts as its last one).
  const int limited =
      std::max(std::min(std::min(column, geometry.dataWidth), ViewWidth(screen.windows, WavView) - 1), 0);
  if (limited == geometry.drawnCursorX && geometry.cursorX == geometry.drawnCursorX) return;
  geometry.cursorX = column;
  MoveCursor(screen, WavView);
}

void CursorStep(Screen& screen, int view, int step) {
  if (view < 0 || view >= ViewCount) return;
  screen.windows.geometry[static_cast<std::size_t>(view)].cursorX += step;
  MoveCursor(screen, view);
}

void RepaintStatusValues(Screen& screen, int view) {
  RasterCanvas canvas(screen.windows.images[static_cast<std::size_t>(view)], screen.text);
  PaintStatus(screen, canvas, view, false);
  screen.port.Present(view, StatusStrip(screen.windows, view));
}

void ShowStatusNotice(Screen& screen, int view, std::string text) {
  if (view < 0 || view >= ViewCount) return;
  screen.windows.status.notices[static_cast<std::size_t>(view)] = std::move(text);
  // Painted with the next Paint, as a paint of the strip's region always is.
  const platform::Rect strip = StatusStrip(screen.windows, view);
  screen.port.Invalidate(view, &strip);
}

void ClearStatusNotices(Screen& screen) {
  for (int view = 0; view < ViewCount; ++view) {
    if (!screen.windows.status.notices[static_cast<std::size_t>(view)].empty())
      ShowStatusNotice(screen, view, {});
  }
}

double SasAmplitudeScale(const WindowStates& windows) {
  return std::exp((9000 - windows.sasView.upper.position) * 0.001) *
         (SasAmplitudeBottom(windows) - windows.geometry[SasView].plotTop) * PerFullRange;
}

int SasPitchBase(const WindowStates& windows, int top, int bottom) {
  const int centre = (top + bottom) / 2;
  const int centreNote = 87 - windows.sasView.lower.position;
  return static_cast<int>(centreNote * 100 * windows.sasView.pitchScale + (centre - bottom));
}

void RedrawSasColumns(Screen& screen, int first, int end, bool amplitude, std::span<const SasFrame> before) {
  SasViewSetDataWidth(screen.windows, screen.session);
  end = std::min({end, PlotColumns(screen.windows, SasView), first + static_cast<int>(before.size())});
  const ViewGeometry& geometry = screen.windows.geometry[SasView];
  const int top = amplitude ? geometry.plotTop : SasPitchTop(screen.windows);
  const int bottom = amplitude ? SasAmplitudeBottom(screen.windows) : geometry.plotBottom;
  const int height = bottom - top;
  const double scale = amplitude ? SasAmplitudeScale(screen.windows) : screen.windows.sasView.pitchScale;
  const int base = amplitude ? 0 : SasPitchBase(screen.windows, top, bottom);
  // The second value of a column bar, as the pane painters compute it.
  const auto target = [&](const SasFrame& frame) {
    const int value = amplitude ? static_cast<int>(frame.targetAmplitude * scale)
                                : static_cast<int>(frame.TargetPitch() * scale - base);
    return std::min(height, value);
  };
  RasterCanvas canvas(screen.windows.images[SasView], screen.text);
  platform::Rect shown{MaxColumns, bottom + 1, 0, top};
  for (int x = std::max(first, 0); x < end; ++x) {
    // With the analysed value unchanged, the bar's colours differ only between the old and the
    // new height of its target: those rows are drawn again, with what lies over them.
    const int was = target(before[static_cast<std::size_t>(x - first)]);
    const int now = target(screen.session.sas.page[static_cast<std::size_t>(x)]);
    const int low = std::max(std::min(was, now), 0);
    const int high = std::min(std::max(was, now), height);
    if (low >= high) continue;
    const platform::Rect rect{x, bottom - high + 1, x + 1, bottom - low + 1};
    canvas.SetClip(rect);
    if (amplitude) {
      PaintAmplitudePane(screen.windows, screen.session, canvas, x, x + 1);
    } else {
      PaintPitchPane(screen.windows, screen.session, canvas, x, x + 1, bottom);
    }
    // Band and cursor line as a paint of both panes draws them.
    canvas.SetRasterMode(RasterMode::NotXor);
    canvas.SelectPen(Green);
    canvas.SelectBrush(GreenBrush);
    canvas.Rectangle(geometry.selLeftX, geometry.plotTop, geometry.selRightX, geometry.plotBottom);
    DrawCursorLine(canvas, geometry.drawnCursorX, geometry.plotTop, geometry.plotBottom);
    canvas.SetRasterMode(RasterMode::Copy);
    shown = {std::min(shown.left, rect.left), std::min(shown.top, rect.top),
             std::max(shown.right, rect.right), std::max(shown.bottom, rect.bottom)};
  }
  if (!shown.Empty()) screen.port.Present(SasView, shown);
}

void DrawTimeLink(Screen& screen, const TimeLink& link) {
  const std::uint32_t frameLength = screen.session.sas.header.frameLength;
  if (frameLength == 0) return;
  const ViewGeometry& geometry = screen.windows.geometry[SasView];
  const int bottom = SasAmplitudeBottom(screen.windows);
  const int source = ClampColumn(std::int64_t{link.source / frameLength} - screen.session.sas.firstFrame);
  const int target = ClampColumn(std::int64_t{link.target / frameLength} - screen.session.sas.firstFrame);
  RasterCanvas canvas(screen.windows.images[SasView], screen.text);
  canvas.SetRasterMode(RasterMode::NotXor);
  canvas.SelectPen(Blue);
  canvas.MoveTo(source, bottom);
  canvas.LineTo(target, geometry.plotTop);
  canvas.SetRasterMode(RasterMode::Copy);
  const int width = ViewWidth(screen.windows, SasView);
  const int left = std::clamp(std::min(source, target), 0, width);
  const int right = std::clamp(std::max(source, target) + 1, 0, width);
  if (left < right) screen.port.Present(SasView, {left, geometry.plotTop, right, bottom + 1});
}

void InvalidateBelowStatus(Screen& screen, int view) {
  const platform::Rect& client = screen.windows.clientRect[static_cast<std::size_t>(view)];
  const platform::Rect below{0, screen.windows.metrics.toolbarHeight + screen.windows.metrics.statusHeight,
                             client.right, client.bottom};
  if (view == SasView) screen.windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
  screen.port.Invalidate(view, &below);
}

}  // namespace vocara
