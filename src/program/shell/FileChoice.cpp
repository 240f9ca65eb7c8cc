#include "program/shell/FileChoice.h"

#include <utility>

#include "program/shell/App.h"

namespace vocara {

const platform::FileFilter WavFileFilter{"Windows Sound File (*.WAV)", "*.WAV"};
const platform::FileFilter SasFileFilter{"Sound Attributes Set (*.SAS)", "*.SAS"};
const platform::FileFilter TextFileFilter{"Text file (*.txt)", "*.txt"};
const platform::FileFilter MidiFileFilter{"Standard MIDI File (*.mid)", "*.mid"};
const platform::FileFilter AllFilesFilter{"All Files (*.*)", "*.*"};

platform::FileDialogRequest SaveRequest(std::string title, std::vector<platform::FileFilter> filters,
                                        std::string extension, bool overwritePrompt, bool hideReadOnly) {
  platform::FileDialogRequest request;
  request.title = std::move(title);
  request.filters = std::move(filters);
  request.defaultExtension = std::move(extension);
  request.pathMustExist = true;
  request.overwritePrompt = overwritePrompt;
  request.hideReadOnly = hideReadOnly;
  return request;
}

std::optional<std::string> ChooseFileToOpen(DialogMemory& dialogs, platform::Platform& ports,
                                            const std::string* path, platform::FileDialogRequest request) {
  std::string name;
  if (path != nullptr) {
    name = *path;
  } else {
    request.initialName = dialogs.fileDialogName;
    request.fileMustExist = true;
    request.pathMustExist = true;
    request.hideReadOnly = true;
    std::optional<std::string> chosen = ports.desktop.GetOpenFileName(request);
    if (!chosen) return std::nullopt;
    name = std::move(*chosen);
  }
  dialogs.fileDialogName = name;
  return name;
}

}  // namespace vocara
