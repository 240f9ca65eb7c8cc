// The switchable warning: a count reported in a Yes/No box that the user can silence for the
// rest of the run by answering No. Used for audio buffers that come back out of order.
#pragma once

#include "platform/DesktopPort.h"

namespace vocara {

// On at start; answering No to a warning turns it off until the program ends.
struct WarningSwitch {
  bool on = true;
};

// Shows prefix followed by value, e.g. "Lost Buffers=7", with the information icon and Yes/No.
// prefixSize is the size of the prefix buffer including its terminator; the text is built in a
// 256-byte buffer, so a longer prefix is cut and the number gets the room that is left.
void ShowWarning(platform::DesktopPort& desktop, WarningSwitch& warnings, const char* prefix, int prefixSize,
                 long long value);

}  // namespace vocara
