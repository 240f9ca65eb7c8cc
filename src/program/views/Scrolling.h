// Scroll bars, scroll messages and the mouse wheel of the WAV, SAS and FFT windows.
//
// Horizontal: each window keeps its bar as fractions of the whole extent (ScrollTrack); a
// message moves the position fraction by a line or a page, or to the thumb, stops it at
// 1 - page (the view's end, where the last item stands in the last column) and at 0, and turns
// it into the first sample, frame or spectrum pixel. Vertical: the bars hold positions
// 0 .. max - page + 1 and scale the value axis (WAV), the amplitude and pitch panes (SAS, one
// control each) and the spectrum bars (FFT). The wheel is a vertical line step.
#pragma once

#include <cstdint>

#include "platform/Message.h"
#include "platform/Platform.h"
#include "program/shell/ViewGeometry.h"

namespace vocara {

struct Screen;

// Shows a track on the window's horizontal bar: position x max and page x max + 1 (a page that
// covers everything gives max + 1 and a disabled bar).
void SetHorizontalBar(platform::Platform& ports, int view, const ScrollTrack& track, int max);
void SetVerticalBar(platform::Platform& ports, int view, platform::ScrollBar bar,
                    const ScrollBarState& state);

// Horizontal and vertical scroll messages; the window procedure passes them while not busy.
void HandleScroll(Screen& screen, std::uint32_t& flags, platform::Platform& ports, int view,
                  const platform::Message& message);
// A wheel notch: +120 is a line up, anything else a line down; in the SAS window the pane under
// the pointer (screen coordinates) takes it. The MFT window has nothing to scroll.
void HandleWheel(App& app, int view, platform::Point screen, int delta);

}  // namespace vocara
