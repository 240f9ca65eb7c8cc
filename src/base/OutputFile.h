// The one way to write an output file: whole or not at all.
//
// The bytes go to a temporary file beside the target (same folder, so the final rename never
// crosses file systems), named ".<target name>.vocara-<process>-<n>.tmp". Commit flushes it,
// waits until it is on the disk and renames it over the target, which the system does in one
// step: a reader, a crash or a kill sees either the previous file of that name or the new one,
// never half of it. Abandon (Esc, a failed write, a destroyed OutputFile) removes the
// temporary file and leaves the previous file as it was.
//
// A target that exists but is not a regular file (a device, a pipe, a folder) is refused: it
// is never written through, truncated, renamed over or deleted. Neither is a file the user may
// not write: a rename would replace it only because its folder is writable, where copying onto
// it would be refused. A replaced file keeps its permission bits and, where the user may give
// it, its group. A symbolic link is followed to the file it names, even one that does not
// exist yet, so that file is the one written and the link stays.
//
// Every writer of a file holds its advisory lock (the one in-place changes hold) from Begin to
// Commit or Abandon: an output waits for a change of its target in progress in another
// process, and a change waits for the output, so neither's result replaces the other's
// unseen. When the name denotes another file once the lock is had (the other writer renamed
// its result over it), the lock moves to that one. When root replaces a file, the new one keeps
// the old one's owner; a file with other names (hard links) is refused, since a rename would
// leave them on the old file.
//
// A temporary file left by a killed process is never taken for output; the next output into
// the same folder removes those whose process has ended, and a journal of changes in place
// left beside the target belongs to the file the output replaces, so it goes too. The CLI's
// signal handlers call RemovePendingOutputs, so Ctrl-C and SIGTERM leave no temporary file
// behind either.
#pragma once

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "base/Progress.h"

namespace vocara {

// How long a writer waits for another writer of its target before it gives up.
inline constexpr std::chrono::milliseconds WriterLockWait{10000};

// Whether an output takes its target's lock: None for a target the caller holds locked already
// (a copy that replaces a SAS file under change) or owns alone (a journal).
enum class OutputLock { Target, None };

// Asked while a writer waits for a lock: false stops the wait (the command line's Ctrl-C).
// Process-wide; none by default.
void SetLockWaitHook(std::function<bool()> keepWaiting);
bool KeepWaitingForLock();

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile() { Abandon(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file for `target` (open for reading back as well when `readable`).
  // None when it is open; "The target is not a regular file" for a target that exists as
  // something else; "Invalid File Handle" when the target exists and the user may not write it,
  // or the temporary file cannot be created (missing folder, no permission); FileBusy when
  // another writer kept the target locked for WriterLockWait; HardLinkedTarget for a target
  // with other names. An earlier output still open on this object is abandoned first.
  MessageId Begin(const std::string& target, bool readable = false, OutputLock lock = OutputLock::Target);
  // Begin for an output written while `inputs` are read: a target that is one of them (by any
  // name) is refused first with "Opened file can not be overwritten", since creating it would
  // cut a file being read. Empty input paths are skipped.
  MessageId Begin(const std::string& target, std::initializer_list<std::string_view> inputs);

  bool IsOpen() const { return file_.IsOpen(); }
  FileHandle& File() { return file_; }
  const std::string& Target() const { return target_; }
  const std::string& TemporaryPath() const { return temporary_; }

  // Syncs the temporary file and renames it over the target. False, with the temporary file
  // removed and the target untouched, when any of that fails (a full disk shows up here at
  // the latest). Written bytes that failed earlier must be reported by the writer itself:
  // Commit cannot know about a Write whose result was ignored. With `keep` the open file
  // moves there instead of being closed: it is the target now.
  bool Commit(FileHandle* keep = nullptr);
  // Removes the temporary file; the target keeps what it held. Does nothing when not open.
  void Abandon();
  // Commit when every byte went out (`complete`), else Abandon: None, or OutputWriteFailed with
  // the target untouched.
  MessageId Finish(bool complete);

  // The end of a long operation's output: committed when every byte was written and the
  // operation ran to its end (or was stopped and `keepWhenStopped`), abandoned otherwise.
  struct LongEnd {
    MessageId message = MessageId::None;  // OutputWriteFailed when a write or the commit failed
    LongOperationResult result = LongOperationResult::Done;  // Cancelled when stopped
    bool kept = false;                                       // the target holds the new file
  };
  LongEnd FinishLong(bool written, bool stopped, bool keepWhenStopped = false);

 private:
  void Release();

  FileHandle file_;
  FileHandle lock_;  // the target as it was, locked while this output is open
  std::string target_;
  std::string temporary_;
  int slot_ = -1;
};

// The file a name leads to through any symbolic links, also when the last one names a file that
// does not exist yet (the file an output to that name writes); the name itself when it is no
// link (or links go round).
std::string FollowLinks(const std::string& name);

// How many outputs this process has committed so far (a target replaced by a new file).
unsigned CommittedOutputs();

// Removes the temporary file of every output in progress in this process. Only calls that are
// safe inside a signal handler.
void RemovePendingOutputs() noexcept;

}  // namespace vocara
