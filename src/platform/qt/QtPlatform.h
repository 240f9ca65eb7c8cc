// The desktop platform on Qt 6 and PortAudio: owns the port adapters and runs the message
// loop. Create it after the QApplication and before the core.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace vocara::platform::qt {

class MessageRouter;
class PortAudioDevices;
class QtDesktop;
class QtDialogs;
class QtSessionEnd;
class QtTextRenderer;
class QtWindows;

class QtPlatform final : public MessagePump {
 public:
  QtPlatform();
  ~QtPlatform() override;
  QtPlatform(const QtPlatform&) = delete;
  QtPlatform& operator=(const QtPlatform&) = delete;

  // The core's window procedure; input messages are dropped until it is set and after
  // ClearSink, which a caller uses before the procedure goes away.
  void SetSink(MessageSink& sink);
  void ClearSink();
  Platform& Ports() { return *ports_; }

  // Runs the message loop until PostQuit and returns its exit code. A quit posted before
  // the loop runs ends it at once.
  int Run();
  bool PumpOneMessage() override;
  void PostQuit(int exitCode) override;

  QtWindows& Windows() { return *windows_; }
  QtDesktop& Desktop() { return *desktop_; }

 private:
  std::unique_ptr<MessageRouter> router_;
  std::unique_ptr<QtWindows> windows_;
  std::unique_ptr<QtTextRenderer> text_;
  std::unique_ptr<QtDialogs> dialogs_;
  std::unique_ptr<QtDesktop> desktop_;
  std::unique_ptr<PortAudioDevices> audio_;
  std::unique_ptr<Platform> ports_;
  std::unique_ptr<QtSessionEnd> sessionEnd_;
  bool quitPosted_ = false;
  bool running_ = false;
  int exitCode_ = 0;
};

}  // namespace vocara::platform::qt
