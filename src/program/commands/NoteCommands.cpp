#include "program/commands/NoteCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/NumberText.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"
#include "engine/sas/ScaleSnap.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/SasSession.h"
#include "program/views/CorrectionMarks.h"
#include "program/views/NoteLayer.h"

namespace vocara {
namespace {

using platform::ControlKind;
using platform::DialogHandle;

// Shape Notes dialog ids.
enum : int { CheckCentre = 101, FieldCentre, FieldDrift, FieldVibrato };

double TargetCentreOf(const NoteReport& note) {
  return note.note * 100.0 + (std::isfinite(note.targetCents) ? note.targetCents : note.centreCents);
}

void RedrawNotes(Commands& commands, WindowStates& windows, platform::Platform& ports) {
  windows.redraw |= SasLowerBandRedraw;
  ports.windows.Invalidate(SasView, nullptr);
  UpdateCommandStates(commands);
}

bool Overlaps(const NoteSpan& span, std::uint32_t first, std::uint32_t end) {
  return span.first < end && first < span.end;
}

// The notes of the listing that overlap a chosen note.
std::vector<NoteReport> ChosenWhole(const CorrectionReport& listing, const std::vector<NoteSpan>& chosen) {
  std::vector<NoteReport> notes;
  for (const NoteReport& note : listing.notes) {
    const bool taken = std::any_of(chosen.begin(), chosen.end(), [&](const NoteSpan& span) {
      return Overlaps(span, note.firstFrame, note.endFrame);
    });
    if (taken) notes.push_back(note);
  }
  return notes;
}

using NoteChange =
    std::function<bool(SasDocument& sas, const std::vector<NoteReport>& notes, const FrameChangeSink& sink)>;

// One change of the chosen notes through the file, as one undo action: the notes found again
// over the whole take after the page's edits are written back, and changed whole. Afterwards
// the choice holds those whole notes.
void ChangeChosenNotes(Commands& commands, WindowStates& windows, SasSession& session,
                       const NoteChange& change) {
  if (session.chosenNotes.empty() || !SasEditAllowed(session)) return;
  // The write-back that runs first also brings the silence threshold in force into the file's
  // settings copy, which the engine finds the notes with.
  commands.flags |= SasPageDirty;
  std::vector<NoteSpan> whole;
  const std::vector<NoteSpan>& chosen = session.chosenNotes;
  const bool done =
      RunFileOperation(windows, session, true, [&](SasDocument& sas, const FrameChangeSink& sink) {
        // The take's notes as sung, over the whole file: a note is changed as a whole wherever the
        // page cut it.
        CorrectionReport listing;
        if (!ListNotesOfFrames(sas, 0, sas.header.frameCount, listing)) return FileOperationEnd::Failed;
        const std::vector<NoteReport> notes = ChosenWhole(listing, chosen);
        for (const NoteReport& note : notes) whole.push_back({note.firstFrame, note.endFrame});
        return DoneOrFailed(change(sas, notes, sink));
      });
  if (done && !whole.empty()) session.chosenNotes = std::move(whole);
  UpdateCommandStates(commands);
}

std::vector<NoteShift> ShiftsOf(const std::vector<NoteReport>& notes, double cents) {
  std::vector<NoteShift> shifts;
  for (const NoteReport& note : notes) shifts.push_back({{note.firstFrame, note.endFrame}, cents});
  return shifts;
}

void ShiftChosenNotes(Commands& commands, SasSession& session, DialogMemory& dialogs, double cents) {
  if (cents == 0) return;
  const double retune = dialogs.snapParams.retuneMs;
  ChangeChosenNotes(
      commands, commands.windows, session,
      [cents, retune](SasDocument& sas, const std::vector<NoteReport>& notes, const FrameChangeSink& sink) {
        return SasShiftNotes(sas, ShiftsOf(notes, cents), retune, sink);
      });
}

// Shape Notes: the drift and vibrato reshaped where the notes stand, then with the centre set
// each note's target centre moved the share toward the nearest note of the scale from its
// centre as sung (0: as sung).
void ShapeChosenNotes(Commands& commands, SasSession& session, DialogMemory& dialogs,
                      const NoteShapeParams& shape) {
  const ScaleSnapParams scale = dialogs.snapParams;
  ChangeChosenNotes(
      commands, commands.windows, session,
      [shape, scale](SasDocument& sas, const std::vector<NoteReport>& notes, const FrameChangeSink& sink) {
        std::vector<NoteShift> spans = ShiftsOf(notes, 0);
        if ((shape.drift != 0 || shape.vibrato != 100) &&
            !SasShapeNotes(sas, spans, shape.drift, shape.vibrato, sink))
          return false;
        if (!shape.moveCentre) return true;
        std::vector<NoteShift> shifts;
        for (const NoteReport& note : notes) {
          const double sung = note.note * 100.0 + note.centreCents;
          if (!std::isfinite(sung)) continue;
          const double wanted = sung + shape.centre / 100.0 * (NearestScalePitch(sung, scale) - sung);
          shifts.push_back({{note.firstFrame, note.endFrame}, wanted - TargetCentreOf(note)});
        }
        return SasShiftNotes(sas, std::move(shifts), scale.retuneMs, sink);
      });
}

// Delete Notes: what was done to the notes undone, each frame's target pitch back to the pitch
// sung there (time correction and amplitudes kept), as Global Clear does over the whole file.
void DeleteChosenNotes(Commands& commands, SasSession& session) {
  ChangeChosenNotes(commands, commands.windows, session,
                    [](SasDocument& sas, const std::vector<NoteReport>& notes, const FrameChangeSink& sink) {
                      for (const NoteReport& note : notes)
                        if (!SasApplyRange(sas, note.firstFrame, note.endFrame, SasRangeOps::Transpose,
                                           SasRangeParams{}, sink))
                          return false;
                      return true;
                    });
}

void ChooseSpan(std::vector<NoteSpan>& chosen, NoteSpan span) {
  std::erase_if(chosen, [&](const NoteSpan& s) { return Overlaps(s, span.first, span.end); });
  chosen.insert(std::upper_bound(chosen.begin(), chosen.end(), span,
                                 [](const NoteSpan& a, const NoteSpan& b) { return a.first < b.first; }),
                span);
}

void ShowShapeParams(DialogHandle& dialog, const NoteShapeParams& shape) {
  dialog.SetChecked(CheckCentre, shape.moveCentre);
  WriteNumberField(dialog, FieldCentre, shape.centre, 2);
  dialog.SetEnabled(FieldCentre, shape.moveCentre);
  WriteNumberField(dialog, FieldDrift, shape.drift, 2);
  WriteNumberField(dialog, FieldVibrato, shape.vibrato, 2);
}

class ShapeProcedure final : public platform::DialogProcedure {
 public:
  ShapeProcedure(NoteShapeParams& shape, std::string centreLabel)
      : shape_(shape), centreLabel_(std::move(centreLabel)) {}
  bool accepted = false;

