#include "program/shell/SasSession.h"

#include "base/MessageId.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "program/shell/AppFlags.h"
#include "program/shell/MessageBoxes.h"

namespace vocara {

bool SasEditAllowed(SasSession& session) {
  if (!session.sas.readOnly) return true;
  if (!session.readOnlyShown) {
    session.readOnlyShown = true;
    ShowErrorMessage(session.desktop, MessageId::SasReadOnly);
  }
  return false;
}

void SasReadPage(SasSession& session) {
  // Pending edits are written back before a page is read, so another program's change of the
  // file is what the page shows from now on.
  SasFollowReplacedFile(session.sas);
  const bool read = SasReadPageRecords(session.sas);
  session.flags &= ~SasPageDirty;
  // Another page, or the same after a change through the file: its notes are listed again.
  session.pageNotesStale = true;
  if (!read) ShowErrorMessage(session.desktop, MessageId::InvalidFileHandle);
}

void SasWriteBack(SasSession& session) {
  if (!(session.flags & SasPageDirty) || MouseDragHeld(session)) return;
  SasDocument& sas = session.sas;
  // A read-only file takes no edits, so there is nothing of the user's to write.
  if (!sas.file.IsOpen() || (sas.readOnly && !SasEditAllowed(session))) {
    session.flags &= ~SasPageDirty;
    return;
  }
  // The lock is taken here first (the write takes it again on the same file at once), so that a
  // file another program is changing says so rather than looking like a write that failed. An
  // operation's private copy is no one else's to lock.
  if (!sas.privateCopy) {
    const MessageId refused = SasLockForChange(sas, false, session.lockWait);
    if (refused != MessageId::None) {
      ShowErrorMessage(session.desktop,
                       refused == MessageId::SasBusy ? refused : MessageId::InvalidFileHandle);
      return;
    }
  }
  const bool written = SasWriteRecords(sas, session.settings);
  if (!sas.privateCopy) SasUnlock(sas);
  if (written) {
    session.flags &= ~SasPageDirty;
  } else {
    ShowErrorMessage(session.desktop, MessageId::InvalidFileHandle);
  }
}

std::pair<std::uint32_t, std::uint32_t> SasRangeOrWholeFile(const SasSession& session) {
  const SasRange& range = session.sas.range;
  if ((session.flags & SasRangeSelected) && range.right > range.left && range.left >= 0)
    return {static_cast<std::uint32_t>(range.left), static_cast<std::uint32_t>(range.right)};
  return {0, session.sas.shownFrameCount};
}

}  // namespace vocara
