// The status strip: a grey band under the toolbar with a white line over it and a black line
// under it, the label fields of the window, and its value fields, rewritten at every status
// paint. The WAV values describe the cursor column: the cursor sample, its time, the column's
// smallest and largest sample and the RMS of the selected range. The SAS values describe the
// frame under the cursor: its sample position and time, analysed and target pitch (note and
// cents) and analysed and target peak-to-peak amplitude; the targets are written in blue. Right
// of them the SAS strip names the edit mode.
// Amplitudes are shown in units of full scale (x 4.6566128752458e-08 per left-aligned unit).

#include <algorithm>
#include <cstdint>
#include <string>

#include "base/Instruments.h"
#include "base/NumberText.h"
#include "program/shell/App.h"
#include "program/shell/Resources.h"
#include "program/shell/Screen.h"
#include "program/views/Render.h"
#include "program/views/SpectrumViews.h"

namespace vocara {
namespace {

constexpr int MaxValueText = 16;
constexpr double FullScalePerUnit = 4.6566128752458e-08;   // peak values
constexpr double FullScalePerRange = 2.3283064376229e-08;  // peak-to-peak values
constexpr platform::Rgb TargetColour = PenTable[2];        // blue
constexpr platform::Rgb TextColour = PenTable[3];          // black
constexpr platform::Rgb StripColour = BrushTable[3];       // grey

std::string Number(double value, int decimals) { return FormatNumber(value, decimals, MaxValueText, true); }

// An index into the 1281-entry per-column arrays for a cursor column.
std::size_t ColumnIndex(int cursorX) {
  return static_cast<std::size_t>(std::clamp(cursorX, 0, MaxColumns - 1));
}

void UpdateWavValues(WindowStates& windows, OpenDocuments& docs) {
  WavDocument& wav = docs.wav;
  const view::WavView& view = windows.wavView;
  const int cursorX = windows.geometry[WavView].cursorX;
  // The cursor follows the cursor column; unsigned 32-bit arithmetic as for every sample index.
  wav.cursor = view.samplesPerPixel * static_cast<std::uint32_t>(std::max(cursorX, 0)) + view.firstSample;
  const std::uint32_t rate = wav.header.fields.sampleRate;
  const SamplePair& column = view.envelope[ColumnIndex(cursorX)];
  std::array<std::string, StatusFieldCount>& texts = windows.status.texts;
  texts[5] = Number(wav.cursor, 0);
  texts[6] = Number(rate > 0 ? static_cast<double>(wav.cursor) / rate : 0.0, 3);
  texts[7] = Number(column.min * FullScalePerUnit, 3);
  texts[8] = Number(column.max * FullScalePerUnit, 3);
  texts[9] = Number(wav.rangeRms, 3);
}

void UpdateSasValues(WindowStates& windows, SasSession& session) {
  const SasDocument& sas = session.sas;
  const int cursorX = windows.geometry[SasView].cursorX;
  const double sample = static_cast<double>(std::int64_t{sas.firstFrame} + cursorX) * sas.header.frameLength;
  const std::uint32_t rate = sas.header.sampleRate;
  const SasFrame& frame = sas.page[ColumnIndex(cursorX)];
  const NoteReading source = NoteOfPitch(frame.sourcePitch);
  const NoteReading target = NoteOfPitch(frame.TargetPitch());
  std::array<std::string, StatusFieldCount>& texts = windows.status.texts;
  texts[16] = Number(sample, 0);
  texts[17] = Number(rate > 0 ? sample / rate : 0.0, 3);
  texts[18] = std::string(source.name);
  texts[19] = Number(source.cents, 0);
  texts[20] = std::string(target.name);
  texts[21] = Number(target.cents, 0);
  texts[22] = Number(frame.Amplitude() * FullScalePerRange, 3);
  texts[23] = Number(frame.targetAmplitude * FullScalePerRange, 3);
  texts[SasModeField] = EditModeName(windows.editMode);
}

// Where the strip has room after its fields, the WAV window says which sound device is
// missing, so that greyed Play and Record explain themselves.
void PaintDeviceProblem(WindowStates& windows, const Devices& devices, platform::Canvas& canvas,
                        const StatusFieldRange& range) {
  const std::string& problem = devices.outputProblem.empty() ? devices.inputProblem : devices.outputProblem;
  platform::Rect area = windows.status.rects[static_cast<std::size_t>(range.first)];
  for (int i = range.first; i <= range.last; ++i)
    area.left = std::max(area.left, windows.status.rects[static_cast<std::size_t>(i)].right);
  area.left += area.Height();
  area.right = windows.clientRect[WavView].Width();
  // Half the strip's height is about a character's width.
  if (area.Width() < static_cast<int>(problem.size()) * area.Height() / 2) return;
  canvas.FillRect(area, StripColour);
  canvas.SetTextColour(TextColour);
  if (!problem.empty()) canvas.TextOut(area.left, area.top, problem);
}

}  // namespace

NoteReading NoteOfPitch(int cents) {
  const int note = std::clamp((cents + 50) / 100, 0, NoteCount - 1);
  return {NoteName(note), cents - 100 * note};
}

void UpdateStatusValues(WindowStates& windows, SasSession& session, OpenDocuments& docs,
                        const Configuration& config, int view) {
  if (view == WavView) UpdateWavValues(windows, docs);
  if (view == SasView) UpdateSasValues(windows, session);
  if (view == FftView) UpdateFftValues(windows, docs, session.flags);
  if (view == MftView) UpdateMftValues(windows, docs, config, session.flags);
}

void PaintStatus(Screen& screen, platform::Canvas& canvas, int view, bool full) {
  WindowStates& windows = screen.windows;
  SasSession& session = screen.session;
  OpenDocuments& docs = screen.docs;
  const Configuration& config = screen.config;
  const Devices& devices = screen.devices;
  // New values (the cursor moved) end a notice: it has been read, and they are what counts now.
  std::string& notice = windows.status.notices[static_cast<std::size_t>(view)];
  if (!full && !notice.empty()) {
    notice.clear();
    full = true;
  }
  const int top = windows.metrics.toolbarHeight;
  const int bottom = top + windows.metrics.statusHeight;
  const int width = windows.clientRect[static_cast<std::size_t>(view)].Width();
  canvas.SetRasterMode(platform::RasterMode::Copy);
  if (full) {
    canvas.FillRect({0, top, width, bottom}, StripColour);
    canvas.SelectPen(PenTable[4]);
    canvas.MoveTo(0, top);
    canvas.LineTo(width, top);
    canvas.SelectPen(PenTable[3]);
    canvas.MoveTo(0, bottom);
    canvas.LineTo(width, bottom);
  }
  UpdateStatusValues(windows, session, docs, config, view);
  const StatusFieldRange range = StatusFieldsOf(view);
  // A notice has the strip to itself, as the fields leave no room beside them in a window of
  // the usual width.
  if (const std::string& notice = windows.status.notices[static_cast<std::size_t>(view)]; !notice.empty()) {
    const platform::Rect& first = windows.status.rects[static_cast<std::size_t>(range.first)];
    canvas.SetTextColour(TextColour);
    canvas.TextOut(first.left, first.top, notice);
    return;
  }
  const auto paintField = [&](int i) {
    const auto f = static_cast<std::size_t>(i);
    canvas.SetTextColour(i == 20 || i == 21 || i == 23 ? TargetColour : TextColour);
    canvas.FillRect(windows.status.rects[f], StripColour);
    canvas.TextOut(windows.status.rects[f].left, windows.status.rects[f].top, windows.status.texts[f]);
  };
  for (int i = full ? range.first : range.firstValue; i <= range.last; ++i) paintField(i);
  if (view == SasView) paintField(SasModeField);
  if (view == WavView && full) PaintDeviceProblem(windows, devices, canvas, range);
}

}  // namespace vocara
