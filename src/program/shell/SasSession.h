// The open SAS as one object: the document with its page and links, the page's write-back and
// the file's lock, the undo journal, the drag that holds the page, the notes chosen in Note mode
// and those listed for the page shown, and the last correction report. Everything that reads,
// edits or writes the open SAS goes through it, so no edit is lost, none reaches a read-only
// file, and nothing writes the page back while a drag is editing it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "base/Settings.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRecords.h"
#include "platform/Platform.h"
#include "program/shell/MouseDrag.h"

namespace vocara {

struct WindowStates;

// Undo and redo keep each user action as the records it changed, by their index in the file,
// before and after, and the link table before and after (SasUndo).
inline constexpr std::size_t SasUndoBudget = std::size_t{64} << 20;

struct SasUndoAction {
  std::vector<std::pair<std::uint32_t, SasFrame>> before;
  std::vector<std::pair<std::uint32_t, SasFrame>> after;
  std::vector<TimeLink> linksBefore;
  std::vector<TimeLink> linksAfter;
  std::size_t Bytes() const;
  bool Empty() const { return before.empty() && linksBefore == linksAfter; }
};

struct SasUndoJournal {
  std::deque<SasUndoAction> undo;
  std::deque<SasUndoAction> redo;
  std::size_t bytes = 0;
  // The action in progress: the page and links as SasEditBegin found them.
  bool open = false;
  std::int32_t pageFirst = 0;
  std::int32_t pageCount = 0;
  std::vector<SasFrame> pageBefore;
  std::vector<TimeLink> linksBefore;
};

struct SasSession {
  // The session reports through the program's state word (SasOpen, SasPageDirty,
  // SasRangeSelected, CorrectedTempCurrent), the desktop's message boxes and the Undo and Redo
  // menu items, and writes the header with the live settings.
  SasSession(std::uint32_t& stateWord, platform::DesktopPort& messages, platform::WindowPort& menus,
             const GeneralSettings& live)
      : flags(stateWord), desktop(messages), windows(menus), settings(live) {}
  SasSession(const SasSession&) = delete;
  SasSession& operator=(const SasSession&) = delete;

  SasDocument sas;
  SasUndoJournal undo;
  // The left-button drag in progress in any window (SasMouse). While it is held the page is
  // the drag's: SasWriteBack leaves it alone.
  MouseDrag mouse;
  // The notes chosen in Note mode, sorted by frame and apart, as the page's listing gave them (a
  // note cut by the page's edge is changed as a whole); kept while the SAS stays open, also when
  // scrolled off the page.
  std::vector<NoteSpan> chosenNotes;
  // The take's notes as sung over the page shown (ListNotes), marked in the pitch pane while
  // showNotes is set and no correction report is shown. Every page read and the SAS's close set
  // pageNotesStale; the next paint of the pitch pane lists them again, so scrolling through
  // many pages between two paints lists only the last.
  CorrectionReport pageNotes;
  bool pageNotesStale = true;
  // How in tune the last Correct or Play Corrected came out, note by note; the SAS window marks
  // the achieved pitches while correctionReportShown is set (a whole measurement of the open
  // SAS). Cleared with the SAS.
  CorrectionReport correctionReport;
  bool correctionReportShown = false;
  // Whether this read-only SAS already said so: the message comes once per document.
  bool readOnlyShown = false;
  // How long a write-back or an operation waits while another program (vocara-cli) is changing
  // the SAS file, the hourglass showing, before it says so and leaves the file to it.
  std::chrono::milliseconds lockWait = SasLockWait;

  std::uint32_t& flags;
  platform::DesktopPort& desktop;
  platform::WindowPort& windows;
  const GeneralSettings& settings;
};

// Whether a left-button drag is held in any window.
inline bool MouseDragHeld(const SasSession& session) { return session.mouse.state != 0; }

// The frames an operation of the whole take works on: the SAS range when one is selected, or
// every frame.
std::pair<std::uint32_t, std::uint32_t> SasRangeOrWholeFile(const SasSession& session);

// Whether the open SAS may be changed. A read-only file refuses, and the first refusal of a
// document says "The SAS file is read-only; use Save As to edit a copy."; every command that
// edits or writes the SAS asks this first.
bool SasEditAllowed(SasSession& session);

// What an edit of the whole take works on: SasRangeOrWholeFile, or nothing when the SAS may not
// be changed (SasEditAllowed, which says so).
std::optional<std::pair<std::uint32_t, std::uint32_t>> SasEditRange(SasSession& session);

// Loads the page from firstFrame (never past the last frame) and clears SasPageDirty without
// writing: a caller with edits writes them back first. A failed read is reported.
void SasReadPage(SasSession& session);

// When SasPageDirty is set: header (with the Bar Ruler, Edit SAS and Apply Correction fields of
// its settings copy taken from the live settings), page and links go back to the file, which
// ends behind the links; SasPageDirty is cleared. A failed write is reported and leaves
// SasPageDirty set, so the edits are not taken for saved; so does a file another program kept
// locked for the session's lockWait, with the message that says so (MessageId::SasBusy).
// Nothing is written while a drag is held: the page is the drag's until its release.
void SasWriteBack(SasSession& session);

// The undo journal: one user action at a time, within SasUndoBudget bytes (the Undo and Redo
// commands are SasUndo's).
//
// Before an action that changes the page records or the links in memory.
void SasEditBegin(SasSession& session);
// After it: records what changed (nothing when nothing did), marks the corrected temporary
// file stale and updates the Undo and Redo items.
void SasEditEnd(SasSession& session);

// Records an action done through the file (a range operation): the changed records as the
// operation reported them, and the links before; the links after are the document's.
void SasRecordFileAction(SasSession& session, SasUndoAction action);

// Greys or enables the two items as the journal says.
void UpdateUndoStates(SasSession& session);
// Empties the journal (a SAS closed or replaced).
void SasUndoClear(SasSession& session);

// dataWidth of the SAS window: the frames from firstFrame on that the page holds. Painting,
// MoveCursor and every file operation refresh it, so it follows every page read.
void SasViewSetDataWidth(WindowStates& windows, SasSession& session);

// A change of the open SAS made through its file rather than through the page (Global Edit,
// Time Correct Disable/Enable, Silence, Global Clear, Snap to Scale, Re-analyse Range, Repair
// Octave Jumps), run the one way all of them run: pending page edits written back first
// (unless the operation means to drop them), the operation on a copy of the file that replaces
// it only when the operation ran to its end (SasChange), the page read again, one undo action
// and the redraw. An operation that fails or is stopped (Esc) leaves the file as it was.
//
// How an operation ended: run to its end, stopped by the user, or failed (the user is then told
// "Invalid File Handle").
enum class FileOperationEnd { Done, Stopped, Failed };

// The operation itself, over the SAS document: it reports every record it changes to the sink.
using SasFileOperation = std::function<FileOperationEnd(SasDocument& sas, const FrameChangeSink& sink)>;

// Done when the operation ran to its end, Failed otherwise.
inline FileOperationEnd DoneOrFailed(bool done) {
  return done ? FileOperationEnd::Done : FileOperationEnd::Failed;
}

// Runs `operation` on the open SAS. Refused (false, nothing run) when the SAS may not be edited
// or the write-back before it failed. The undo action takes the page and links as the user saw
// them as its "before", so edits the operation drops come back with an undo; an action over the
// journal's budget empties the journal instead. Afterwards the corrected temporary file is stale
// and both panes are redrawn. True when the file now holds the operation's change.
bool RunFileOperation(WindowStates& windows, SasSession& session, bool writeBackFirst,
                      const SasFileOperation& operation);

}  // namespace vocara
