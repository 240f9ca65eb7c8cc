#include "engine/sas/SasChange.h"

#include <algorithm>
#include <utility>

namespace vocara {
namespace {

// A writer that gave up the file it opened for the one now at its name goes round again:
// a handful of rounds only happen when writers keep replacing the file.
constexpr int FollowRounds = 8;

// Writes the changes into the file as they are, without a journal (a private copy).
bool ApplyDirectly(FileHandle& file, const FileChanges& changes) {
  for (const FileWrite& write : changes.writes)
    if (!file.Seek(write.offset) || !file.Write(write.bytes.data(), write.bytes.size())) return false;
  return file.Truncate(changes.length);
}

// Opens the file now at the document's name in place of the one the document holds.
MessageId Follow(SasDocument& document, bool reread) {
  SasDocument now;
  if (const MessageId refused = SasOpenDocument(now, document.path, SasAccess::ReadWrite);
      refused != MessageId::None)
    return refused;
  if (now.header.frameCount != document.header.frameCount) return MessageId::SasBusy;
  document.file = std::move(now.file);
  if (reread) {
    document.header = now.header;
    document.links = std::move(now.links);
  }
  return MessageId::None;
}

}  // namespace

MessageId SasLockForChange(SasDocument& document, bool reread, std::chrono::milliseconds wait,
                           const KeepWaiting& keepWaiting) {
  if (!document.file.IsOpen() || document.readOnly) return MessageId::InvalidFileHandle;
  for (int round = 0; round < FollowRounds; ++round) {
    if (!document.file.Lock(wait, keepWaiting)) return MessageId::SasBusy;
    if (document.file.IsFileAt(document.path)) return MessageId::None;
    // Another writer replaced the file: the name denotes another one now.
    document.file.Unlock();
    if (const MessageId refused = Follow(document, reread); refused != MessageId::None) return refused;
  }
  return MessageId::SasBusy;
}

bool SasFollowReplacedFile(SasDocument& document) {
  if (!document.file.IsOpen() || document.readOnly || document.privateCopy ||
      document.file.IsFileAt(document.path))
    return false;
  return Follow(document, true) == MessageId::None;
}

void SasUnlock(SasDocument& document) { document.file.Unlock(); }

bool SasChangeRecords(SasDocument& document, const FileChanges& changes, int steps) {
  if (document.privateCopy) return ApplyDirectly(document.file, changes);
  if (SasLockForChange(document, false) != MessageId::None) return false;
  const bool done = ChangeFileSafely(document.path, document.file, changes, steps);
  SasUnlock(document);
  return done;
}

MessageId SasChange::Begin(SasDocument& document, bool reread, std::chrono::milliseconds wait,
                           const KeepWaiting& keepWaiting) {
  Abandon();
  if (const MessageId refused = SasLockForChange(document, reread, wait, keepWaiting);
      refused != MessageId::None)
    return refused;
  // The document's handle holds the file's lock already.
  if (const MessageId refused = copy_.Begin(document.path, true, OutputLock::None);
      refused != MessageId::None) {
    SasUnlock(document);
    return refused;
  }
  if (!copy_.File().CopyFrom(document.file, document.file.Size())) {
    copy_.Abandon();
    SasUnlock(document);
    return MessageId::OutputWriteFailed;
  }
  std::swap(document.file, copy_.File());  // the copy into the document, the file into the output
  document.privateCopy = true;
  document_ = &document;
  return MessageId::None;
}

bool SasChange::Commit() {
  if (!document_) return false;
  SasDocument& document = *document_;
  std::swap(document.file, copy_.File());  // the copy back into the output, the original out
  document.privateCopy = false;
  document_ = nullptr;
  FileHandle renamed;
  if (!copy_.Commit(&renamed)) {
    SasUnlock(document);
    return false;
  }
  document.file = std::move(renamed);  // closing the original ends its lock
  return true;
}

void SasChange::Abandon() {
  if (!document_) return;
  SasDocument& document = *document_;
  std::swap(document.file, copy_.File());
  document.privateCopy = false;
  document_ = nullptr;
  copy_.Abandon();
  SasUnlock(document);
}

}  // namespace vocara
