// The four windows: titles, default screen rectangles and track-size limits, by view.
#pragma once

#include <array>
#include <string_view>

#include "base/Geometry.h"

namespace vocara {

enum ViewId : int { WavView = 0, SasView = 1, FftView = 2, MftView = 3 };
inline constexpr int ViewCount = 4;

struct WindowTableEntry {
  std::string_view title;
  platform::Rect defaultRect;  // left, top, right, bottom in screen pixels
  platform::Size minTrack;
  bool horizontalScrollBar;
  bool verticalScrollBar;
};

inline constexpr platform::Size MaxTrackSize{1280, 1024};

inline constexpr std::array<WindowTableEntry, ViewCount> WindowTable{{
    {"WAV", {0, 0, 640, 200}, {500, 150}, true, true},
    {"SAS", {0, 200, 640, 450}, {510, 250}, true, false},
    {"FFT", {286, 200, 640, 370}, {300, 150}, true, true},
    {"MFT", {0, 200, 286, 370}, {286, 170}, false, false},
}};

}  // namespace vocara
