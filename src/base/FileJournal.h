// Changes to a file in place that survive a crash whole or not at all.
//
// A file that is changed where it lies (the open SAS: its header, a page of frames, the link
// table, a new length) would be left half old, half new by a crash between two writes, and
// could then fail to open at all (a link count that promises more links than the file holds).
// So the changes are first written to a journal beside the file, "<name>.journal", which
// appears whole or not at all (OutputFile) and carries a checksum; only then is the file
// changed, synced, and the journal removed. The next opening of the file finds a journal only
// when a change was cut short, and completes it from the journal before reading; a journal
// that does not check out (never the case for one written whole) is removed unused, since the
// file itself was not touched before the journal was complete.
//
// A journal belongs to one file, as it was when the journal was written: it names that file's
// identity, its size, a checksum of every byte the change leaves alone, and the bytes each
// write replaces as they were. It is applied only to a file on which all of that still holds,
// each written place holding its old bytes, its new ones or (where a crash cut a write) a mix
// of the two, byte by byte. A copy of another take put in its place (cp over it, rm and cp with
// the inode number reused, a Build of that name, an edit of another copy) fails the checksum or
// the written places, and the journal is set aside beside the file ("<name>.journal.stale"),
// never applied and never deleted unseen.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/FileHandle.h"

namespace vocara {

struct FileWrite {
  std::uint64_t offset = 0;
  std::vector<std::uint8_t> bytes;
};

// Writes in order, then the file ends at `length` bytes.
struct FileChanges {
  std::vector<FileWrite> writes;
  std::uint64_t length = 0;
  // Which file the changes are for and what it held; ChangeFileSafely fills these in. The
  // writes do not overlap.
  FileIdentity identity;
  std::uint64_t size = 0;                           // the file's size before the change
  std::uint64_t untouched = 0;                      // checksum of the bytes no write covers
  std::vector<std::vector<std::uint8_t>> replaced;  // per write, its bytes as they were
};

std::string JournalPath(const std::string& path);

// The journal's bytes: "VJN3", the file's device and inode, its size before, the new length,
// the checksum of the untouched bytes, the write count, each write as offset, size, bytes,
// then the size and bytes it replaces (little-endian, 64-bit numbers), then a 64-bit FNV-1a
// checksum of all that.
std::vector<std::uint8_t> SerialiseJournal(const FileChanges& changes);
// False for anything but a whole journal with a matching checksum.
bool ParseJournal(const std::vector<std::uint8_t>& bytes, FileChanges& changes);

// The steps of one change, for the crash tests: journal written, each write, the new length,
// synced, journal removed. A run stopped after n steps leaves the files as a crash there would.
inline constexpr int AllSteps = std::numeric_limits<int>::max();

// Journals the changes for the file at `path`, applies them to `file` (open on that path for
// update, locked by the caller) and removes the journal. False when a step failed (or writes
// overlap): when the journal could not be written the file is untouched; after that the
// journal stays for the next opening to finish.
bool ChangeFileSafely(const std::string& path, FileHandle& file, const FileChanges& changes,
                      int steps = AllSteps);

enum class JournalRecovery { NoJournal, Completed, Discarded, Failed };

// Completes a change cut short, before the file at `path` is read (under the file's lock):
// applies a whole journal written for `file` (open for update) and removes it, or sets aside a
// journal that does not check out or was written for another file, naming where in
// `setAside`. Failed when the journal is whole and the file's own but could not be applied; it
// then stays.
JournalRecovery RecoverFileChanges(const std::string& path, FileHandle& file,
                                   std::string* setAside = nullptr);

// Whether a journal waits beside `path`.
bool JournalPending(const std::string& path);

}  // namespace vocara
