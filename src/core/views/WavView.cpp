#include "views/WavView.h"

#include <algorithm>

#include "shell/App.h"

namespace vocara {

void WavViewFitWholeFile(App& app) {
  view::WavView& wavView = app.wavView;
  // The minimum window width keeps width - 1 well above 0; the floor of 1 only guards it.
  const int width = app.clientRect[WavView].right;
  const auto columns = static_cast<std::uint32_t>(std::max(width - 1, 1));
  wavView.samplesPerPixel = std::max<std::uint32_t>(app.wav.sampleCount / columns, 1);
  wavView.firstSample = 0;
  app.geometry[WavView].dataWidth = static_cast<int>(app.wav.sampleCount / wavView.samplesPerPixel);
  app.ports.windows.Invalidate(WavView, nullptr);
}

void WavViewResetScrollBars(App& app) {
  platform::WindowPort& windows = app.ports.windows;
  windows.SetScrollInfo(WavView, platform::ScrollBar::Horizontal, platform::ScrollInfo{0, 10000, 10001, 0},
                        true);
  windows.SetScrollInfo(WavView, platform::ScrollBar::Vertical, platform::ScrollInfo{0, 10000, 10001, 0},
                        true);
}

}  // namespace vocara
