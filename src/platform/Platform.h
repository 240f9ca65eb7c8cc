// The set of ports the core runs on. The GUI fills it with the Qt and PortAudio adapters,
// the tests with the fake platform.
#pragma once

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
