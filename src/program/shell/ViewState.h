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

// What a held left button does, as a set of bits; 0 while no button is held.
enum DragBit : std::uint32_t {
  DragCursor = 0x1,           // the window's cursor follows the mouse
  DragBand = 0x2,             // rubber-band range selection (Ctrl at the press)
  DragSplitter = 0x4,         // the SAS pane splitter
  DragFreeAmplitude = 0x8,    // freehand target amplitude
  DragFreePitch = 0x10,       // freehand target pitch
  DragRangeAmplitude = 0x20,  // in-range amplitude scaling
  DragRangePitch = 0x40,      // in-range pitch shift
  DragEraseAmplitude = 0x80,  // amplitude corrections back to the analysis
  DragErasePitch = 0x100,     // pitch corrections back to the analysis
  DragNote = 0x200,           // the chosen notes to another pitch (Note mode)
  DragLineAmplitude = 0x800,  // freehand amplitude as a straight line from the press (Shift)
  DragLinePitch = 0x1000,     // freehand pitch as a straight line from the press (Shift)
};

inline constexpr std::uint32_t DragEditBits = DragFreeAmplitude | DragFreePitch | DragRangeAmplitude |
                                              DragRangePitch | DragEraseAmplitude | DragErasePitch |
                                              DragLineAmplitude | DragLinePitch;

// Page columns first .. last, both included.
struct ColumnSpan {
  int first = 0;
  int last = 0;
};

// The drag in progress. Fixed-size: a move never allocates.
struct MouseDrag {
  std::uint32_t state = 0;
  int view = 0;          // the window the press was in
  platform::Point last;  // the last point the edits measure from
  int pressY = 0;        // in-range pitch shifts are measured from the press row
  ColumnSpan span;       // freehand: the columns the last move edited
  int rangeFirst = 0;    // in-range: the columns rangeFirst .. rangeEnd - 1 are edited
  int rangeEnd = 0;
  int shape = 0;              // in-range: 0 left, 1 middle, 2 right third; + 3 with Shift (pitch)
  bool editing = false;       // the drag is an edit action (SasEditBegin ran at the press)
  bool hasFollowing = false;  // the file holds a frame behind the page
  SasFrame following;         // that frame, for the clip limit of the last page column
  std::array<SasFrame, SasPageCapacity> backup{};  // page records at the press, by column
  std::array<double, SasPageCapacity> weights{};   // in-range pitch: share of the shift, from rangeFirst
  std::array<SasFrame, SasPageCapacity> shown{};   // the records a move changes, as drawn before it
  // Note mode: the target centre of the note pressed (cents above A0) and the shift the drag
  // has reached, as its outlines show it; a drag that moved the notes by nothing changes nothing.
  double noteCentre = 0;
  double noteCents = 0;
  bool noteMoved = false;
};

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
  // The left-button drag in progress in any window (SasMouse).
  MouseDrag mouse;
  std::array<RasterImage, ViewCount> images;
  // How each window is shown again when busy mode ends.
  std::array<platform::ShowCommand, ViewCount> busyShow{};
  EditMode editMode = EditMode::Normal;
  // The notes chosen in Note mode, sorted by frame and apart, as the page's listing gave them (a
  // note cut by the page's edge is changed as a whole); kept while the SAS stays open, also when
  // scrolled off the page.
  std::vector<NoteSpan> chosenNotes;
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
  // The take's notes as sung over the page shown (ListNotes), marked in the pitch pane while
  // showNotes is set and no correction report is shown. Every page read and the SAS's close set
  // pageNotesStale; the next paint of the pitch pane lists them again, so scrolling through
  // many pages between two paints lists only the last.
  CorrectionReport pageNotes;
  bool pageNotesStale = true;
  // View / Show Notes, for the run of the program.
  bool showNotes = true;
};

}  // namespace vocara
