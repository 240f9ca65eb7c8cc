#include "program/shell/DialogFields.h"

#include "base/NumberText.h"

namespace vocara {

namespace {
// Maximum length of a number written into an edit field.
constexpr int FieldNumberLength = 25;
}  // namespace

double ReadNumberField(const platform::DialogHandle& dialog, int id, double min, double max) {
  return ClampNumber(ScanNumber(dialog.GetText(id)), min, max);
}

void WriteNumberField(platform::DialogHandle& dialog, int id, double value, int decimals) {
  dialog.SetText(id, FormatNumber(value, decimals, FieldNumberLength, true));
}

}  // namespace vocara
