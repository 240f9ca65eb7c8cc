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
// A journal belongs to one file: it names that file's identity and the bytes its first write
// replaces as they were. A journal left beside a file that has since been replaced (a new
// Build of that name) or changed otherwise finds neither the identity nor the bytes it expects
// (old or new) and is removed unused, never applied to a file it was not written for.
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
  // Which file the changes are for, and the bytes the first write replaces as they were
  // before; ChangeFileSafely fills both in.
  FileIdentity identity;
  std::vector<std::uint8_t> replaced;
};

std::string JournalPath(const std::string& path);

// The journal's bytes: "VJN2", the file's device and inode, the length, the size and bytes of
// what the first write replaces, the write count, each write as offset, size and bytes
// (little-endian, 64-bit numbers), then a 64-bit FNV-1a checksum of all that.
std::vector<std::uint8_t> SerialiseJournal(const FileChanges& changes);
// False for anything but a whole journal with a matching checksum.
bool ParseJournal(const std::vector<std::uint8_t>& bytes, FileChanges& changes);

// The steps of one change, for the crash tests: journal written, each write, the new length,
// synced, journal removed. A run stopped after n steps leaves the files as a crash there would.
inline constexpr int AllSteps = std::numeric_limits<int>::max();

// Journals the changes for the file at `path`, applies them to `file` (open on that path for
// update) and removes the journal. False when a step failed: when the journal could not be
// written the file is untouched; after that the journal stays for the next opening to finish.
bool ChangeFileSafely(const std::string& path, FileHandle& file, const FileChanges& changes,
                      int steps = AllSteps);

enum class JournalRecovery { NoJournal, Completed, Discarded, Failed };

// Completes a change cut short, before the file at `path` is read: applies a whole journal
// written for `file` (open for update) and removes it, or removes a journal that does not check
// out or belongs to another file (another identity, or the first write's bytes neither as they
// were nor as the journal would make them). Failed when the journal is whole and the file's own
// but could not be applied; it then stays.
JournalRecovery RecoverFileChanges(const std::string& path, FileHandle& file);

}  // namespace vocara
