// The messages the adapters deliver to the core's window procedure, one per input event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

namespace vocara::platform {

enum class MessageKind {
  Command,       // menu item, toolbar button or accelerator: command
  KeyDown,       // a key no accelerator took: key (virtual-key code, see Keys.h)
  MouseMove,     // pos, ctrl, shift
  LeftDown,      // pos, ctrl, shift
  LeftUp,        // pos, ctrl, shift
  RightDown,     // pos
  Wheel,         // pos (screen), wheelDelta (+120 per notch away from the user)
  HScroll,       // bar, scrollCode, scrollPos
  VScroll,       // bar, scrollCode, scrollPos
  Size,          // sizeKind, size (client size)
  Move,          // the window moved
  Paint,         // rect: the region to repaint
  Close,         // the user asked to close the window
  Destroy,       // the window is gone
  FilesDropped,  // files
  WaveOutDone,   // an output buffer came back: device, buffer, deviceFailed
  WaveInData,    // an input buffer is full: device, buffer, bytes, deviceFailed
  // The program is being ended from outside (SIGTERM, SIGHUP or SIGINT, the session manager's
  // quit at a logout or shutdown): it keeps the user's work as WAV File / Exit does and ends,
  // whatever it is doing. Sent to the WAV window once no modal window is up.
  Quit,
  // The session is about to end (the session manager asks the program to save): pending edits
  // are written back now; a Quit may follow, or the logout may be cancelled.
  SaveSession,
};

enum class ScrollBar { Horizontal, Vertical, SasUpper, SasLower };

// Scroll requests, numbered as the classic scroll-bar codes.
enum class ScrollCode {
  LineUp = 0,
  LineDown = 1,
  PageUp = 2,
  PageDown = 3,
  ThumbPosition = 4,
  ThumbTrack = 5,
  Top = 6,
  Bottom = 7,
  EndScroll = 8,
};

enum class SizeKind { Restored, Minimised, Maximised, Other };

struct Message {
  MessageKind kind = MessageKind::Command;
  int command = 0;
  int key = 0;
  Point pos{};
  bool ctrl = false;
  bool shift = false;
  bool alt = false;
  int wheelDelta = 0;
  ScrollBar bar = ScrollBar::Horizontal;
  ScrollCode scrollCode = ScrollCode::EndScroll;
  int scrollPos = 0;
  SizeKind sizeKind = SizeKind::Restored;
  Size size{};
  Rect rect{};
  std::vector<std::string> files{};
  int buffer = 0;
  std::intptr_t device = 0;  // the audio stream's handle
  std::size_t bytes = 0;     // bytes recorded into the buffer
  // The stream stopped on its own (the device went away or refused to go on); the buffer
  // comes back unplayed or with what was recorded so far.
  bool deviceFailed = false;
};

// Implemented by the core: the one window procedure all four windows share.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual std::intptr_t Dispatch(int view, const Message& message) = 0;
};

}  // namespace vocara::platform
