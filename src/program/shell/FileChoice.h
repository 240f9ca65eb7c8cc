// The file an open command works on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopPort.h"
#include "platform/Platform.h"

namespace vocara {

struct App;
struct DialogMemory;

// The filters the file dialogs offer.
extern const platform::FileFilter WavFileFilter;
extern const platform::FileFilter SasFileFilter;
extern const platform::FileFilter TextFileFilter;
extern const platform::FileFilter MidiFileFilter;
extern const platform::FileFilter AllFilesFilter;

// A save dialog: the folder must exist; the typed name gets `extension` when it has none (none
// when empty); an existing file is only replaced after the dialog's own question when
// overwritePrompt is set, which every command that replaces a file from its first byte sets.
platform::FileDialogRequest SaveRequest(std::string title, std::vector<platform::FileFilter> filters,
                                        std::string extension, bool overwritePrompt,
                                        bool hideReadOnly = true);

// The given path (a drop or the command line), or else the file chosen in the open dialog
// described by `request` — which must exist, with the read-only box hidden, starting from the
// name the shared dialog record last held. The chosen name becomes that record's name.
// Nothing when the dialog is cancelled.
std::optional<std::string> ChooseFileToOpen(DialogMemory& dialogs, platform::Platform& ports,
                                            const std::string* path, platform::FileDialogRequest request);

}  // namespace vocara
