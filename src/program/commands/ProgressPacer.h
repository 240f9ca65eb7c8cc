// The interface work of a long operation in the program (Build, Correct, Play Corrected's
// render): pumping the pending messages, so that the windows repaint and Esc arrives, and the
// WAV cursor line as progress display.
//
// It is paced by time, not by frame: an operation reports every frame (over 100 000 for a
// ten-minute recording), and one pump and one cursor drawing per frame cost many times the
// work itself. Messages are pumped once PumpInterval has passed since the last pump and once
// more at the end; just before each pump the cursor line moves to the position reported last,
// and only when its column changed. Esc is seen at the next pump, so the operation stops
// within PumpInterval and one frame.
#pragma once

#include <chrono>
#include <cstdint>

#include "base/Progress.h"

namespace vocara {

struct Screen;
namespace platform {
class MessagePump;
}

class ProgressPacer {
 public:
  static constexpr std::chrono::milliseconds PumpInterval{10};

  // moveCursor: whether the WAV cursor line follows the position (not for Play Corrected). Esc
  // sets AbortRequested in the state word the screen's session reads.
  ProgressPacer(Screen& screen, platform::MessagePump& pump, bool moveCursor);
  ProgressPacer(const ProgressPacer&) = delete;
  ProgressPacer& operator=(const ProgressPacer&) = delete;
  // Pumps the last messages when the operation reported progress (a refused one did not run).
  ~ProgressPacer();

  // The operation's progress callback; false once Esc was pressed. The pacer must outlive it.
  ProgressCallback Callback();

 private:
  bool Report(std::uint64_t position);

  Screen& screen_;
  platform::MessagePump& pump_;
  bool moveCursor_;
  std::chrono::steady_clock::time_point lastPump_;
  bool reported_ = false;
  std::uint64_t position_ = 0;
};

}  // namespace vocara