  void OnInit(DialogHandle& dialog) override {
    dialog.SetText(CheckCentre, centreLabel_);
    ShowShapeParams(dialog, shape_);
  }
  void OnCommand(DialogHandle& dialog, int id) override {
    switch (id) {
      case CheckCentre:
        dialog.SetEnabled(FieldCentre, dialog.IsChecked(CheckCentre));
        break;
      case platform::DialogOk:
        shape_.moveCentre = dialog.IsChecked(CheckCentre);
        shape_.centre = ReadNumberField(dialog, FieldCentre, 0, 100);
        shape_.drift = ReadNumberField(dialog, FieldDrift, 0, 100);
        shape_.vibrato = ReadNumberField(dialog, FieldVibrato, 0, MaxVibrato);
        accepted = true;
        dialog.End(platform::DialogOk);
        break;
      case platform::DialogCancel:
        dialog.End(platform::DialogCancel);
        break;
      default:
        break;
    }
  }

 private:
  NoteShapeParams& shape_;
  std::string centreLabel_;
};

bool NoteModeUsable(const WindowStates& windows, std::uint32_t flags) {
  return HasAll(flags, SasOpen) && !HasAll(flags, Busy) && windows.editMode == EditMode::Note;
}

bool ChosenUsable(const CommandState& state, CommandId) {
  return NoteModeUsable(state.windows, state.flags) && !state.session.chosenNotes.empty();
}

void SelectAllNotes(Commands& commands, WindowStates& windows, SasSession& session,
                    platform::Platform& ports) {
  CorrectionReport listing;
  if (!ListNotesOfFrames(session.sas, 0, session.sas.header.frameCount, listing)) return;
  const SasRange& range = session.sas.range;
  const bool ranged = HasAll(commands.flags, SasRangeSelected) && range.right > range.left && range.left >= 0;
  session.chosenNotes.clear();
  for (const NoteReport& note : listing.notes) {
    if (ranged && !Overlaps({note.firstFrame, note.endFrame}, static_cast<std::uint32_t>(range.left),
                            static_cast<std::uint32_t>(range.right)))
      continue;
    session.chosenNotes.push_back({note.firstFrame, note.endFrame});
  }
  RedrawNotes(commands, windows, ports);
}

void ShapeNotesCommand(Commands& commands, SasSession& session, DialogMemory& dialogs,
                       platform::Platform& ports, int view) {
  NoteShapeParams shape = dialogs.noteShape;
  // The scale the centre goes to is the last Snap to Scale's, named where the user chooses it.
  const ScaleSnapParams& scale = dialogs.snapParams;
  const std::string scaleName =
      scale.scale == ScaleKind::Chromatic
          ? std::string("semitones")
          : std::string(KeyName(scale.key)) + " " + std::string(ScaleKindLabel(scale.scale));
  ShapeProcedure procedure(shape, "Pitch centre to " + scaleName + " (%)");
  ports.dialogs.RunModal(view, ShapeNotesDialogTemplate(), procedure);
  if (!procedure.accepted) return;
  dialogs.noteShape = shape;
  ShapeChosenNotes(commands, session, dialogs, shape);
}

}  // namespace

double NoteDragCents(double centre, double raw, bool free) {
  if (!std::isfinite(raw)) return 0;
  if (free || !std::isfinite(centre)) return std::round(raw);
  // Less than half a semitone away the note stays where it is: a press that wavers by a row
  // moves nothing.
  if (std::abs(raw) < 50) return 0;
  return std::round((centre + raw) / 100.0) * 100.0 - centre;
}

std::uint32_t NotePress(Commands& commands, WindowStates& windows, SasSession& session,
                        platform::Platform& ports, const platform::Message& message) {
  RefreshPageNotes(windows, session);
  const int index = NoteAtPoint(windows, session, message.pos.x, message.pos.y);
  std::vector<NoteSpan>& chosen = session.chosenNotes;
  if (index < 0) {
    if (!message.shift && !chosen.empty()) {
      chosen.clear();
      RedrawNotes(commands, windows, ports);
    }
    return DragCursor;
  }
  const NoteReport& note = session.pageNotes.notes[static_cast<std::size_t>(index)];
  const NoteSpan span{note.firstFrame, note.endFrame};
  const bool wasChosen = PageNoteChosen(session, index);
  if (message.shift && wasChosen) {
    std::erase_if(chosen, [&](const NoteSpan& s) { return Overlaps(s, span.first, span.end); });
    RedrawNotes(commands, windows, ports);
    return 0;
  }
  if (message.shift) {
    ChooseSpan(chosen, span);
  } else if (!wasChosen) {
    chosen.assign(1, span);
  }
  RedrawNotes(commands, windows, ports);
  MouseDrag& drag = session.mouse;
  drag.pressY = message.pos.y;
  drag.noteCentre = TargetCentreOf(note);
  drag.noteCents = 0;
  drag.noteMoved = false;
  return DragNote;
}

void NoteDragMove(WindowStates& windows, SasSession& session, platform::Platform& ports,
                  const platform::Message& message) {
  MouseDrag& drag = session.mouse;
  const double scale = windows.sasView.pitchScale;
  if (!(scale > 0)) return;
  const double cents = NoteDragCents(drag.noteCentre, (drag.pressY - message.pos.y) / scale, message.alt);
  if (drag.noteMoved && cents == drag.noteCents) return;
  if (drag.noteMoved) ToggleNoteOutlines(windows, session, ports, drag.noteCents);
  drag.noteCents = cents;
  drag.noteMoved = true;
  ToggleNoteOutlines(windows, session, ports, cents);
}

void NoteDragEnd(Commands& commands, SasSession& session, DialogMemory& dialogs, platform::Platform& ports) {
  MouseDrag& drag = session.mouse;
  const bool moved = drag.noteMoved && drag.noteCents != 0;
  // From here on no paint draws the outlines again.
  drag.noteMoved = false;
  RedrawNotes(commands, commands.windows, ports);
  if (moved) ShiftChosenNotes(commands, session, dialogs, drag.noteCents);
}

void ChooseNotesInColumns(Commands& commands, WindowStates& windows, SasSession& session,
                          platform::Platform& ports, int left, int right) {
  const std::int64_t first = std::int64_t{session.sas.firstFrame} + left;
  const std::int64_t end = std::int64_t{session.sas.firstFrame} + right;
  session.chosenNotes.clear();
  for (const NoteReport& note : session.pageNotes.notes) {
    if (std::int64_t{note.firstFrame} < end && first < std::int64_t{note.endFrame})
      session.chosenNotes.push_back({note.firstFrame, note.endFrame});
  }
  RedrawNotes(commands, windows, ports);
}

bool NotesChosenToPlay(const WindowStates& windows, const SasSession& session) {
  return windows.editMode == EditMode::Note && !session.chosenNotes.empty();
}

std::pair<std::uint32_t, std::uint32_t> ChosenNotesSamples(const SasSession& session,
                                                           std::uint32_t sampleCount) {
  if (session.chosenNotes.empty()) return {0, 0};
  const std::uint64_t frameLength = session.sas.header.frameLength;
  const auto sample = [&](std::uint32_t frame) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(frame * frameLength, sampleCount));
  };
  return {sample(session.chosenNotes.front().first), sample(session.chosenNotes.back().end)};
}

