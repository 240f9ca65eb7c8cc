// Number fields of the dialogs: the lenient scan clamped into range, and the trimmed text.
#pragma once

#include "platform/DialogPort.h"

namespace vocara {

// The field's text scanned and clamped to [min, max]: input is corrected, never refused.
double ReadNumberField(const platform::DialogHandle& dialog, int id, double min, double max);

// Writes value with the given decimals, trailing zeros trimmed, at most 25 characters.
void WriteNumberField(platform::DialogHandle& dialog, int id, double value, int decimals);

}  // namespace vocara
