#include "program/shell/StatusFields.h"

#include <string_view>

#include "base/WindowTable.h"

namespace vocara {
namespace {

struct FieldEntry {
  platform::Rect rect;
  std::string_view text;
};

// Rectangles at 96 dpi; value fields hold placeholders until the first status paint.
constexpr FieldEntry InitialFields[StatusFieldCount] = {
    {{10, 2, 45, 17}, "Frame="},
    {{120, 2, 164, 17}, "Time/(s)="},
    {{240, 2, 297, 17}, "Min/(arb.u)="},
    {{340, 2, 400, 17}, "Max/(arb.u)="},
    {{465, 2, 528, 17}, "Vrms/(arb.u)="},
    {{45, 2, 120, 17}, "1234567890"},
    {{164, 2, 240, 17}, "1234567890"},
    {{297, 2, 340, 17}, "-100.000"},
    {{400, 2, 465, 17}, "-100.000"},
    {{528, 2, 570, 17}, "100.000"},
    {{10, 2, 45, 17}, "Frame="},
    {{110, 2, 155, 17}, "Time/(s)="},
    {{210, 2, 240, 17}, "Pitch="},
    {{288, 2, 298, 17}, "->"},
    {{356, 2, 416, 17}, "Vpp/(arb.u)="},
    {{451, 2, 461, 17}, "->"},
    {{45, 2, 110, 17}, "1234567890"},
    {{155, 2, 210, 17}, "1234567890"},
    {{240, 2, 266, 17}, "a#1"},
    {{266, 2, 288, 17}, "-49"},
    {{298, 2, 324, 17}, "a#1"},
    {{324, 2, 356, 17}, "-49"},
    {{416, 2, 451, 17}, "100.000"},
    {{461, 2, 499, 17}, "100.000"},
    {{10, 2, 61, 17}, "Freq/(Hz)="},
    {{112, 2, 176, 17}, "Ampl/(arb.u)="},
    {{221, 2, 286, 17}, "Phase/(deg)="},
    {{330, 2, 413, 17}, ""},
    {{464, 2, 560, 17}, ""},
    {{61, 2, 112, 17}, "22050.000"},
    {{176, 2, 221, 17}, "100.0000"},
    {{286, 2, 330, 17}, "360.1"},
    {{413, 2, 464, 17}, "22050.000"},
    {{560, 2, 603, 17}, "100.0000"},
    {{10, 2, 40, 17}, "Note="},
    {{70, 2, 138, 17}, "Value/(arb.u)="},
    {{170, 2, 232, 17}, "Pitch/(cent)="},
    {{40, 2, 70, 17}, "123"},
    {{138, 2, 170, 17}, "100.000"},
    {{232, 2, 262, 17}, "-49"},
    {{508, 2, 600, 17}, "Normal"},
};

}  // namespace

StatusFields DefaultStatusFields() {
  StatusFields fields;
  for (int i = 0; i < StatusFieldCount; ++i) {
    fields.rects[static_cast<std::size_t>(i)] = InitialFields[i].rect;
    fields.texts[static_cast<std::size_t>(i)] = std::string(InitialFields[i].text);
  }
  return fields;
}

void ScaleStatusFields(StatusFields& fields, double sx, double sy) {
  for (platform::Rect& r : fields.rects) {
    r.left = static_cast<int>(r.left * sx);
    r.right = static_cast<int>(r.right * sx);
    r.top = static_cast<int>(r.top * sy);
    r.bottom = static_cast<int>(r.bottom * sy);
  }
}

void MoveStatusFieldsDown(StatusFields& fields, int toolbarHeight) {
  for (platform::Rect& r : fields.rects) {
    r.top += toolbarHeight;
    r.bottom += toolbarHeight;
  }
}

StatusFieldRange StatusFieldsOf(int view) {
  switch (view) {
    case WavView:
      return {0, 9, 5};
    case SasView:
      return {10, 23, 16};
    case FftView:
      return {24, 33, 27};
    default:
      return {34, 39, 37};
  }
}

}  // namespace vocara