platform::DialogTemplate ShapeNotesDialogTemplate() {
  platform::DialogTemplate dialog;
  dialog.title = "Shape Notes";
  dialog.width = 210;
  dialog.height = 96;
  dialog.controls = {
      {CheckCentre, ControlKind::CheckBox, "Pitch centre to the scale (%)", 8, 8, 150, 12},
      {FieldCentre, ControlKind::Edit, "", 162, 8, 40, 12},
      {-1, ControlKind::Label, "Drift (%)", 8, 28, 100, 8},
      {FieldDrift, ControlKind::Edit, "", 162, 26, 40, 12},
      {-1, ControlKind::Label, "Vibrato (%)", 8, 46, 100, 8},
      {FieldVibrato, ControlKind::Edit, "", 162, 44, 40, 12},
      {platform::DialogOk, ControlKind::DefaultButton, "OK", 46, 74, 56, 14},
      {platform::DialogCancel, ControlKind::Button, "Cancel", 110, 74, 56, 14},
  };
  return dialog;
}

namespace {

constexpr CommandEntry Entries[] = {
    {.id = CommandId::SelectAllNotes,
     .label = "Select All Notes",
     .key = Accelerator('A', true),
     .handler = [](App& app, int,
                   CommandId) { SelectAllNotes(app.commands, app.windows, app.session, app.ports); },
     .gate = [](const CommandState& state, CommandId) { return NoteModeUsable(state.windows, state.flags); }},
    {.id = CommandId::NoteSemitoneUp,
     .label = "Notes U&p a Semitone",
     .key = WindowKey(platform::key::PageUp, In(SasView)),
     .handler = [](App& app, int,
                   CommandId) { ShiftChosenNotes(app.commands, app.session, app.dialogs, 100); },
     .gate = ChosenUsable},
    {.id = CommandId::NoteSemitoneDown,
     .label = "Notes Do&wn a Semitone",
     .key = WindowKey(platform::key::PageDown, In(SasView)),
     .handler = [](App& app, int,
                   CommandId) { ShiftChosenNotes(app.commands, app.session, app.dialogs, -100); },
     .gate = ChosenUsable},
    {.id = CommandId::NoteCentUp,
     .label = "Notes Up a &Cent",
     .key = Accelerator(platform::key::PageUp, true),
     .handler = [](App& app, int, CommandId) { ShiftChosenNotes(app.commands, app.session, app.dialogs, 1); },
     .gate = ChosenUsable},
    {.id = CommandId::NoteCentDown,
     .label = "Notes Down a Cent",
     .key = Accelerator(platform::key::PageDown, true),
     .handler = [](App& app, int,
                   CommandId) { ShiftChosenNotes(app.commands, app.session, app.dialogs, -1); },
     .gate = ChosenUsable},
    {.id = CommandId::DeleteNotes,
     .label = "Dele&te Notes",
     .key = WindowKey(platform::key::Delete, In(SasView)),
     .handler = [](App& app, int, CommandId) { DeleteChosenNotes(app.commands, app.session); },
     .gate = ChosenUsable},
    {.id = CommandId::ShapeNotes,
     .label = "S&hape Notes...",
     .handler = [](App& app, int view,
                   CommandId) { ShapeNotesCommand(app.commands, app.session, app.dialogs, app.ports, view); },
     .gate = ChosenUsable},
};

}  // namespace

std::span<const CommandEntry> NoteCommandEntries() { return Entries; }

}  // namespace vocara
