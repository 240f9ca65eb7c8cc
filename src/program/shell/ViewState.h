// What each window shows and how: the WAV, SAS and FFT windows' scales, positions and scroll
// bars, and the left-button drag in progress. Plain state; the views draw from it and the
// commands and the mouse change it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "base/Geometry.h"
#include "base/WindowTable.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/processing/Spectrum.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/SampleAccess.h"
#include "platform/Message.h"
#include "platform/Platform.h"
#include "program/raster/RasterCanvas.h"
#include "program/shell/EditMode.h"
#include "program/shell/StatusFields.h"
#include "program/shell/ViewGeometry.h"

namespace vocara {

inline constexpr std::uint32_t DefaultFftSize = 1024;

namespace view {

struct WavView {
  std::uint32_t samplesPerPixel = 1;              // at least 1
  std::uint32_t firstSample = 0;                  // sample shown in column 0
  double valueScale = 0.0;                        // pixels per unit of a left-aligned sample
  std::int32_t valueOffset = 0;                   // added to a sample value before scaling
  std::array<SamplePair, MaxColumns> envelope{};  // per column: smallest and largest sample
  // Extremes over the columns of the last envelope pass (left-aligned units); the value fit
  // fits the plot to them.
  double envelopeMin = 0.0;
  double envelopeMax = 0.0;
  ScrollTrack track{0.0, 0.8, 0.1};
  ScrollBarState vertical{10000, 10001, 0, 1000};
};

struct SasView {
  double pitchScale = 0.25;  // pixels per cent: 0.125, 0.25, 0.5 or 1.0
  ScrollTrack track{0.0, 0.8, 0.05};
  ScrollBarState upper{10000, 1000, 9000, 100};  // amplitude scale
  ScrollBarState lower{98, 12, 87, 1};           // centre note, 87 - position
  // Set by the mouse handling while the pane splitter is dragged, with the row it has reached.
  bool splitterDragging = false;
  int splitterRow = 0;
};

struct FftView {
  std::int32_t pixelsPerBin = 1;  // at least 1
  std::int32_t firstPixel = 0;    // spectrum pixel shown in column 0
  std::uint32_t totalPixels = DefaultFftSize / 2 + 1;
  ScrollTrack track{0.0, 0.8, 0.1};
  ScrollBarState vertical{10000, 1000, 9000, 100};
};

}  // namespace view

// Metrics measured once at start and shared by layout and drawing.
struct LayoutMetrics {
  double sx = 1.0;  // logical pixels per inch across / 96
  double sy = 1.0;  // logical pixels per inch down / 96
  int toolbarHeight = 0;
  int statusHeight = 17;
  int rulerHeight = 17;
};

// Each window's view state, indexed by ViewId where it is per window.
struct WindowStates {
  LayoutMetrics metrics;
  StatusFields status = DefaultStatusFields();
  std::array<platform::Rect, ViewCount> clientRect{};
  std::array<ViewGeometry, ViewCount> geometry{};
  int upperPaneHeight = 0;
  int lowerPaneHeight = 0;
  std::array<RasterImage, ViewCount> images;
  // How each window is shown again when busy mode ends.
  std::array<platform::ShowCommand, ViewCount> busyShow{};
  EditMode editMode = EditMode::Normal;
  view::WavView wavView;
  view::SasView sasView;
  view::FftView fftView;
  // The FFT window's spectrum at the WAV cursor, and the MFT window's note strengths with the
  // analysis window they were measured on. The note window grows only to the largest length
  // the open file's rate needs (the lowest note), so a later refresh at the cursor or with
  // another note range allocates nothing.
  SpectrumState spectrum;
  NoteReadout notes;
  std::vector<double> noteWindow;
  // View / Show Notes, for the run of the program.
  bool showNotes = true;
};

}  // namespace vocara
