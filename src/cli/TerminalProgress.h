// Progress and Ctrl-C for the long operations of the command-line tool: a bar redrawn in
// place on a terminal, and an interrupt that stops the operation at its next frame.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "base/Progress.h"

namespace vocara::cli {

// From the first instruction of the process on (before main reads anything): Ctrl-C, SIGTERM
// and SIGHUP are noted, not obeyed, until SettleInterrupts says what they mean for this run;
// a write past the file size limit fails (and is reported) instead of killing the process.
void CatchInterruptsFromTheStart();

// What those signals mean for the rest of the run. A command that changes a file in place
// (`wholeRun`) keeps noting them for the whole run: it stops at its next frame, or before its
// change lands, and says the file was not changed; a signal noted before this call counts.
// Any other command: outside an InterruptScope they remove the temporary file of any output
// being written, then end the process as the signal would have (at once, for one noted
// already).
void SettleInterrupts(bool wholeRun);

// Turns Ctrl-C, SIGTERM and SIGHUP into a stop at the next frame for the life of one
// operation, and puts the previous handlers back (nothing to do in a whole-run scope).
class InterruptScope {
 public:
  InterruptScope();
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  bool outermost_ = false;
  void (*previousInterrupt_)(int);
  void (*previousTerminate_)(int);
  void (*previousHangUp_)(int);
};

// Whether one of those signals arrived inside the current InterruptScope (or, in a whole run,
// since the process started).
bool Interrupted();

// From now on those signals no longer end the run: a change has landed, and a signal after it
// must not end the process as if it had not (the run finishes and says it succeeded). The
// InterruptScope that is open keeps its handlers when it ends.
void DeferInterruptsToTheEnd();

// Whether the progress line is worth drawing: the stream is the process's stderr and a terminal.
bool DrawsProgressBar(const std::ostream& err);

// The progress line: "building  42%  0:12 elapsed, 0:17 left" (the time left once a share is
// done to go by; hours as H:MM:SS).
std::string ProgressLineText(std::string_view label, std::uint64_t position, std::uint64_t total,
                             double elapsedSeconds);

// Answers false once Ctrl-C was pressed inside an InterruptScope; when drawBar is set, draws the
// progress line in place (carriage return, the line, the rest of the terminal line cleared),
// at once and then at most every tenth of a second.
ProgressCallback TerminalProgress(std::ostream& err, std::string_view label, bool drawBar);

// Erases the progress line, leaving the terminal line empty for what the run says next.
void EndProgress(std::ostream& err, bool drawBar);

}  // namespace vocara::cli
