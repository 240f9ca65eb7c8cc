#include "program/views/FftView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "program/shell/App.h"
#include "program/views/Scrolling.h"

namespace vocara {
namespace {

constexpr int HorizontalBarMax = 32768;
constexpr double AmplitudePerPlotRow = 3.3333333333333333e-6;

}  // namespace

double FftAmplitudeScale(const WindowStates& windows) {
  const ViewGeometry& geometry = windows.geometry[FftView];
  return std::exp(-windows.fftView.vertical.position * 0.001) * (geometry.plotBottom - geometry.plotTop) *
         AmplitudePerPlotRow;
}

void FftViewHorizontalScrollUpdate(WindowStates& windows, platform::Platform& ports) {
  view::FftView& view = windows.fftView;
  const std::int64_t total = view.totalPixels;
  const int width = ViewWidth(windows, FftView);
  view.firstPixel = static_cast<std::int32_t>(
      std::max<std::int64_t>(std::min<std::int64_t>(view.firstPixel, total - width), 0));
  view.track.position = total > 0 ? static_cast<double>(view.firstPixel) / total : 0.0;
  view.track.page = total > 0 ? static_cast<double>(width) / total : 1.0;
  view.track.line = view.track.page * 0.1;
  SetHorizontalBar(ports, FftView, view.track, HorizontalBarMax);
}

void FftViewSetScale(WindowStates& windows, platform::Platform& ports, double pixelsPerBin,
                     std::uint32_t oldSize, std::uint32_t newSize) {
  view::FftView& view = windows.fftView;
  const std::int64_t bins = std::int64_t{newSize} / 2 + 1;
  // Zooming in doubles without end; the axis stops where totalPixels would leave 31 bits.
  const double largest = std::floor(static_cast<double>(std::numeric_limits<std::int32_t>::max()) / bins);
  const double scale = std::min(std::max(pixelsPerBin, 1.0), largest);
  const double ratio = oldSize > 0 ? static_cast<double>(newSize) / oldSize : 1.0;
  const int cursorX = windows.geometry[FftView].cursorX;
  const double first = std::trunc((cursorX + static_cast<double>(view.firstPixel)) * ratio * scale /
                                      std::max(view.pixelsPerBin, 1) -
                                  cursorX);
  view.firstPixel = static_cast<std::int32_t>(
      std::clamp(first, 0.0, static_cast<double>(std::numeric_limits<std::int32_t>::max())));
  view.pixelsPerBin = static_cast<std::int32_t>(scale);
  view.totalPixels = static_cast<std::uint32_t>(bins * view.pixelsPerBin);
  windows.geometry[FftView].dataWidth = static_cast<int>(view.totalPixels - 1);
  FftViewHorizontalScrollUpdate(windows, ports);
}

void FftViewZoom(WindowStates& windows, platform::Platform& ports, double factor) {
  const std::uint32_t size = windows.spectrum.fftSize;
  const double scale = factor > 0 ? windows.fftView.pixelsPerBin * factor : 1.0;
  FftViewSetScale(windows, ports, scale, size, size);
  ports.windows.Invalidate(FftView, nullptr);
}

}  // namespace vocara
