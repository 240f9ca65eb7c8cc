// A press decides what the drag does (DragBit), in this order: Ctrl selects a range in every
// window; outside the SAS window the cursor follows; in the SAS window the splitter takes a
// press within 2 rows of it, then the edit mode decides. Moves carry the drag on, releases end
// it. Edits redraw the columns they changed at once (RedrawSasColumns); the release repaints
// the SAS window as a whole, with the pitch plot centred on the note under the cursor.
//
// The edits only ever touch columns that hold a frame of the page, and a frame's clip limit
// looks at the frame after it, which for the last page column is read from the file once at the
// press: a move does no file access and no allocation.

#include "program/commands/SasMouse.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <span>

#include "base/Instruments.h"
#include "base/MessageId.h"
#include "program/commands/NoteCommands.h"
#include "program/commands/SasCommands.h"
#include "program/commands/SasMouseEdits.h"
#include "program/commands/SasUndo.h"
#include "program/commands/SettingsDialog.h"
#include "program/commands/WavCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/Resources.h"
#include "program/shell/SasSession.h"
#include "program/shell/WavRange.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"
#include "program/views/Scrolling.h"
#include "program/views/SpectrumViews.h"
#include "program/views/ViewLayout.h"

namespace vocara {
namespace {

using platform::CursorShape;
using platform::Message;
using platform::MessageKind;
using platform::Point;

// Slot 6 of the cursor table is the pane-split arrow; slots 0 to 5 are the edit modes'.
constexpr CursorShape SplitterCursor = CursorShape::Mode6;
constexpr int SplitterReach = 2;     // rows either side of the splitter that take a press
constexpr int SplitterMargin = 100;  // the splitter stays this far from the client's top and bottom
constexpr int NoteColumns = 88;

constexpr std::uint32_t SpanStates = DragFreeAmplitude | DragFreePitch | DragEraseAmplitude | DragErasePitch |
                                     DragLineAmplitude | DragLinePitch;
constexpr std::uint32_t FreehandStates =
    DragFreeAmplitude | DragFreePitch | DragLineAmplitude | DragLinePitch;
constexpr std::uint32_t LineStates = DragLineAmplitude | DragLinePitch;
constexpr std::uint32_t AmplitudeStates = DragFreeAmplitude | DragLineAmplitude | DragEraseAmplitude;

int SplitterRow(const WindowStates& windows) {
  return windows.metrics.toolbarHeight + windows.upperPaneHeight;
}

bool NearSplitter(const WindowStates& windows, int y) {
  return std::abs(y - SplitterRow(windows)) <= SplitterReach;
}

int ClientHeight(const WindowStates& windows) { return windows.clientRect[SasView].bottom; }

int SplitterLimited(const WindowStates& windows, int y) {
  return std::min(std::max(y, SplitterMargin), ClientHeight(windows) - SplitterMargin);
}

// The columns that hold a frame of the page: within the page, the records the last read
// loaded and the frames the file has from firstFrame on.
int EditableColumns(const SasSession& session) {
  const SasDocument& sas = session.sas;
  const std::int64_t frames = std::int64_t{sas.shownFrameCount} - sas.firstFrame;
  const std::int64_t columns = std::min({std::int64_t{sas.pageLength}, std::int64_t{sas.pageCount}, frames});
  return static_cast<int>(std::clamp<std::int64_t>(columns, 0, MaxSasPageLength));
}

int DataWidth(WindowStates& windows, SasSession& session, int view) {
  if (view == SasView) SasViewSetDataWidth(windows, session);
  return windows.geometry[static_cast<std::size_t>(view)].dataWidth;
}

// The frame after page column k: the next page record, or behind the page the file's.
const SasFrame* FollowingFrame(const SasSession& session, int column) {
  if (column + 1 < session.sas.pageCount) return &session.sas.page[static_cast<std::size_t>(column + 1)];
  return session.mouse.hasFollowing ? &session.mouse.following : nullptr;
}

// The file's frame behind the last page record, read (never written) at the press.
void ReadFollowingFrame(SasSession& session) {
  MouseDrag& drag = session.mouse;
  SasDocument& sas = session.sas;
  drag.hasFollowing = false;
  const std::int64_t index = std::int64_t{sas.pageFirst} + sas.pageCount;
  if (!sas.file.IsOpen() || index < 0 || index >= std::int64_t{sas.header.frameCount}) return;
  std::array<std::uint8_t, SasFrame::ByteSize> bytes{};
  if (!sas.file.Seek(SasFramesOffset + SasFrame::ByteSize * static_cast<std::uint64_t>(index))) return;
  if (sas.file.Read(bytes.data(), bytes.size()) != bytes.size()) return;
  drag.following = SasFrame::Parse(bytes);
  drag.hasFollowing = true;
}

bool SasEditable(SasSession& session) { return HasAll(session.flags, SasOpen) && SasEditAllowed(session); }

void ShowCursorShape(WindowStates& windows, SasSession& session, platform::Platform& ports, int view,
                     const Message& message) {
  CursorShape shape = CursorShape::Arrow;
  if (session.mouse.state & DragSplitter) {
    shape = SplitterCursor;
  } else if (view == SasView && !message.ctrl) {
    const bool overSplitter = session.mouse.state == 0 && NearSplitter(windows, message.pos.y);
    shape = overSplitter ? SplitterCursor : EditModeOf(windows.editMode).cursor;
  }
  ports.windows.SetCursor(shape);
}

void DrawSplitterLine(WindowStates& windows, platform::Platform& ports, int row) {
  const int right = windows.clientRect[SasView].right;
  RasterCanvas canvas(windows.images[SasView], ports.text);
  canvas.SetRasterMode(platform::RasterMode::NotXor);
  canvas.SelectPen(PenTable[3]);
  canvas.MoveTo(0, row);
  canvas.LineTo(right, row);
  canvas.SetRasterMode(platform::RasterMode::Copy);
  ports.windows.Present(SasView, {0, row, right, row + 1});
}

// Before a move changes the columns of `span`: their records as they are drawn.
void NoteShownColumns(SasSession& session, ColumnSpan span) {
  std::copy(session.sas.page.begin() + span.first, session.sas.page.begin() + span.last + 1,
            session.mouse.shown.begin() + span.first);
}

// The columns an edit changed are drawn again; the status values follow when the cursor's
// frame is among them.
void ShowEditedColumns(Screen& screen, std::uint32_t& flags, ColumnSpan span, bool amplitude) {
  flags |= SasPageDirty;
  const std::span<const SasFrame> before(screen.session.mouse.shown.data() + span.first,
                                         static_cast<std::size_t>(span.last - span.first + 1));
  RedrawSasColumns(screen, span.first, span.last + 1, amplitude, before);
  const int cursor = screen.windows.geometry[SasView].drawnCursorX;
  if (cursor >= span.first && cursor <= span.last) RepaintStatusValues(screen, SasView);
}

void SetTimeLink(Screen& screen, std::uint32_t& flags, platform::Platform& ports, int x) {
  if (!SasEditable(screen.session)) return;
  SasDocument& sas = screen.session.sas;
  if (sas.links.size() >= MaxTimeLinks) {
    ShowErrorMessage(ports.desktop, MessageId::TooManyTimeLinks);
    return;
  }
  // Both ends on frames of the page: a click right of the last frame pins nothing.
  const int columns = EditableColumns(screen.session);
  const int cursor = screen.windows.geometry[SasView].cursorX;
  if (x < 0 || x >= columns || cursor < 0 || cursor >= columns) return;
  const std::uint64_t frameLength = sas.header.frameLength;
  const auto first = static_cast<std::uint64_t>(sas.firstFrame);
  const std::uint64_t source = (static_cast<std::uint64_t>(cursor) + first) * frameLength;
  const std::uint64_t target = (static_cast<std::uint64_t>(x) + first) * frameLength;
  if (source > std::numeric_limits<std::uint32_t>::max() ||
      target > std::numeric_limits<std::uint32_t>::max())
    return;
  SasEditBegin(screen.session);
  if (InsertTimeLink(sas.links, static_cast<std::uint32_t>(source), static_cast<std::uint32_t>(target)) ==
      LinkInsertion::Inserted) {
    DrawTimeLink(screen, TimeLink{static_cast<std::uint32_t>(source), static_cast<std::uint32_t>(target)});
    flags |= SasPageDirty;
  }
  SasEditEnd(screen.session);
}

void DeleteTimeLink(Screen& screen, std::uint32_t& flags, int x, int y) {
  if (!HasAll(flags, SasOpen)) return;
  SasDocument& sas = screen.session.sas;
  LinkPlot plot;
  plot.frameLength = sas.header.frameLength;
  plot.firstFrame = sas.firstFrame;
  plot.columns = EditableColumns(screen.session);
  plot.top = screen.windows.geometry[SasView].plotTop;
  plot.bottom = SasAmplitudeBottom(screen.windows);
  const int hit = TimeLinkAt(sas.links, plot, x, y);
  if (hit < 0 || !SasEditAllowed(screen.session)) return;
  SasEditBegin(screen.session);
  DrawTimeLink(screen, sas.links[static_cast<std::size_t>(hit)]);  // drawn again: erased
  sas.links.erase(sas.links.begin() + hit);
  flags |= SasPageDirty;
  SasEditEnd(screen.session);
}

// In Range: the press must lie strictly inside the SAS range; the columns of the range on the
// page are edited.
std::uint32_t InRangeState(SasSession& session, int x, bool upper) {
  MouseDrag& drag = session.mouse;
  const SasDocument& sas = session.sas;
  const std::int64_t left = std::int64_t{sas.range.left} - sas.firstFrame;
  const std::int64_t right = std::int64_t{sas.range.right} - sas.firstFrame;
  if (!(left < x && x < right)) return DragCursor;
  const std::int64_t a = std::max<std::int64_t>(left, 0);
  const std::int64_t b = std::min<std::int64_t>({sas.pageLength, right, EditableColumns(session)});
  if (a >= b || !SasEditable(session)) return DragCursor;
  drag.rangeFirst = static_cast<int>(a);
  drag.rangeEnd = static_cast<int>(b);
  return DragCursor | (upper ? DragRangeAmplitude : DragRangePitch);
}

// The drag a press in the SAS window starts by edit mode; the link modes act at once.
std::uint32_t SasPressState(Screen& screen, Commands& commands, platform::Platform& ports,
                            const Message& message) {
  const int x = message.pos.x;
  const int y = message.pos.y;
  const bool shift = message.shift;
  const bool upper = y < SplitterRow(screen.windows);
  const int plotTop = screen.windows.geometry[SasView].plotTop;
  switch (screen.windows.editMode) {
    case EditMode::SetTimeLink:
      // Clicks on the status strip or the ruler set a link; the plot moves the cursor.
      if (y >= plotTop) return DragCursor;
      SetTimeLink(screen, commands.flags, ports, x);
      return 0;
    case EditMode::DeleteTimeLink:
      if (y >= plotTop - 2 && y < SasAmplitudeBottom(screen.windows) + 3)
        DeleteTimeLink(screen, commands.flags, x, y);
      return 0;
    case EditMode::InRange:
      return InRangeState(screen.session, x, upper);
    case EditMode::Freehand:
      if (!SasEditable(screen.session)) return DragCursor;
      if (upper) return DragCursor | (shift ? DragLineAmplitude : DragFreeAmplitude);
      return DragCursor | (shift ? DragLinePitch : DragFreePitch);
    case EditMode::Erase:
      if (!SasEditable(screen.session)) return DragCursor;
      return DragCursor | (upper ? DragEraseAmplitude : DragErasePitch);
    case EditMode::Note:
      if (upper || !HasAll(commands.flags, SasOpen)) return DragCursor;
      return NotePress(commands, screen.windows, screen.session, ports, message);
    default:
      return DragCursor;
  }
}

void BeginRangeEdit(SasSession& session, int x, int y, bool shift) {
  MouseDrag& drag = session.mouse;
  const int a = drag.rangeFirst;
  const int n = drag.rangeEnd - drag.rangeFirst;
  drag.shape = std::clamp((x - a) * 3 / n, 0, 2);
  if (drag.state & DragRangeAmplitude) {
    ReadFollowingFrame(session);
    return;
  }
  if (shift) drag.shape += 3;
  drag.pressY = y;
  std::copy_n(session.sas.page.begin() + a, n, drag.backup.begin() + a);
  RangePitchWeights(drag.shape, std::span<double>(drag.weights.data(), static_cast<std::size_t>(n)));
}

void Release(App& app, bool shift);

void Press(App& app, int view, const Message& message) {
  MouseDrag& drag = app.session.mouse;
  // A press while a drag is held (its release went elsewhere) ends that drag first.
  if (drag.state != 0) Release(app, false);
  platform::WindowPort& port = app.ports.windows;
  ViewGeometry& geometry = app.windows.geometry[static_cast<std::size_t>(view)];
  const int x = message.pos.x;
  const int y = message.pos.y;
  drag.view = view;
  drag.editing = false;
  port.CaptureMouse(view);

  std::uint32_t state = 0;
  if (message.ctrl) {
    if (x < DataWidth(app.windows, app.session, view)) state = DragBand;
  } else if (view != SasView) {
    state = DragCursor;
  } else if (NearSplitter(app.windows, y)) {
    state = DragSplitter;
  } else {
    state = SasPressState(app.screen, app.commands, app.ports, message);
  }
  drag.state = state;
  drag.last = {x, y};

  if (state & DragBand) {
    geometry.dragAnchorX = x;
    geometry.dragCurrentX = x;
    geometry.rangeDragging = true;
    InvalidateBelowStatus(app.screen, view);
  }
  if (state & DragCursor) {
    geometry.cursorX = x;
    MoveCursor(app.screen, view);
  }
  if (state & DragSplitter) {
    app.windows.sasView.splitterDragging = true;
    app.windows.sasView.splitterRow = SplitterLimited(app.windows, y);
    DrawSplitterLine(app.windows, app.ports, app.windows.sasView.splitterRow);
  }
  if (state & (DragRangeAmplitude | DragRangePitch)) BeginRangeEdit(app.session, x, y, message.shift);
  if (state & FreehandStates) {
    const int column = std::clamp(x, 0, std::max(EditableColumns(app.session) - 1, 0));
    drag.span = {column, column};
    std::copy_n(app.session.sas.page.begin(), app.session.sas.pageCount, drag.backup.begin());
    ReadFollowingFrame(app.session);
  }
  if (state & DragEditBits) {
    SasEditBegin(app.session);
    drag.editing = true;
  }
}

void MoveBand(WindowStates& windows, SasSession& session, platform::Platform& ports, int view, int x) {
  ViewGeometry& geometry = windows.geometry[static_cast<std::size_t>(view)];
  const int before = geometry.dragCurrentX;
  const int width = ViewWidth(windows, view);
  geometry.dragCurrentX = std::max(std::min(std::min(x, DataWidth(windows, session, view)), width - 1), 0);
  // The band's edge columns on either side of the change, over the whole plot.
  const platform::Rect changed{std::min(before, geometry.dragCurrentX) - 1, geometry.plotTop,
                               std::max(before, geometry.dragCurrentX) + 1, geometry.plotBottom};
  ports.windows.Invalidate(view, &changed);
}

// Freehand and erase: the columns between the last point and this one.
void EditSpan(Screen& screen, std::uint32_t& flags, Point current) {
  MouseDrag& drag = screen.session.mouse;
  const std::uint32_t state = drag.state;
  const int columns = EditableColumns(screen.session);
  if (columns <= 0) return;
  Point from{std::clamp(drag.last.x, 0, columns - 1), drag.last.y};
  Point to{std::clamp(current.x, 0, columns - 1), current.y};
  if (from.x > to.x) std::swap(from, to);
  const int a = from.x;
  const int b = to.x;
  const bool freehand = (state & FreehandStates) != 0;
  ColumnSpan visit{a, b};
  if (freehand) visit = {std::min(a, drag.span.first), std::min(std::max(b, drag.span.last), columns - 1)};
  const bool line = (state & LineStates) != 0;
  const bool amplitude = (state & AmplitudeStates) != 0;
  NoteShownColumns(screen.session, visit);

  SasDocument& sas = screen.session.sas;
  const auto rowAt = [&](int k) {
    if (a == b) return std::int64_t{to.y};
    return std::int64_t{from.y} + (std::int64_t{to.y} - from.y) * (k - a) / (b - a);
  };
  if (state & (DragFreeAmplitude | DragLineAmplitude)) {
    const int bottom = SasAmplitudeBottom(screen.windows);
    // No negative amplitude: the press may lie on a row below the plot.
    from.y = std::min(from.y, bottom);
    const double scale = SasAmplitudeScale(screen.windows);
    if (!(scale > 0.0)) return;
    for (int k = visit.first; k <= visit.last; ++k) {
      SasFrame& frame = sas.page[static_cast<std::size_t>(k)];
      if (k >= a && k <= b) {
        const double wanted = static_cast<double>(bottom - rowAt(k)) / scale;
        frame.targetAmplitude = ClippedTargetAmplitude(wanted, frame, FollowingFrame(screen.session, k));
      } else if (line) {
        frame.targetAmplitude = drag.backup[static_cast<std::size_t>(k)].targetAmplitude;
      }
    }
  } else if (state & (DragFreePitch | DragLinePitch)) {
    const int bottom = screen.windows.geometry[SasView].plotBottom;
    const double scale = screen.windows.sasView.pitchScale;
    // The row of pitch 0, where the pitch pane draws it.
    const double zeroRow = bottom + SasPitchBase(screen.windows, SasPitchTop(screen.windows), bottom);
    for (int k = visit.first; k <= visit.last; ++k) {
      SasFrame& frame = sas.page[static_cast<std::size_t>(k)];
      if (k >= a && k <= b) {
        frame.targetPitch = PitchKeepingTimeCorrection(frame.targetPitch, (zeroRow - rowAt(k)) / scale);
      } else if (line) {
        frame.targetPitch = drag.backup[static_cast<std::size_t>(k)].targetPitch;
      }
    }
  } else if (state & DragEraseAmplitude) {
    for (int k = a; k <= b; ++k) {
      SasFrame& frame = sas.page[static_cast<std::size_t>(k)];
      frame.targetAmplitude = TruncatedTargetAmplitude(frame.Amplitude());
    }
  } else {
    for (int k = a; k <= b; ++k) {
      SasFrame& frame = sas.page[static_cast<std::size_t>(k)];
      frame.targetPitch = static_cast<std::uint16_t>((frame.sourcePitch & TargetPitchMask) |
                                                     (frame.targetPitch & TimeCorrectionOffBit));
    }
  }
  if (freehand) drag.span = {a, b};
  ShowEditedColumns(screen, flags, visit, amplitude);
}

// In Range, amplitude: each move scales by e per 100 rows upward, on top of the last move.
void ScaleRange(Screen& screen, std::uint32_t& flags, int y) {
  MouseDrag& drag = screen.session.mouse;
  if (y == drag.last.y) return;
  const int a = drag.rangeFirst;
  const int n = drag.rangeEnd - drag.rangeFirst;
  const double factor = std::exp((drag.last.y - y) * 0.01);
  NoteShownColumns(screen.session, {a, drag.rangeEnd - 1});
  ScaleRangeAmplitudes(std::span<SasFrame>(screen.session.sas.page.data() + a, static_cast<std::size_t>(n)),
                       FollowingFrame(screen.session, drag.rangeEnd - 1), drag.shape, factor);
  ShowEditedColumns(screen, flags, {a, drag.rangeEnd - 1}, true);
}

// In Range, pitch: the shift is measured from the press, so the press row gives the pitches
// of the press back.
void ShiftRange(Screen& screen, std::uint32_t& flags, int y) {
  MouseDrag& drag = screen.session.mouse;
  const double steps = std::trunc((y - drag.pressY) / screen.windows.sasView.pitchScale);
  NoteShownColumns(screen.session, {drag.rangeFirst, drag.rangeEnd - 1});
  for (int k = drag.rangeFirst; k < drag.rangeEnd; ++k) {
    const auto column = static_cast<std::size_t>(k);
    SasFrame& frame = screen.session.sas.page[column];
    const double pressed = drag.backup[column].targetPitch & TargetPitchMask;
    frame.targetPitch = PitchKeepingTimeCorrection(
        frame.targetPitch, pressed - steps * drag.weights[static_cast<std::size_t>(k - drag.rangeFirst)]);
  }
  ShowEditedColumns(screen, flags, {drag.rangeFirst, drag.rangeEnd - 1}, false);
}

void Move(Screen& screen, std::uint32_t& flags, platform::Platform& ports, int view, const Message& message) {
  ShowCursorShape(screen.windows, screen.session, ports, view, message);
  MouseDrag& drag = screen.session.mouse;
  const std::uint32_t state = drag.state;
  if (state == 0 || view != drag.view) return;
  Point current = message.pos;
  if (state & DragCursor) {
    screen.windows.geometry[static_cast<std::size_t>(view)].cursorX = current.x;
    MoveCursor(screen, view);
  }
  if (state & DragBand) MoveBand(screen.windows, screen.session, ports, view, current.x);
  // No negative amplitude: rows below the amplitude plot count as its bottom row.
  if (state & (DragFreeAmplitude | DragLineAmplitude))
    current.y = std::min(current.y, SasAmplitudeBottom(screen.windows));
  if (state & DragSplitter) {
    current.y = SplitterLimited(screen.windows, current.y);
    if (current.y != screen.windows.sasView.splitterRow) {
      DrawSplitterLine(screen.windows, ports, screen.windows.sasView.splitterRow);
      DrawSplitterLine(screen.windows, ports, current.y);
      screen.windows.sasView.splitterRow = current.y;
    }
  }
  if (state & SpanStates) EditSpan(screen, flags, current);
  if (state & DragRangeAmplitude) ScaleRange(screen, flags, current.y);
  if (state & DragRangePitch) ShiftRange(screen, flags, current.y);
  if (state & DragNote) NoteDragMove(screen.windows, screen.session, ports, message);
  // The straight-line variants keep the press point: each move draws from there.
  if (!(state & LineStates)) drag.last = current;
}

// The pitch plot centred on the note of the cursor's frame: its analysed pitch, or with Shift
// its target pitch.
void CentrePitchOnCursor(WindowStates& windows, SasSession& session, platform::Platform& ports, bool shift) {
  const int cursor = windows.geometry[SasView].cursorX;
  if (!HasAll(session.flags, SasOpen) || cursor < 0 || cursor >= session.sas.pageCount) return;
  const SasFrame& frame = session.sas.page[static_cast<std::size_t>(cursor)];
  const int pitch = shift ? frame.TargetPitch() : frame.sourcePitch;
  const int note = std::clamp((pitch + 50) / 100, 0, NoteColumns - 1);
  ScrollBarState& lower = windows.sasView.lower;
  if (NoteCount - 1 - note == lower.position) return;
  lower.position = NoteCount - 1 - note;
  SetVerticalBar(ports, SasView, platform::ScrollBar::SasLower, lower);
}

void EndBand(Screen& screen, Commands& commands, Configuration& config, DialogMemory& dialogs,
             platform::Platform& ports, int view) {
  ViewGeometry& geometry = screen.windows.geometry[static_cast<std::size_t>(view)];
  geometry.rangeDragging = false;
  geometry.selLeftX = std::min(geometry.dragAnchorX, geometry.dragCurrentX);
  geometry.selRightX = std::max(geometry.dragAnchorX, geometry.dragCurrentX);
  const auto left = static_cast<std::int64_t>(geometry.selLeftX);
  const auto right = static_cast<std::int64_t>(geometry.selRightX);
  switch (view) {
    case WavView: {
      WavDocument& wav = screen.docs.wav;
      const std::int64_t spp = screen.windows.wavView.samplesPerPixel;
      const std::int64_t first = screen.windows.wavView.firstSample;
      constexpr std::int64_t Largest = std::numeric_limits<std::uint32_t>::max();
      wav.rangeLeft = static_cast<std::uint32_t>(std::clamp<std::int64_t>(left * spp + first, 0, Largest));
      wav.rangeRight = static_cast<std::uint32_t>(
          std::clamp<std::int64_t>(std::min<std::int64_t>(right * spp + first, wav.sampleCount), 0, Largest));
      WavRangeChanged(commands, screen.docs, config);
      RepaintStatusValues(screen, WavView);
      break;
    }
    case SasView: {
      SasDocument& sas = screen.session.sas;
      const std::int64_t shown = sas.shownFrameCount;
      constexpr std::int64_t Largest = std::numeric_limits<std::int32_t>::max();
      sas.range.left = static_cast<std::int32_t>(std::clamp<std::int64_t>(left + sas.firstFrame, 0, Largest));
      sas.range.right = static_cast<std::int32_t>(
          std::clamp<std::int64_t>(std::min(right + sas.firstFrame, shown), 0, Largest));
      if (sas.range.right > sas.range.left) {
        commands.flags |= SasRangeSelected;
      } else {
        commands.flags &= ~static_cast<std::uint32_t>(SasRangeSelected);
      }
      // In Note mode the band also chooses the notes it touches.
      if (screen.windows.editMode == EditMode::Note)
        ChooseNotesInColumns(commands, screen.windows, screen.session, ports, geometry.selLeftX,
                             geometry.selRightX);
      UpdateCommandStates(commands);
      break;
    }
    case FftView:
      SetFftRangeFromBand(screen, commands.flags);
      break;
    default: {
      // The MFT band chooses the note range the analysis searches: User Defined.
      const std::int64_t width = screen.windows.clientRect[MftView].right + 1;
      const auto noteAt = [width](std::int64_t x) {
        return static_cast<int>(std::clamp<std::int64_t>(x * NoteColumns / width, 0, NoteCount - 1));
      };
      ChooseLowestNote(config.settings, noteAt(left));
      ChooseHighestNote(config.settings, noteAt(right));
      RefreshNoteSpectrum(screen.windows, screen.docs, config, commands.flags, ports);
      if (dialogs.settingsDialog != nullptr) FillSettingsControls(config, *dialogs.settingsDialog);
      break;
    }
  }
  InvalidateBelowStatus(screen, view);
}

void EndSplitter(WindowStates& windows, platform::Platform& ports) {
  view::SasView& sasView = windows.sasView;
  sasView.splitterDragging = false;
  windows.upperPaneHeight = sasView.splitterRow - windows.metrics.toolbarHeight;
  windows.lowerPaneHeight = ClientHeight(windows) - windows.metrics.toolbarHeight - windows.upperPaneHeight;
  PlaceSasPaneControls(windows, ports);
  ports.windows.Invalidate(SasView, nullptr);
}

void Release(App& app, bool shift) {
  MouseDrag& drag = app.session.mouse;
  const std::uint32_t state = drag.state;
  const int view = drag.view;
  if (state & (DragCursor | DragEditBits)) {
    if (view == SasView) {
      CentrePitchOnCursor(app.windows, app.session, app.ports, shift);
      app.windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
      app.ports.windows.Invalidate(SasView, &app.windows.clientRect[SasView]);
    } else if (view == WavView) {
      FollowCursor(app.commands, app.docs, app.config, app.ports);
    }
  }
  if (state & DragBand) EndBand(app.screen, app.commands, app.config, app.dialogs, app.ports, view);
  if (state & DragSplitter) EndSplitter(app.windows, app.ports);
  if (drag.editing) {
    drag.editing = false;
    SasEditEnd(app.session);
  }
  drag.state = 0;
  app.ports.windows.ReleaseMouse();
  // The notes move through the file once the drag is over, like every other change made there.
  if (state & DragNote) NoteDragEnd(app.commands, app.session, app.dialogs, app.ports);
}

}  // namespace

void EndMouseDrag(App& app) {
  if (MouseDragHeld(app.session)) Release(app, false);
}

void ShowEditMode(Screen& screen, std::uint32_t& flags, platform::Platform& ports) {
  platform::WindowPort& windows = ports.windows;
  // Every mode's button and item is set, not only the old and the new one: a click the window
  // system took as a toggle is undone by the same call.
  for (const EditModeRow& row : EditModes) {
    windows.SetButtonChecked(SasView, Id(row.command), row.mode == screen.windows.editMode);
    windows.SetMenuItemChecked(Id(row.command), row.mode == screen.windows.editMode);
  }
  if (HasAll(flags, SasOpen)) RepaintStatusValues(screen, SasView);
}

void SasMouse(App& app, int view, const Message& message) {
  if (view < 0 || view >= ViewCount) return;
  switch (message.kind) {
    case MessageKind::LeftDown:
      Press(app, view, message);
      break;
    case MessageKind::MouseMove:
      Move(app.screen, app.flags, app.ports, view, message);
      break;
    case MessageKind::LeftUp:
      // Also after a press that started no drag: the capture ends.
      Release(app, message.shift);
      break;
    default:
      break;
  }
}

namespace {

// The edit modes; each has its cursor in the cursor table. Note mode draws the pitch pane its
// own way, so entering or leaving it draws the pane again.
void SetEditMode(Screen& screen, Commands& commands, platform::Platform& ports, CommandId command) {
  const EditModeRow& mode = EditModeOf(command);
  if ((mode.mode == EditMode::Note) != (screen.windows.editMode == EditMode::Note)) {
    screen.windows.redraw |= SasLowerBandRedraw;
    ports.windows.Invalidate(SasView, nullptr);
  }
  screen.windows.editMode = mode.mode;
  ports.windows.SetCursor(mode.cursor);
  ShowEditMode(screen, commands.flags, ports);
  UpdateCommandStates(commands);
}

// A mode's menu item (in the Edit Mode radio group), key and toolbar button.
constexpr CommandEntry ModeEntry(CommandId id, std::string_view label, CommandKey key,
                                 std::string_view tooltip, int image) {
  return {.id = id,
          .label = label,
          .key = key,
          .tooltip = tooltip,
          .image = image,
          .handler = [](App& app, int,
                        CommandId command) { SetEditMode(app.screen, app.commands, app.ports, command); },
          .required = SasOpen};
}

constexpr CommandEntry Entries[] = {
    ModeEntry(CommandId::NormalMode, "&Normal", Accelerator(platform::key::Escape), "Pointer", 11),
    ModeEntry(CommandId::SetTimeLinkMode, "Set &Time Link", Accelerator(platform::key::F1), "Set Time Link",
              12),
    ModeEntry(CommandId::DeleteTimeLinkMode, "&Delete Time Link", Accelerator(platform::key::F1 + 1),
              "Delete Time Link", 13),
    ModeEntry(CommandId::InRangeMode, "&In Range", Accelerator(platform::key::F1 + 2), "Range Edit", 14),
    ModeEntry(CommandId::FreehandMode, "&Freehand", Accelerator(platform::key::F1 + 3), "Free Hand Edit", 15),
    ModeEntry(CommandId::EraseMode, "&Erase", Accelerator(platform::key::F1 + 4), "Erase Correction", 16),
    ModeEntry(CommandId::NoteMode, "No&te", Accelerator(platform::key::F1 + 5), "Note Edit", 43),
};

}  // namespace

std::span<const CommandEntry> SasMouseCommandEntries() { return Entries; }

}  // namespace vocara
