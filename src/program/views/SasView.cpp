#include "program/views/SasView.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/Instruments.h"
#include "engine/sas/NoteSegments.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/CommandTable.h"
#include "program/shell/SasSession.h"
#include "program/views/Render.h"
#include "program/views/Scrolling.h"
#include "program/views/SpectrumViews.h"
#include "program/views/WavView.h"

namespace vocara {
namespace {

constexpr int HorizontalBarMax = 10000;
constexpr int MinimumPaneRows = 100;
constexpr double MinimumPitchScale = 0.125;        // pixels per cent
constexpr int CentreRowNoteAtTop = NoteCount - 1;  // C8: the pitch pane's centre note at position 0

}  // namespace

int SasAmplitudeBottom(const WindowStates& windows) {
  return windows.metrics.toolbarHeight + windows.upperPaneHeight - 2;
}

int SasPitchTop(const WindowStates& windows) {
  return windows.metrics.toolbarHeight + windows.upperPaneHeight + 2;
}

SasPaneSplit SplitSasPanes(int newHeight, int toolbarHeight, int upper, int lower) {
  // The ratio is taken of the whole client height, toolbar band included, as it always was, in
  // whole numbers: new height x upper / (upper + lower), truncated. Taking the ratio as a double
  // first would come out one row short wherever the exact result is whole.
  const std::int64_t sum = std::int64_t{upper} + lower;
  const std::int64_t share = sum > 0 ? std::int64_t{newHeight} * upper / sum : newHeight / 2;
  SasPaneSplit split{};
  split.upper = std::max(static_cast<int>(share), MinimumPaneRows);
  split.lower = newHeight - toolbarHeight - split.upper;
  if (split.lower < MinimumPaneRows) {
    split.lower = MinimumPaneRows;
    // A client too low for two panes of 100 rows gives the lower pane its 100 first; the upper
    // pane never goes negative.
    split.upper = std::max(newHeight - toolbarHeight - MinimumPaneRows, 0);
  }
  return split;
}

double SasViewPageFraction(const WindowStates& windows, const SasSession& session) {
  const double count = session.sas.shownFrameCount;
  return count > 0 ? ViewWidth(windows, SasView) / count : 1.0;
}

void SasViewHorizontalScrollUpdate(WindowStates& windows, SasSession& session, platform::Platform& ports) {
  SasDocument& sas = session.sas;
  view::SasView& view = windows.sasView;
  const std::int64_t count = sas.shownFrameCount;
  const int width = ViewWidth(windows, SasView);
  sas.firstFrame = static_cast<std::int32_t>(
      std::max<std::int64_t>(std::min<std::int64_t>(sas.firstFrame, count - width), 0));
  view.track.position = count > 0 ? static_cast<double>(sas.firstFrame) / count : 0.0;
  view.track.page = SasViewPageFraction(windows, session);
  view.track.line = view.track.page * 0.1;
  SetHorizontalBar(ports, SasView, view.track, HorizontalBarMax);
  SasViewSetDataWidth(windows, session);
}

void SasViewResetScrollBar(WindowStates& windows, platform::Platform& ports) {
  windows.sasView.track = view::SasView{}.track;
  ports.windows.SetScrollInfo(SasView, platform::ScrollBar::Horizontal,
                              platform::ScrollInfo{0, HorizontalBarMax, HorizontalBarMax + 1, 0}, true);
}

void SasViewShowSungPitches(WindowStates& windows, SasSession& session, Configuration& config,
                            platform::Platform& ports) {
  view::SasView& view = windows.sasView;
  const int rows = windows.geometry[SasView].plotBottom - SasPitchTop(windows);
  // The pane centres on a whole note, so it must reach as far as the farther of the two ends
  // from that note, with half a semitone to spare beyond each.
  const auto show = [&](int centreNote, double low, double high) {
    centreNote = std::clamp(centreNote, 0, CentreRowNoteAtTop);
    view.lower.position = CentreRowNoteAtTop - centreNote;
    const double reach = std::max(centreNote * 100.0 - low, high - centreNote * 100.0) + 50.0;
    double scale = view::SasView{}.pitchScale;
    while (scale > MinimumPitchScale && 2.0 * reach * scale > rows) scale *= 0.5;
    view.pitchScale = scale;
  };
  const SungPitches sung = MeasureSungPitches(session.sas, SilenceLevel(config.settings.silenceThreshold));
  if (sung.found) {
    show(static_cast<int>(std::lround((sung.low + sung.high) / 200.0)), sung.low, sung.high);
  } else {
    // Nothing sung: the range the file was analysed over. The stored notes passed the settings
    // check (0 .. 87) but may stand in either order.
    const GeneralSettings& analysed = session.sas.header.settings;
    const int lowest = std::min(analysed.lowestNote, analysed.highestNote);
    const int highest = std::max(analysed.lowestNote, analysed.highestNote);
    show((lowest + highest + 1) / 2, lowest * 100.0, highest * 100.0);
  }
  SetVerticalBar(ports, SasView, platform::ScrollBar::SasLower, view.lower);
  windows.redraw |= SasLowerBandRedraw;
}

void SasViewPitchScale(WindowStates& windows, platform::Platform& ports, bool stretch) {
  double& scale = windows.sasView.pitchScale;
  const double changed = stretch ? std::min(scale * 2.0, 1.0) : std::max(scale * 0.5, MinimumPitchScale);
  if (changed == scale) return;
  scale = changed;
  windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
  ports.windows.Invalidate(SasView, nullptr);
}

void SyncWavToSas(WindowStates& windows, SasSession& session, OpenDocuments& docs,
                  platform::Platform& ports) {
  const std::uint32_t frameLength = session.sas.header.frameLength;
  const std::int64_t frame = std::int64_t{session.sas.firstFrame} + windows.geometry[SasView].cursorX;
  // The SAS cursor never stands past the last frame, which ends within the file; the limit only
  // keeps a damaged pairing from putting the WAV cursor beyond the data.
  const std::int64_t sample = std::clamp<std::int64_t>(frame * frameLength, 0, docs.wav.sampleCount);
  docs.wav.cursor = static_cast<std::uint32_t>(sample);
  WavViewRecentre(windows, docs, ports, frameLength);
}

void SyncSasToWav(Screen& screen, platform::Platform& ports) {
  SasWriteBack(screen.session);
  SasDocument& sas = screen.session.sas;
  // An open SAS always has a frame length (a file with 0 is refused); the floor only guards.
  const std::uint32_t frameLength = std::max<std::uint32_t>(sas.header.frameLength, 1);
  const std::int64_t cursorFrame = screen.docs.wav.cursor / frameLength;
  const std::int64_t first = cursorFrame - screen.windows.clientRect[SasView].right / 2;
  sas.firstFrame = static_cast<std::int32_t>(std::clamp<std::int64_t>(
      first, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
  SasViewHorizontalScrollUpdate(screen.windows, screen.session, ports);
  // Kept as a signed 16-bit value on purpose, as every cursor column is.
  const auto column = static_cast<std::int16_t>(cursorFrame - sas.firstFrame);
  ViewGeometry& geometry = screen.windows.geometry[SasView];
  geometry.cursorX = column;
  geometry.drawnCursorX = column;
  SasReadPage(screen.session);
  RepaintStatusValues(screen, SasView);
  InvalidateBelowStatus(screen, SasView);
}

void SetRulerOrigin(WindowStates& windows, SasSession& session, Configuration& config,
                    platform::Platform& ports) {
  const std::int64_t frame = std::int64_t{windows.geometry[SasView].cursorX} + session.sas.firstFrame;
  // The origin is a signed 32-bit sample position of at least 0.
  config.settings.rulerOrigin = static_cast<std::int32_t>(std::clamp<std::int64_t>(
      frame * session.sas.header.frameLength, 0, std::numeric_limits<std::int32_t>::max()));
  RedrawBarRuler(windows, session, config, ports);
}

namespace {

void PitchStretch(WindowStates& windows, platform::Platform& ports) {
  SasViewPitchScale(windows, ports, true);
}
void PitchSqueeze(WindowStates& windows, platform::Platform& ports) {
  SasViewPitchScale(windows, ports, false);
}

constexpr CommandEntry Entries[] = {
    // WAV File / Sync to SAS: the spectrum windows follow the moved WAV cursor.
    {.id = CommandId::SyncToSas,
     .label = "Sync to SAS",
     .key = Accelerator('S'),
     .tooltip = "Synchronise WAV Position with SAS",
     .image = 35,
     .handler =
         [](App& app, int, CommandId) {
           SyncWavToSas(app.windows, app.session, app.docs, app.ports);
           FollowCursor(app.commands, app.docs, app.config, app.ports);
         },
     .required = WavOpen | SasOpen | WavSasMatch},
    {.id = CommandId::SetRulerOrigin,
     .label = "Set Ruler &Origin",
     .key = Accelerator('O'),
     .handler = [](App& app, int,
                   CommandId) { SetRulerOrigin(app.windows, app.session, app.config, app.ports); },
     .required = SasOpen},
    {.id = CommandId::SyncToWav,
     .label = "Sync to &WAV",
     .key = Accelerator('W'),
     .tooltip = "Synchronise SAS Position with WAV",
     .image = 36,
     .handler = [](App& app, int, CommandId) { SyncSasToWav(app.screen, app.ports); },
     .required = WavOpen | SasOpen | WavSasMatch},
    {.id = CommandId::PitchStretch,
     .key = WindowKey(platform::key::Up, In(SasView)),
     .tooltip = "Pitch Stretch",
     .image = 8,
     .handler = [](App& app, int, CommandId) { PitchStretch(app.windows, app.ports); },
     .required = SasOpen},
    {.id = CommandId::PitchSqueeze,
     .key = WindowKey(platform::key::Down, In(SasView)),
     .tooltip = "Pitch Sqeeze",
     .image = 9,
     .handler = [](App& app, int, CommandId) { PitchSqueeze(app.windows, app.ports); },
     .required = SasOpen},
    // View / SAS.
    {.id = CommandId::ShowSas,
     .label = "SAS",
     .handler =
         [](App& app, int, CommandId) {
           app.ports.windows.Show(SasView, platform::ShowCommand::Restore);
           app.ports.windows.BringToTop(SasView);
         },
     .required = SasOpen},
};

}  // namespace

std::span<const CommandEntry> SasViewCommandEntries() { return Entries; }

}  // namespace vocara
