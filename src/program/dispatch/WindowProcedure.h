// The one window procedure of the four windows: routes every message by the window's view.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Message.h"

namespace vocara {

struct App;

std::intptr_t WindowProcedure(App& app, int view, const platform::Message& message);

// Sends a command to a window synchronously, through the same gate as a menu command.
void SendCommand(App& app, int view, int command);

// Opens a WAV ("RIFF") or SAS ("SAS ") file chosen by its first four bytes, and any other
// sound file libsndfile reads as a WAV (the opener refuses it and offers a mono copy);
// anything else, an unreadable file or a name over 259 characters does nothing.
void OpenDocumentByName(App& app, const std::string& path);

// The window procedure as the adapters call it.
class WindowProcedureSink final : public platform::MessageSink {
 public:
  explicit WindowProcedureSink(App& app) : app_(app) {}
  std::intptr_t Dispatch(int view, const platform::Message& message) override;

 private:
  App& app_;
};

}  // namespace vocara
