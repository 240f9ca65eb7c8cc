// Message boxes, file dialogs, the clipboard, the shell and the program's own location.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vocara::platform {

enum class MessageIcon { Error, Question, Information, Warning };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct FileFilter {
  std::string description;  // "Windows Sound File (*.WAV)"
  std::string pattern;      // "*.WAV"
};

struct FileDialogRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::string defaultExtension;  // appended when the typed name has none; empty for none
  std::string initialName;
  bool fileMustExist = false;
  bool pathMustExist = false;
  bool overwritePrompt = false;
  bool hideReadOnly = false;
};

class DesktopPort {
 public:
  virtual ~DesktopPort() = default;
  // A message box without owner window and with the desktop's default caption.
  virtual MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons buttons,
                                    MessageAnswer defaultAnswer) = 0;
  virtual std::optional<std::string> GetOpenFileName(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> GetSaveFileName(const FileDialogRequest& request) = 0;
  // Replaces the clipboard with plain text; false when the clipboard could not be used.
  virtual bool SetClipboardText(const std::string& text) = 0;
  // Opens a document with the desktop's associated viewer; false when the document is missing
  // or no viewer could be started for it.
  virtual bool OpenWithViewer(const std::string& path) = 0;
  // Full path of the running program file.
  virtual std::string ProgramPath() const = 0;
  // The per-user configuration directory, for settings when the program's own folder is
  // not writable.
  virtual std::string UserConfigDirectory() const = 0;
  // The value of a variable of the program's environment; empty when it is not set.
  virtual std::string EnvironmentValue(const std::string& name) const = 0;
};

}  // namespace vocara::platform
