// The 41 status-strip fields of the four windows: a rectangle and a text each.
// Fields 0-9 belong to the WAV window, 10-23 to SAS, 24-33 to FFT, 34-39 to MFT; field 40, the
// SAS window's edit mode, came later and stands right of the SAS values.
#pragma once

#include <array>
#include <string>

#include "base/Geometry.h"

namespace vocara {

inline constexpr int StatusFieldCount = 41;
inline constexpr int SasModeField = 40;

struct StatusFields {
  std::array<platform::Rect, StatusFieldCount> rects;  // client pixels, after start-up scaling
  std::array<std::string, StatusFieldCount> texts;     // at most 16 characters each
  // What a window's strip says in place of its fields about the last command (what it did, or
  // why it did nothing), until the next command or new values; empty for nothing.
  std::array<std::string, 4> notices;
};

// The fields as designed at 96 dpi, top at row 2 of the strip.
StatusFields DefaultStatusFields();

// Scales the 96-dpi rectangles for the screen: left and right by sx, top and bottom by sy,
// each truncated.
void ScaleStatusFields(StatusFields& fields, double sx, double sy);
// Moves every field down below the toolbar.
void MoveStatusFieldsDown(StatusFields& fields, int toolbarHeight);

// The field range [first, last] of a window, and its first value field.
struct StatusFieldRange {
  int first;
  int last;
  int firstValue;
};
StatusFieldRange StatusFieldsOf(int view);

}  // namespace vocara
