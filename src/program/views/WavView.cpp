#include "program/views/WavView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/views/Scrolling.h"

namespace vocara {
namespace {

using platform::ScrollBar;

constexpr int HorizontalBarMax = 10000;
constexpr int VerticalBarMax = 10000;
// Plot pixels per left-aligned unit at the smallest scale, per row: 1 / (2^32 - 1).
constexpr double PerFullRange = 2.3283064370807974e-10;
constexpr double FullRange = 4294967295.0;

std::int32_t SaturateToInt32(double value) {
  if (!(value > std::numeric_limits<std::int32_t>::min())) return std::numeric_limits<std::int32_t>::min();
  if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

void FillFromOverview(WindowStates& windows, OpenDocuments& docs, int width) {
  view::WavView& view = windows.wavView;
  const WavDocument& wav = docs.wav;
  const std::uint64_t factor = std::max<std::uint32_t>(wav.overviewFactor, 1);
  const std::uint64_t entries = std::min<std::size_t>(wav.overviewLength, wav.overview.size());
  const std::uint64_t spp = view.samplesPerPixel;
  const std::uint64_t first = view.firstSample;
  std::int32_t lowest = std::numeric_limits<std::int32_t>::max();
  std::int32_t highest = std::numeric_limits<std::int32_t>::min();
  for (int x = 0; x <= width; ++x) {
    const auto column = static_cast<std::uint64_t>(x);
    // Columns past the data cover no entry and keep the empty pair.
    const std::uint64_t begin = std::min((first + column * spp) / factor, entries);
    const std::uint64_t end = std::min((first + (column + 1) * spp) / factor, entries);
    SamplePair pair{std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()};
    for (std::uint64_t i = begin; i < end; ++i) {
      pair.min = std::min(pair.min, wav.overview[i].min);
      pair.max = std::max(pair.max, wav.overview[i].max);
    }
    view.envelope[static_cast<std::size_t>(x)] = pair;
    lowest = std::min(lowest, pair.min);
    highest = std::max(highest, pair.max);
  }
  view.envelopeMin = lowest;
  view.envelopeMax = highest;
}

}  // namespace

std::int32_t WavOffsetOfBar(int page, int position) {
  // The largest position with a page of 1 lies a hair beyond full scale, hence the saturation.
  return SaturateToInt32(
      std::trunc((page * 0.5 + position - VerticalBarMax * 0.5) * FullRange / VerticalBarMax));
}

int WavRowOfValue(double value, std::int32_t valueOffset, double valueScale, int plotTop, int plotBottom) {
  const int mid = (plotTop + plotBottom + 1) / 2;
  const double row = std::trunc(mid - (value + valueOffset) * valueScale);
  return static_cast<int>(std::clamp(row, static_cast<double>(plotTop), static_cast<double>(plotBottom)));
}

double WavMinimumValueScale(const WindowStates& windows) {
  const ViewGeometry& geometry = windows.geometry[WavView];
  return (geometry.plotBottom - geometry.plotTop - 4) * PerFullRange;
}

double WavMaximumValueScale(const OpenDocuments& open) { return open.wav.amplitudeScale; }

void WavViewEnvelopePass(WindowStates& windows, OpenDocuments& docs) {
  view::WavView& view = windows.wavView;
  WavDocument& wav = docs.wav;
  const int width = ViewWidth(windows, WavView);
  view.samplesPerPixel = std::max<std::uint32_t>(view.samplesPerPixel, 1);
  const std::uint32_t spp = view.samplesPerPixel;

  const double last = static_cast<double>(wav.sampleCount) - static_cast<double>(spp) * width;
  view.firstSample = static_cast<std::uint32_t>(std::max(0.0, std::min<double>(view.firstSample, last)));
  const std::uint32_t columns = (wav.sampleCount - view.firstSample) / spp;
  // A file of more than 2^31 columns (2^32 - 1 samples at 1 per column) saturates; drawing
  // takes at most 1280 of them anyway.
  windows.geometry[WavView].dataWidth =
      static_cast<int>(std::min<std::uint32_t>(columns, std::numeric_limits<std::int32_t>::max()));

  if (spp < wav.overviewFactor && wav.file.IsOpen()) {
    const ScanResult scanned =
        WavScanBlocks(wav, view.firstSample, spp, static_cast<std::uint32_t>(width), view.envelope);
    view.envelopeMin = scanned.dataMin;
    view.envelopeMax = scanned.dataMax;
  } else {
    FillFromOverview(windows, docs, width);
  }
}

void WavViewHorizontalScrollUpdate(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  view::WavView& view = windows.wavView;
  const double count = docs.wav.sampleCount;
  const int width = ViewWidth(windows, WavView);
  view.track.position = count > 0 ? view.firstSample / count : 0.0;
  view.track.page = count > 0 ? static_cast<double>(width) * view.samplesPerPixel / count : 1.0;
  view.track.line = view.track.page * 0.1;
  SetHorizontalBar(ports, WavView, view.track, HorizontalBarMax);
}

void WavViewVerticalScrollUpdate(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  view::WavView& view = windows.wavView;
  const double minimum = WavMinimumValueScale(windows);
  view.valueScale = std::max(std::min(view.valueScale, WavMaximumValueScale(docs)), minimum);

  // 10000 x minimum / scale lies in (0, 10000] for a usable plot; a plot of fewer than 4 rows
  // (or a scale of 0 before any file) gives no sensible ratio and shows the whole range.
  double page = std::trunc(VerticalBarMax * minimum / view.valueScale);
  if (!(page >= 1.0)) page = 1.0;
  page = std::min(page, static_cast<double>(VerticalBarMax + 1));
  ScrollBarState& bar = view.vertical;
  bar.max = VerticalBarMax;
  bar.page = static_cast<int>(page);
  bar.line = std::max(static_cast<int>(bar.page * 0.1), 1);
  const double position = (view.valueOffset * PerFullRange + 0.5) * VerticalBarMax - bar.page / 2;
  const double last = VerticalBarMax - bar.page + 1;
  bar.position = static_cast<int>(std::clamp(position, 0.0, last));
  SetVerticalBar(ports, WavView, ScrollBar::Vertical, bar);
  // The bar has 10000 steps for the whole 32-bit range, 429497 units each: at a large scale a
  // step is hundreds of rows, so an offset taken back from the bar would put a fitted signal
  // (or silence) far off the middle. The offset therefore follows the bar only where the bar
  // had to stop it at an end of the range.
  if (position < 0.0 || position > last) view.valueOffset = WavOffsetOfBar(bar.page, bar.position);
}

void WavViewValueFit(WindowStates& windows, OpenDocuments& docs) {
  view::WavView& view = windows.wavView;
  const ViewGeometry& geometry = windows.geometry[WavView];
  // Silence (minimum = maximum) takes the largest scale; so does a pass that found no sample
  // at all (minimum above maximum), which would otherwise give a negative scale.
  if (view.envelopeMax > view.envelopeMin) {
    view.valueScale = (geometry.plotBottom - geometry.plotTop - 4) / (view.envelopeMax - view.envelopeMin);
  } else {
    view.valueScale = WavMaximumValueScale(docs);
  }
  view.valueOffset = SaturateToInt32(std::trunc(-(view.envelopeMin + view.envelopeMax) * 0.5));
}

void WavViewRecentre(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports,
                     std::uint32_t samplesPerPixel) {
  view::WavView& view = windows.wavView;
  const WavDocument& wav = docs.wav;
  const auto width = static_cast<std::uint32_t>(ViewWidth(windows, WavView));
  const std::uint32_t spp = std::max<std::uint32_t>(samplesPerPixel, 1);
  view.samplesPerPixel = spp;
  double first = static_cast<double>(wav.cursor) - static_cast<double>(width / 2) * spp;
  first = std::min(first, static_cast<double>(wav.sampleCount) - static_cast<double>(width) * spp);
  first = std::max(first, 0.0);
  view.firstSample = static_cast<std::uint32_t>(first);
  // first <= cursor here, so the unsigned difference cannot wrap. The column is kept as a
  // signed 16-bit value on purpose: every window is far narrower.
  const auto column = static_cast<std::int16_t>((wav.cursor - view.firstSample) / spp);
  ViewGeometry& geometry = windows.geometry[WavView];
  geometry.cursorX = column;
  geometry.drawnCursorX = column;
  WavViewEnvelopePass(windows, docs);
  WavViewHorizontalScrollUpdate(windows, docs, ports);
  ports.windows.Invalidate(WavView, nullptr);
}

void WavViewFitWholeFile(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  view::WavView& view = windows.wavView;
  const int width = ViewWidth(windows, WavView);
  // The minimum window width keeps width - 1 well above 0; the floor of 1 only guards it.
  const auto columns = static_cast<std::uint32_t>(std::max(width - 1, 1));
  view.samplesPerPixel = std::max<std::uint32_t>(docs.wav.sampleCount / columns, 1);
  view.firstSample = 0;
  WavViewEnvelopePass(windows, docs);
  WavViewHorizontalScrollUpdate(windows, docs, ports);
  WavViewValueFit(windows, docs);
  WavViewVerticalScrollUpdate(windows, docs, ports);
  ports.windows.Invalidate(WavView, nullptr);
}

void WavViewResetScrollBars(WindowStates& windows, platform::Platform& ports) {
  view::WavView& view = windows.wavView;
  view.track = view::WavView{}.track;
  view.vertical = view::WavView{}.vertical;
  platform::WindowPort& port = ports.windows;
  port.SetScrollInfo(WavView, ScrollBar::Horizontal, platform::ScrollInfo{0, 10000, 10001, 0}, true);
  port.SetScrollInfo(WavView, ScrollBar::Vertical, platform::ScrollInfo{0, 10000, 10001, 0}, true);
}

namespace {

// All divisions here are unsigned integer divisions; width - 1 and width are kept at least 1.
std::uint32_t FitAllScale(const WindowStates& windows, const OpenDocuments& docs) {
  const auto width = static_cast<std::uint32_t>(ViewWidth(windows, WavView));
  return docs.wav.sampleCount / (width > 1 ? width - 1 : 1);
}

void ValueScaleChanged(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  WavViewVerticalScrollUpdate(windows, docs, ports);
  ports.windows.Invalidate(WavView, nullptr);
}

void OnePointPerFrame(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  WavViewRecentre(windows, docs, ports, 1);
}

// Fit all, centred on the middle of the file.
void FitAll(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  docs.wav.cursor = docs.wav.sampleCount / 2;
  WavViewRecentre(windows, docs, ports, FitAllScale(windows, docs));
}

// Fit the selection, centred on its middle.
void FitSelection(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  WavDocument& wav = docs.wav;
  const auto width = static_cast<std::uint32_t>(ViewWidth(windows, WavView));
  wav.cursor = static_cast<std::uint32_t>((std::uint64_t{wav.rangeLeft} + wav.rangeRight) / 2);
  WavViewRecentre(windows, docs, ports, (wav.rangeRight - wav.rangeLeft) / std::max<std::uint32_t>(width, 1));
}

// Twice as many samples per column, never beyond the fit-all scale.
void TimeSqueeze(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  WavViewRecentre(windows, docs, ports,
                  static_cast<std::uint32_t>(std::min<std::uint64_t>(
                      2 * std::uint64_t{windows.wavView.samplesPerPixel}, FitAllScale(windows, docs))));
}

// Half as many; at one sample per column there is nothing to stretch.
void TimeStretch(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  const std::uint32_t half = windows.wavView.samplesPerPixel >> 1;
  if (half != 0) WavViewRecentre(windows, docs, ports, half);
}

// The SAS frame length: one frame per column, as the SAS window shows it.
void TimeScaleOfSas(WindowStates& windows, SasSession& session, OpenDocuments& docs,
                    platform::Platform& ports) {
  WavViewRecentre(windows, docs, ports, session.sas.header.frameLength);
}

void ValueScaleLargest(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  windows.wavView.valueScale = WavMaximumValueScale(docs);
  ValueScaleChanged(windows, docs, ports);
}

void ValueFit(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  WavViewValueFit(windows, docs);
  ValueScaleChanged(windows, docs, ports);
}

void ValueSqueeze(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  windows.wavView.valueScale *= 0.5;
  ValueScaleChanged(windows, docs, ports);
}

void ValueStretch(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  windows.wavView.valueScale *= 2.0;
  ValueScaleChanged(windows, docs, ports);
}

void ShowAll(WindowStates& windows, OpenDocuments& docs, platform::Platform& ports) {
  FitAll(windows, docs, ports);
  ValueFit(windows, docs, ports);
}

// A command of the WAV window's scales as the table runs it: each works on the window states and
// the recording, and shows the change through the ports.
using WavScaleCommand = void (*)(WindowStates&, OpenDocuments&, platform::Platform&);
template <WavScaleCommand Command>
void Scaled(App& app, int, CommandId) {
  Command(app.windows, app.docs, app.ports);
}

// The time and value scales of the WAV window.
constexpr CommandEntry Entries[] = {
    {.id = CommandId::TimeScaleOnePerFrame,
     .tooltip = "Set Time Scale = 1 Point per Frame",
     .image = 6,
     .handler = Scaled<OnePointPerFrame>,
     .required = WavOpen},
    {.id = CommandId::TimeScaleFitAll,
     .tooltip = "Set Time Scale to Fit All",
     .image = 7,
     .handler = Scaled<FitAll>,
     .required = WavOpen},
    {.id = CommandId::TimeScaleFitSelection,
     .tooltip = "Set Time Scale to Fit Selection",
     .image = 33,
     .handler = Scaled<FitSelection>,
     .required = WavOpen | WavRangeSelected},
    {.id = CommandId::TimeSqueeze,
     .key = WindowKey(platform::key::PageDown, In(WavView)),
     .tooltip = "Time Squeeze",
     .image = 5,
     .handler = Scaled<TimeSqueeze>,
     .required = WavOpen},
    {.id = CommandId::TimeStretch,
     .key = WindowKey(platform::key::PageUp, In(WavView)),
     .tooltip = "Time Stretch",
     .image = 4,
     .handler = Scaled<TimeStretch>,
     .required = WavOpen},
    {.id = CommandId::TimeScaleOfSas,
     .tooltip = "Set Time Scale = Time Scale in SAS",
     .image = 34,
     .handler = [](App& app, int,
                   CommandId) { TimeScaleOfSas(app.windows, app.session, app.docs, app.ports); },
     .required = WavOpen | SasOpen | WavSasMatch},
    {.id = CommandId::ValueScaleLargest, .handler = Scaled<ValueScaleLargest>, .required = WavOpen},
    {.id = CommandId::ValueFit,
     .tooltip = "Value Fit to Window",
     .image = 10,
     .handler = Scaled<ValueFit>,
     .required = WavOpen},
    {.id = CommandId::ValueSqueeze,
     .key = WindowKey(platform::key::Down, In(WavView)),
     .tooltip = "Value Squeeze",
     .image = 9,
     .handler = Scaled<ValueSqueeze>,
     .required = WavOpen},
    {.id = CommandId::ValueStretch,
     .key = WindowKey(platform::key::Up, In(WavView)),
     .tooltip = "Value Stretch",
     .image = 8,
     .handler = Scaled<ValueStretch>,
     .required = WavOpen},
    {.id = CommandId::ShowAll,
     .tooltip = "Show All",
     .image = 37,
     .handler = Scaled<ShowAll>,
     .required = WavOpen},
};

}  // namespace

std::span<const CommandEntry> WavViewCommandEntries() { return Entries; }

}  // namespace vocara
