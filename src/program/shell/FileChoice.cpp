#include "program/shell/FileChoice.h"

#include <utility>

#include "program/shell/App.h"

namespace vocara {

std::optional<std::string> ChooseFileToOpen(App& app, const std::string* path,
                                            platform::FileDialogRequest request) {
  std::string name;
  if (path != nullptr) {
    name = *path;
  } else {
    request.initialName = app.fileDialogName;
    request.fileMustExist = true;
    request.pathMustExist = true;
    request.hideReadOnly = true;
    std::optional<std::string> chosen = app.ports.desktop.GetOpenFileName(request);
    if (!chosen) return std::nullopt;
    name = std::move(*chosen);
  }
  app.fileDialogName = name;
  return name;
}

}  // namespace vocara
