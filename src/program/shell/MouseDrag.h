// The left-button drag in progress: what the held button does and what the edits it makes need
// to measure from and to restore. Fixed-size, so a move never allocates.
#pragma once

#include <array>
#include <cstdint>

#include "engine/sas/SasDocument.h"
#include "platform/Message.h"

namespace vocara {

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

}  // namespace vocara
