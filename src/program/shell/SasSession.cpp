#include "program/shell/SasSession.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "base/MessageId.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/ViewState.h"

namespace vocara {

namespace {

void Push(SasSession& session, SasUndoAction action) {
  SasUndoJournal& journal = session.undo;
  const std::size_t size = action.Bytes();
  journal.redo.clear();
  if (size > SasUndoBudget) {
    journal.undo.clear();
    journal.bytes = 0;
    return;
  }
  journal.bytes += size;
  journal.undo.push_back(std::move(action));
  while (journal.bytes > SasUndoBudget && !journal.undo.empty()) {
    journal.bytes -= journal.undo.front().Bytes();
    journal.undo.pop_front();
  }
}

// Collects what a file operation changed for the undo journal, within the journal's budget.
class ChangeCollector {
 public:
  FrameChangeSink Sink() {
    return [this](std::uint32_t index, const SasFrame& before, const SasFrame& after) {
      if (overflow_) return;
      if ((changes_.size() + 1) * BytesPerChange > SasUndoBudget) {
        overflow_ = true;
        changes_.clear();
        return;
      }
      // A record changed twice keeps its first "before".
      changes_.emplace(index, std::make_pair(before, after)).first->second.second = after;
    };
  }
  bool Overflow() const { return overflow_; }
  // The operation's changes did not land: nothing of them to undo.
  void Forget() {
    changes_.clear();
    overflow_ = false;
  }
  std::map<std::uint32_t, std::pair<SasFrame, SasFrame>>& Changes() { return changes_; }

