// The message boxes of the program: an error from the message table, and the question asked
// when the open WAV and SAS files do not belong together.
#pragma once

#include "base/MessageId.h"
#include "platform/DesktopPort.h"

namespace vocara {

// The error box: no owner window, default caption, error icon, OK. Nothing for None.
void ShowErrorMessage(platform::DesktopPort& desktop, MessageId id);

// The question when the open WAV and SAS files do not belong together: Yes keeps the file
// just opened, No (the default) closes it. True for Yes.
bool AskKeepUnfittingFile(platform::DesktopPort& desktop);

}  // namespace vocara
