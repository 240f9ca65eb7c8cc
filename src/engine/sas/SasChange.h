// Changes of the open SAS file that land whole or not at all, one writer at a time.
//
// An operation over many frames (Global Edit, Snap to Scale, Re-analyse Range, Repair Octave
// Jumps, undo and redo of them) writes wherever its frames lie. Written into the file itself,
// a crash, a kill, a full disk or a stop part way would leave some frames changed and others
// not: a file that opens and looks sound, yet is neither the take as it was nor as it should
// be. So such an operation works on a copy beside the file (SasChange): the copy is synced
// and renamed over the file only when the operation has run to its end, which the system does
// in one step. Until then the file is exactly as it was; afterwards exactly as the operation
// left it. The copy keeps the file's permissions and group.
//
// Every process that changes a SAS file holds an advisory lock on it for the change: the
// command-line tool for its whole run, the program for each write-back and each operation.
// A second writer waits for the first; when the first replaced the file, the second finds the
// name pointing at another file once it has the lock and follows it, so it changes what the
// first wrote and never a copy of what was there before.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "base/FileJournal.h"
#include "base/MessageId.h"
#include "base/OutputFile.h"
#include "engine/sas/SasDocument.h"

namespace vocara {

// How long a writer waits for another one before it gives up ("The SAS file is being
// changed by another program").
inline constexpr std::chrono::milliseconds SasLockWait{10000};

// Whether to go on waiting for the lock (the user may stop a wait).
using KeepWaiting = std::function<bool()>;

// Takes the lock of the document's file for a change and makes sure the document has the file
// its name denotes now. When another process renamed a file over that name since the document
// was opened, the new file is opened in its place: with `reread` its header and links replace
// the document's (the command-line tool, which has not changed them); without, the document
// keeps its own (the program writes its header and links back). A file of another frame count
// is not followed: "The SAS file is being changed by another program". Refused when the lock
// stayed with another writer for `wait`.
MessageId SasLockForChange(SasDocument& document, bool reread, std::chrono::milliseconds wait = SasLockWait,
                           const KeepWaiting& keepWaiting = {});
void SasUnlock(SasDocument& document);

// A document open for writing whose name another process has since given to a new file (a
// vocara-cli change while the program holds the take) goes on with that file, its header and
// its links, so that pages are read from what the name holds now. True when it followed; false
// when nothing was replaced or the new file cannot be followed (then it keeps the old one until
// its next change, which says so).
bool SasFollowReplacedFile(SasDocument& document);

// The header, link-table or page change of the open file as one journalled change under the
// lock; written straight into the copy while a SasChange is in progress (the copy is replaced
// whole anyway). False when a write failed or the lock could not be had.
bool SasChangeRecords(SasDocument& document, const FileChanges& changes, int steps = AllSteps);

class SasChange {
 public:
  SasChange() = default;
  ~SasChange() { Abandon(); }
  SasChange(const SasChange&) = delete;
  SasChange& operator=(const SasChange&) = delete;

  // Locks the document's file (SasLockForChange), copies it beside itself and points the
  // document at the copy: from here every write of an operation goes to the copy. None, the
  // lock's refusal, "Invalid File Handle" when the copy cannot be made there (a folder the user
  // may not write, a file the user may not change) or OutputWriteFailed when the copying
  // failed (a full disk). Nothing is changed when it is refused.
  MessageId Begin(SasDocument& document, bool reread, std::chrono::milliseconds wait = SasLockWait,
                  const KeepWaiting& keepWaiting = {});
  bool Active() const { return document_ != nullptr; }
  // Syncs the copy and renames it over the file; the document goes on with it, now the file,
  // and the lock ends. False (the file as it was, the document back on it) when any step fails.
  bool Commit();
  // Drops the copy: the file and the document are as they were before Begin; the lock ends.
  void Abandon();

 private:
  SasDocument* document_ = nullptr;
  OutputFile copy_;  // while active, its handle is the original file (locked)
};

}  // namespace vocara
