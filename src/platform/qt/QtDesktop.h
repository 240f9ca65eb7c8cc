// Message boxes, the file dialogs, the clipboard, the desktop's document viewer and the
// program's own location.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

#include "platform/DesktopPort.h"

namespace vocara::platform::qt {

class QtDesktop final : public DesktopPort {
 public:
  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons,
                            MessageAnswer defaultAnswer) override;
  std::optional<std::string> GetOpenFileName(const FileDialogRequest& request) override;
  std::optional<std::string> GetSaveFileName(const FileDialogRequest& request) override;
  bool SetClipboardText(const std::string& text) override;
  bool OpenWithViewer(const std::string& path) override;
  std::string ProgramPath() const override;
  std::string UserConfigDirectory() const override;
  std::string EnvironmentValue(const std::string& name) const override;

  // Stands in for the program path, so that a test keeps the files beside the program
  // (the settings file) in a directory of its own. Empty restores the real path.
  void OverrideProgramPath(std::string path) { programPathOverride_ = std::move(path); }

 private:
  std::optional<std::string> RunFileDialog(const FileDialogRequest& request, bool save);

  std::string programPathOverride_;
};

// The name filters of a file dialog, "description (pattern pattern ...)" from the
// semicolon-separated patterns. The widget dialog matches them in either letter case, so
// "*.WAV" also lists "take1.wav".
QStringList NameFilters(const std::vector<FileFilter>& filters);

}  // namespace vocara::platform::qt
