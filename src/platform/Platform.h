// The set of ports the core runs on. The GUI fills it with the Qt and PortAudio adapters,
// the tests with the fake platform.
#pragma once

#include <chrono>

#include "platform/AudioPort.h"
#include "platform/Canvas.h"
#include "platform/DesktopPort.h"
#include "platform/DialogPort.h"
#include "platform/WindowPort.h"

namespace vocara::platform {

class MessagePump {
 public:
  virtual ~MessagePump() = default;
  // Takes at most one pending message and dispatches it; false when none was waiting.
  virtual bool PumpOneMessage() = 0;
  // Ends the message loop with the exit code once control returns to it.
  virtual void PostQuit(int exitCode) = 0;
  // The time that paces the interface work of long operations.
  virtual std::chrono::steady_clock::time_point Now() { return std::chrono::steady_clock::now(); }
};

struct Platform {
  WindowPort& windows;
  TextRenderer& text;
  DialogPort& dialogs;
  DesktopPort& desktop;
  AudioPort& audio;
  MessagePump& pump;
};

}  // namespace vocara::platform
