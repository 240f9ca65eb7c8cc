// The mouse in the four windows: left-button presses, moves and releases.
//
// In the WAV, FFT and MFT windows the cursor follows the mouse, and with Ctrl held a rubber band
// selects a range (samples, frequencies, the analysis note range). In the SAS window the mouse
// is the editor: by edit mode it moves the cursor, sets or deletes time links, scales or shifts
// the SAS range, draws target amplitudes or pitches freehand or erases corrections; pressing on
// the pane splitter moves it in every mode. Edits change the page and the link table in memory
// and set SasPageDirty; they reach the file with the next write-back.
#pragma once

#include <array>
#include <cstdint>

#include "base/Geometry.h"
#include "engine/sas/SasDocument.h"
#include "platform/Message.h"

namespace vocara {

struct App;

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
};

// True from the press that started a drag in any window to its release. Meanwhile the window
// procedure refuses whatever could write back, read again or move the SAS page under the drag.
bool MouseDragHeld(const App& app);

// Ends a held drag as its release would (the edit recorded, the capture released); the later
// release finds nothing held. For what cannot be refused, like a window resized under the drag.
void EndMouseDrag(App& app);

// The handler of MouseMove, LeftDown and LeftUp for the window `view`; the window procedure
// passes them while the program is not busy.
void SasMouse(App& app, int view, const platform::Message& message);

}  // namespace vocara
