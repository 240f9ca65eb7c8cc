#include "program/views/Scrolling.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/SasSession.h"
#include "program/views/Render.h"
#include "program/views/SasView.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

using platform::Message;
using platform::ScrollBar;
using platform::ScrollCode;

constexpr int WheelNotch = 120;

struct HorizontalBar {
  ScrollTrack* track;
  int max;
};

HorizontalBar HorizontalBarOf(WindowStates& windows, int view) {
  switch (view) {
    case WavView:
      return {&windows.wavView.track, 10000};
    case SasView:
      return {&windows.sasView.track, 10000};
    case FftView:
      return {&windows.fftView.track, 32768};
    default:
      return {nullptr, 0};
  }
}

ScrollBarState* VerticalBarOf(WindowStates& windows, int view, ScrollBar bar) {
  if (view == WavView && bar == ScrollBar::Vertical) return &windows.wavView.vertical;
  if (view == FftView && bar == ScrollBar::Vertical) return &windows.fftView.vertical;
  if (view == SasView && bar == ScrollBar::SasUpper) return &windows.sasView.upper;
  if (view == SasView && bar == ScrollBar::SasLower) return &windows.sasView.lower;
  return nullptr;
}

// The first item for a position fraction: at the end, the one that puts the last item in the
// last column; otherwise the fraction of the count. Never below 0 (an extent shorter than the
// window is at its end from the start) and never past the count.
std::int64_t FirstItem(double count, double itemsPerWindow, double fraction, bool atEnd) {
  const double first = atEnd ? count - itemsPerWindow : std::trunc(count * fraction);
  return static_cast<std::int64_t>(std::clamp(first, 0.0, count));
}

void HorizontalScroll(Screen& screen, std::uint32_t& flags, platform::Platform& ports, int view,
                      const Message& message) {
  const HorizontalBar bar = HorizontalBarOf(screen.windows, view);
  if (bar.track == nullptr) return;
  // The SAS page fraction follows from the width and the frame count alone; one that no longer
  // matches them means the frames changed (a SAS was opened or closed) without the update, so
  // the track is taken from the document first.
  if (view == SasView &&
      screen.windows.sasView.track.page != SasViewPageFraction(screen.windows, screen.session))
    SasViewHorizontalScrollUpdate(screen.windows, screen.session, ports);
  if (message.scrollCode == ScrollCode::ThumbPosition || message.scrollCode == ScrollCode::EndScroll) return;
  ScrollTrack& track = *bar.track;
  double position = track.position;
  switch (message.scrollCode) {
    case ScrollCode::LineUp:
      position -= track.line;
      break;
    case ScrollCode::LineDown:
      position += track.line;
      break;
    case ScrollCode::PageUp:
      position -= track.page;
      break;
    case ScrollCode::PageDown:
      position += track.page;
      break;
    case ScrollCode::ThumbTrack:
      // The tracked position arrives as an unsigned 16-bit value.
      position = static_cast<std::uint16_t>(message.scrollPos) / static_cast<double>(bar.max);
      break;
    default:
      break;
  }
  bool atEnd = false;
  if (position >= 1.0 - track.page) {
    position = 1.0 - track.page;
    atEnd = true;
  }
  if (position < 0.0) position = 0.0;
  track.position = position;

  const int width = ViewWidth(screen.windows, view);
  switch (view) {
    case WavView: {
      view::WavView& wavView = screen.windows.wavView;
      wavView.firstSample = static_cast<std::uint32_t>(
          FirstItem(screen.docs.wav.sampleCount, static_cast<double>(wavView.samplesPerPixel) * width,
                    position, atEnd));
      WavViewEnvelopePass(screen.windows, screen.docs);
      break;
    }
    case SasView: {
      // The page is about to be replaced: pending edits go to the file first.
      const bool open = HasAll(flags, SasOpen);
      if (open) SasWriteBack(screen.session);
      // firstFrame is a signed 32-bit frame index; a count beyond that stops at its largest.
      screen.session.sas.firstFrame = static_cast<std::int32_t>(
          std::min<std::int64_t>(FirstItem(screen.session.sas.shownFrameCount, width, position, atEnd),
                                 std::numeric_limits<std::int32_t>::max()));
      if (open) SasReadPage(screen.session);
      SasViewSetDataWidth(screen.windows, screen.session);
      screen.windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
      break;
    }
    default:
      screen.windows.fftView.firstPixel =
          static_cast<std::int32_t>(FirstItem(screen.windows.fftView.totalPixels, width, position, atEnd));
      break;
  }
  RepaintStatusValues(screen, view);
  InvalidateBelowStatus(screen, view);
  SetHorizontalBar(ports, view, track, bar.max);
}

