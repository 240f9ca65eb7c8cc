#include "program/commands/SasFileOperation.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "base/MessageId.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "program/commands/SasCommands.h"
#include "program/commands/SasUndo.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/MessageBoxes.h"
#include "program/shell/SasSession.h"
#include "program/views/SasView.h"

namespace vocara {
namespace {

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

bool RunFileOperation(App& app, bool writeBackFirst, const SasFileOperation& operation) {
  if (!SasEditAllowed(app.session)) return false;
  SasDocument& sas = app.session.sas;
  const std::int32_t pageFirst = sas.pageFirst;
  const std::int32_t pageCount = std::clamp(sas.pageCount, 0, SasPageCapacity);
  const std::vector<SasFrame> pageBefore(sas.page.begin(), sas.page.begin() + pageCount);
  const std::vector<TimeLink> linksBefore = sas.links;
  if (writeBackFirst) {
    SasWriteBack(app.session);
    if (app.flags & SasPageDirty) return false;  // the write-back failed and said so; nothing is lost
  }
  ChangeCollector collector;
  const SasHeader headerAtStart = sas.header;
  const std::vector<TimeLink> linksAtStart = sas.links;
  SasChange change;
  const MessageId refused = change.Begin(sas, false, app.session.lockWait);
  const FileOperationEnd end =
      refused == MessageId::None ? operation(collector.Sink()) : FileOperationEnd::Failed;
  const bool done = end == FileOperationEnd::Done && change.Commit();
  if (!done) {
    // The file is as it was, and so are the header and links that go back with it.
    change.Abandon();
    sas.header = headerAtStart;
    sas.links = linksAtStart;
    collector.Forget();
  }
  SasReadPage(app.session);
  SasViewSetDataWidth(app.windows, app.session);
  if (!done && end != FileOperationEnd::Stopped)
    ShowErrorMessage(app.ports.desktop,
                     refused == MessageId::SasBusy ? refused : MessageId::InvalidFileHandle);

  if (collector.Overflow()) {
    SasUndoClear(app.session);
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
    SasRecordFileAction(app.session, std::move(action));
  }
  app.flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
  app.redraw |= SasUpperBandRedraw | SasLowerBandRedraw;
  app.ports.windows.Invalidate(SasView, nullptr);
  return done;
}

}  // namespace vocara
