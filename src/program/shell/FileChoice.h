// The file an open command works on.
#pragma once

#include <optional>
#include <string>

#include "platform/DesktopPort.h"

namespace vocara {

struct App;

// The given path (a drop or the command line), or else the file chosen in the open dialog
// described by `request` — which must exist, with the read-only box hidden, starting from the
// name the shared dialog record last held. The chosen name becomes that record's name.
// Nothing when the dialog is cancelled.
std::optional<std::string> ChooseFileToOpen(App& app, const std::string* path,
                                            platform::FileDialogRequest request);

}  // namespace vocara