 private:
  static constexpr std::size_t BytesPerChange = 2 * (sizeof(std::uint32_t) + sizeof(SasFrame));
  std::map<std::uint32_t, std::pair<SasFrame, SasFrame>> changes_;
  bool overflow_ = false;
};

}  // namespace

bool SasEditAllowed(SasSession& session) {
  if (!session.sas.readOnly) return true;
  if (!session.readOnlyShown) {
    session.readOnlyShown = true;
    ShowErrorMessage(session.desktop, MessageId::SasReadOnly);
  }
  return false;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> SasEditRange(SasSession& session) {
  if (!SasEditAllowed(session)) return std::nullopt;
  return SasRangeOrWholeFile(session);
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

std::size_t SasUndoAction::Bytes() const {
  return (before.size() + after.size()) * sizeof(std::pair<std::uint32_t, SasFrame>) +
         (linksBefore.size() + linksAfter.size()) * sizeof(TimeLink) + sizeof(SasUndoAction);
}

void SasEditBegin(SasSession& session) {
  SasUndoJournal& journal = session.undo;
  const SasDocument& sas = session.sas;
  journal.open = true;
  journal.pageFirst = sas.pageFirst;
  journal.pageCount = std::clamp(sas.pageCount, 0, SasPageCapacity);
  journal.pageBefore.assign(sas.page.begin(), sas.page.begin() + journal.pageCount);
  journal.linksBefore = sas.links;
}

void SasEditEnd(SasSession& session) {
  SasUndoJournal& journal = session.undo;
  if (!journal.open) return;
  journal.open = false;
  const SasDocument& sas = session.sas;
  SasUndoAction action;
  // A page that moved under the action (it cannot while the mouse is held) records nothing.
  if (sas.pageFirst == journal.pageFirst && sas.pageCount == journal.pageCount) {
    for (std::int32_t k = 0; k < journal.pageCount; ++k) {
      const SasFrame& was = journal.pageBefore[static_cast<std::size_t>(k)];
      const SasFrame& now = sas.page[static_cast<std::size_t>(k)];
      if (was == now) continue;
      const auto index = static_cast<std::uint32_t>(journal.pageFirst + k);
      action.before.emplace_back(index, was);
      action.after.emplace_back(index, now);
    }
  }
  action.linksBefore = std::move(journal.linksBefore);
  action.linksAfter = sas.links;
  journal.pageBefore.clear();
  if (action.Empty()) return;
  session.flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  Push(session, std::move(action));
  UpdateUndoStates(session);
}

void SasRecordFileAction(SasSession& session, SasUndoAction action) {
  action.linksAfter = session.sas.links;
  if (action.Empty()) return;
  session.flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  Push(session, std::move(action));
  UpdateUndoStates(session);
}

void UpdateUndoStates(SasSession& session) {
  const bool sasOpen = (session.flags & SasOpen) != 0;
  session.windows.SetMenuItemEnabled(Id(CommandId::Undo), sasOpen && !session.undo.undo.empty());
  session.windows.SetMenuItemEnabled(Id(CommandId::Redo), sasOpen && !session.undo.redo.empty());
}

void SasUndoClear(SasSession& session) {
  session.undo.undo.clear();
  session.undo.redo.clear();
  session.undo.bytes = 0;
  session.undo.open = false;
  UpdateUndoStates(session);
}

void SasViewSetDataWidth(WindowStates& windows, SasSession& session) {
  // The frames from firstFrame on, as far as the page holds them: a page read that came up
  // short leaves nothing behind its records to draw.
  const std::int64_t frames = std::min<std::int64_t>(
      static_cast<std::int64_t>(session.sas.shownFrameCount) - session.sas.firstFrame, session.sas.pageCount);
  windows.geometry[SasView].dataWidth =
      static_cast<int>(std::clamp<std::int64_t>(frames, 0, std::numeric_limits<std::int32_t>::max()));
}

bool RunFileOperation(WindowStates& windows, SasSession& session, bool writeBackFirst,
                      const SasFileOperation& operation) {
  if (!SasEditAllowed(session)) return false;
  SasDocument& sas = session.sas;
  const std::int32_t pageFirst = sas.pageFirst;
  const std::int32_t pageCount = std::clamp(sas.pageCount, 0, SasPageCapacity);
  const std::vector<SasFrame> pageBefore(sas.page.begin(), sas.page.begin() + pageCount);
  const std::vector<TimeLink> linksBefore = sas.links;
  if (writeBackFirst) {
    SasWriteBack(session);
    if (session.flags & SasPageDirty) return false;  // the write-back failed and said so; nothing is lost
  }
  ChangeCollector collector;
  const SasHeader headerAtStart = sas.header;
  const std::vector<TimeLink> linksAtStart = sas.links;
  SasChange change;
  const MessageId refused = change.Begin(sas, false, session.lockWait);
  const FileOperationEnd end =
      refused == MessageId::None ? operation(sas, collector.Sink()) : FileOperationEnd::Failed;
  const bool done = end == FileOperationEnd::Done && change.Commit();
  if (!done) {
    // The file is as it was, and so are the header and links that go back with it.
    change.Abandon();
    sas.header = headerAtStart;
    sas.links = linksAtStart;
    collector.Forget();
  }
  SasReadPage(session);
  SasViewSetDataWidth(windows, session);
  if (!done && end != FileOperationEnd::Stopped)
    ShowErrorMessage(session.desktop, refused == MessageId::SasBusy ? refused : MessageId::InvalidFileHandle);

  if (collector.Overflow()) {
    SasUndoClear(session);
  } else {
    auto& changes = collector.Changes();
    if (sas.pageFirst == pageFirst) {
      for (std::int32_t k = 0; k < std::min(pageCount, sas.pageCount); ++k) {
        const auto index = static_cast<std::uint32_t>(pageFirst + k);
        const SasFrame& shown = pageBefore[static_cast<std::size_t>(k)];
        const SasFrame& now = sas.page[static_cast<std::size_t>(k)];
        auto it = changes.find(index);
        if (it != changes.end()) {
          it->second.first = shown;
        } else if (!(shown == now)) {
          changes.emplace(index, std::make_pair(shown, now));
        }
      }
    }
    SasUndoAction action;
    for (const auto& [index, change] : changes) {
      if (change.first == change.second) continue;
      action.before.emplace_back(index, change.first);
      action.after.emplace_back(index, change.second);
    }
    action.linksBefore = linksBefore;
    SasRecordFileAction(session, std::move(action));
  }
  session.flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  windows.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
  session.windows.Invalidate(SasView, nullptr);
  return done;
}

}  // namespace vocara