void VerticalScroll(Screen& screen, platform::Platform& ports, int view, const Message& message) {
  ScrollBarState* state = VerticalBarOf(screen.windows, view, message.bar);
  if (state == nullptr) return;
  if (message.scrollCode == ScrollCode::ThumbPosition || message.scrollCode == ScrollCode::EndScroll) return;
  int position = state->position;
  switch (message.scrollCode) {
    case ScrollCode::LineUp:
      position -= state->line;
      break;
    case ScrollCode::LineDown:
      position += state->line;
      break;
    case ScrollCode::PageUp:
      position -= state->page;
      break;
    case ScrollCode::PageDown:
      position += state->page;
      break;
    case ScrollCode::ThumbTrack:
      position = message.scrollPos;
      break;
    default:
      break;
  }
  state->position = std::clamp(position, 0, std::max(state->max - state->page + 1, 0));

  const ViewGeometry& geometry = screen.windows.geometry[static_cast<std::size_t>(view)];
  const int right = screen.windows.clientRect[static_cast<std::size_t>(view)].right;
  platform::WindowPort& windows = ports.windows;
  if (view == WavView) {
    screen.windows.wavView.valueOffset = WavOffsetOfBar(state->page, state->position);
  }
  platform::Rect plot{0, geometry.plotTop, right, geometry.plotBottom};
  if (message.bar == ScrollBar::SasUpper) {
    screen.windows.redraw |= SasUpperBandRedraw;
    plot.bottom = SasAmplitudeBottom(screen.windows);
  } else if (message.bar == ScrollBar::SasLower) {
    screen.windows.redraw |= SasLowerBandRedraw;
    plot.top = SasPitchTop(screen.windows);
  }
  windows.Invalidate(view, &plot);
  SetVerticalBar(ports, view, message.bar, *state);
  if (view == SasView) RepaintStatusValues(screen, view);
}

}  // namespace

void SetHorizontalBar(platform::Platform& ports, int view, const ScrollTrack& track, int max) {
  const double top = max;
  const double position = std::clamp(std::trunc(track.position * max), 0.0, top);
  // A window wider than a short extent has a page fraction above 1; the bar takes at most
  // max + 1, which shows it disabled.
  const double page = std::clamp(std::trunc(track.page * max + 1), 0.0, top + 1);
  ports.windows.SetScrollInfo(
      view, ScrollBar::Horizontal,
      platform::ScrollInfo{0, max, static_cast<int>(page), static_cast<int>(position)}, true);
}

void SetVerticalBar(platform::Platform& ports, int view, ScrollBar bar, const ScrollBarState& state) {
  ports.windows.SetScrollInfo(view, bar, platform::ScrollInfo{0, state.max, state.page, state.position},
                              true);
}

void HandleScroll(Screen& screen, std::uint32_t& flags, platform::Platform& ports, int view,
                  const Message& message) {
  if (message.kind == platform::MessageKind::HScroll) {
    HorizontalScroll(screen, flags, ports, view, message);
  } else {
    VerticalScroll(screen, ports, view, message);
  }
}

void HandleWheel(App& app, int view, platform::Point screen, int delta) {
  if (view != WavView && view != SasView && view != FftView) return;
  Message message;
  message.kind = platform::MessageKind::VScroll;
  message.scrollCode = delta == WheelNotch ? ScrollCode::LineUp : ScrollCode::LineDown;
  message.bar = ScrollBar::Vertical;
  if (view == SasView) {
    const platform::Point origin = app.ports.windows.ClientToScreen(SasView, {0, 0});
    const int row = screen.y - origin.y;
    message.bar = row >= app.windows.metrics.toolbarHeight + app.windows.upperPaneHeight
                      ? ScrollBar::SasLower
                      : ScrollBar::SasUpper;
  }
  VerticalScroll(app.screen, app.ports, view, message);
}

}  // namespace vocara
