#include "program/shell/SasPage.h"

#include "base/MessageId.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/MessageBoxes.h"

namespace vocara {
namespace {

void Clear(App& app, std::uint32_t bits) { app.flags &= ~bits; }

}  // namespace

bool SasEditAllowed(App& app) {
  if (!app.sas.readOnly) return true;
  if (!app.sasReadOnlyShown) {
    app.sasReadOnlyShown = true;
    ShowErrorMessage(app.ports.desktop, MessageId::SasReadOnly);
  }
  return false;
}

void SasReadPage(App& app) {
  // Pending edits are written back before a page is read, so another program's change of the
  // file is what the page shows from now on.
  SasFollowReplacedFile(app.sas);
  const bool read = SasReadPageRecords(app.sas);
  Clear(app, SasPageDirty);
  // Another page, or the same after a change through the file: its notes are listed again.
  app.pageNotesStale = true;
  if (!read) ShowErrorMessage(app.ports.desktop, MessageId::InvalidFileHandle);
}

void SasWriteBack(App& app) {
  if (!(app.flags & SasPageDirty)) return;
  // A read-only file takes no edits, so there is nothing of the user's to write.
  if (!app.sas.file.IsOpen() || (app.sas.readOnly && !SasEditAllowed(app))) {
    Clear(app, SasPageDirty);
    return;
  }
  // The lock is taken here first (the write takes it again on the same file at once), so that a
  // file another program is changing says so rather than looking like a write that failed. An
  // operation's private copy is no one else's to lock.
  SasDocument& sas = app.sas;
  if (!sas.privateCopy) {
    const MessageId refused = SasLockForChange(sas, false, app.sasLockWait);
    if (refused != MessageId::None) {
      ShowErrorMessage(app.ports.desktop,
                       refused == MessageId::SasBusy ? refused : MessageId::InvalidFileHandle);
      return;
    }
  }
  const bool written = SasWriteRecords(sas, app.settings);
  if (!sas.privateCopy) SasUnlock(sas);
  if (written) {
    Clear(app, SasPageDirty);
  } else {
    ShowErrorMessage(app.ports.desktop, MessageId::InvalidFileHandle);
  }
}

std::pair<std::uint32_t, std::uint32_t> SasRangeOrWholeFile(const App& app) {
  const SasRange& range = app.sas.range;
  if ((app.flags & SasRangeSelected) && range.right > range.left && range.left >= 0)
    return {static_cast<std::uint32_t>(range.left), static_cast<std::uint32_t>(range.right)};
  return {0, app.sas.shownFrameCount};
}

}  // namespace vocara
