// The message boxes of the program: an error from the message table or of the import's own
// wording, the question asked when the open WAV and SAS files do not belong together, and the
// one asked when the WAV opener refuses a file the import reads.
#pragma once

#include <string>

#include "base/MessageId.h"
#include "platform/DesktopPort.h"

namespace vocara {

// The error box: no owner window, default caption, error icon, OK. Nothing for None.
void ShowErrorMessage(platform::DesktopPort& desktop, MessageId id);

// The error box with a text that is not in the message table (an import's refusal).
void ShowErrorText(platform::DesktopPort& desktop, const std::string& text);

// The opener's message for a refused file, what the file is (when known) on the next line, then
// "Convert to a mono WAV copy?": question icon, Yes (the default) and No. True for Yes.
bool AskConvertToMonoCopy(platform::DesktopPort& desktop, MessageId refusal, const std::string& what);

// The question when the open WAV and SAS files do not belong together: Yes keeps the file
// just opened, No (the default) closes it. True for Yes.
bool AskKeepUnfittingFile(platform::DesktopPort& desktop);

}  // namespace vocara
