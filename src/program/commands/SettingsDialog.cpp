// The General Settings dialog.
//
// The three lists are linked while the dialog is open, and each change goes straight into the
// live settings: an instrument sets both notes to its range; a note chosen by hand makes the
// instrument "User Defined" and drags the other note along when the range would turn over.
// The edit fields are read only by OK and Save, which clamp every number to its field's range,
// so the next fill shows the corrected value. Cancel, the close box and Esc put back the copy
// of the settings taken when the dialog opened, even after a Save (the file keeps what was
// saved).

#include "program/commands/SettingsDialog.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/Instruments.h"
#include "base/NumberText.h"
#include "base/Settings.h"
#include "engine/processing/NoiseProfile.h"
#include "program/commands/WavCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandTable.h"
#include "program/shell/DialogFields.h"
#include "program/shell/WavRange.h"
#include "program/views/Render.h"
#include "program/views/SpectrumViews.h"

namespace vocara {
namespace {

namespace id = settings_control;
using platform::ControlKind;
using platform::ControlTemplate;
using platform::DialogHandle;

// Layout, in dialog units.
constexpr int Margin = 7;
constexpr int EditHeight = 12;
constexpr int LabelHeight = 8;
constexpr int LabelDrop = 2;       // a label sits this much lower than the field it names
constexpr int RowPitch = 16;       // from one field row to the next
constexpr int GroupHead = 13;      // from a group box's top to its first row
constexpr int GroupFoot = 6;       // below a group box's last row
constexpr int GroupGap = 5;        // between two group boxes of a column
constexpr int ListDropDown = 150;  // a list's height with its items dropped down

constexpr int LeftX = Margin;
constexpr int LeftWidth = 206;
constexpr int RightX = LeftX + LeftWidth + 6;
constexpr int RightWidth = 150;
constexpr int DialogWidth = RightX + RightWidth + Margin;
constexpr int ButtonWidth = 50;
constexpr int ButtonHeight = 14;
constexpr int ButtonGap = 4;

// The shortest noise sample length the field takes.
constexpr std::uint32_t ShortestNoiseLength = 1024;

struct Builder {
  std::vector<ControlTemplate> controls;

  void Add(int controlId, ControlKind kind, const char* text, int x, int y, int width, int height) {
    controls.push_back({controlId, kind, text, x, y, width, height});
  }
  // A label at the left edge of a column and its number field flush with the right edge.
  void Field(const char* label, int controlId, int columnX, int columnWidth, int y, int editWidth) {
    const int editX = columnX + columnWidth - Margin - editWidth;
    Add(-1, ControlKind::Label, label, columnX + Margin, y + LabelDrop, editX - columnX - Margin - 2,
        LabelHeight);
    Add(controlId, ControlKind::Edit, "", editX, y, editWidth, EditHeight);
  }
  // A group box from y down to below the row at lastRow, or down to `bottom` when that is
  // lower; returns the y where the next group starts.
  int Group(const char* title, int columnX, int columnWidth, int y, int lastRow, int bottom = 0) {
    const int height = std::max(lastRow + EditHeight + GroupFoot, bottom) - y;
    Add(-1, ControlKind::GroupBox, title, columnX, y, columnWidth, height);
    return y + height + GroupGap;
  }
};

void WriteField(DialogHandle& dialog, int controlId, double value, const SettingsField& field) {
  WriteNumberField(dialog, controlId, value, field.decimals);
}

double ReadField(const DialogHandle& dialog, int controlId, const SettingsField& field) {
  return ReadNumberField(dialog, controlId, field.lowest, field.highest);
}

// Integer fields truncate toward zero. The field text holds at most 9 characters, so a value
// read stays below 10^9 anyway; the limit keeps the conversion defined whatever the range.
std::int32_t ReadIntegerField(const DialogHandle& dialog, int controlId, const SettingsField& field) {
  const double value = ReadField(dialog, controlId, field);
  return static_cast<std::int32_t>(std::min(value, double{std::numeric_limits<std::int32_t>::max()}));
}

bool ValidNote(int index) { return index >= 0 && index < NoteCount; }

void SelectNotes(DialogHandle& dialog, const GeneralSettings& settings) {
  dialog.SetSelection(id::LowestNote, settings.lowestNote);
  dialog.SetSelection(id::HighestNote, settings.highestNote);
}

// The step after OK or Cancel: what shows the note range and the bar ruler follows the live
// settings, and the dialog is gone for the other windows.
void CloseSettingsDialog(App& app, DialogHandle& dialog) {
  // The MFT view marks the analysis note range; it is recomputed once the spectrum window
  // installs its refresh.
  RefreshNoteSpectrum(app.windows, app.docs, app.config, app.flags, app.ports);
  // The bar ruler follows beats, tempo and origin.
  if (app.flags & SasOpen) RedrawBarRuler(app.windows, app.session, app.config, app.ports);
  app.dialogs.settingsDialog = nullptr;
  dialog.End(1);
}

class SettingsProcedure final : public platform::DialogProcedure {
 public:
  explicit SettingsProcedure(App& app) : app_(app) {}

  void OnInit(DialogHandle& dialog) override {
    app_.dialogs.settingsDialog = &dialog;
    atOpening_ = app_.config.settings;
    dialog.ClearItems(id::Instrument);
    for (const Instrument& instrument : InstrumentTable)
      dialog.AddItem(id::Instrument, std::string(instrument.name));
    for (const int list : {id::LowestNote, id::HighestNote}) {
      dialog.ClearItems(list);
      for (const std::string_view name : NoteNames) dialog.AddItem(list, std::string(name));
    }
    FillSettingsControls(app_.config, dialog);
  }

  void OnCommand(DialogHandle& dialog, int command) override {
    switch (command) {
      case id::Ok:
        ReadSettingsControls(app_.commands, app_.docs, app_.config, dialog);
        CloseSettingsDialog(app_, dialog);
        break;
      case id::Cancel:
        app_.config.settings = atOpening_;
        CloseSettingsDialog(app_, dialog);
        break;
      case id::Default:
        app_.config.settings = app_.config.loadedSettings;
        FillSettingsControls(app_.config, dialog);
        break;
      case id::Save:
        // The dialog stays open and Cancel still returns to the values at opening.
        ReadSettingsControls(app_.commands, app_.docs, app_.config, dialog);
        SaveSettingsRecord(app_.config.files.settingsFile, app_.config.settings);
        break;
      default:
        break;
    }
  }

  void OnSelectionChange(DialogHandle& dialog, int list) override {
    const int selection = dialog.GetSelection(list);
    GeneralSettings& s = app_.config.settings;
    switch (list) {
      case id::Instrument: {
        if (selection < 0 || selection >= InstrumentCount) return;
        ChooseInstrument(s, selection);
        if (selection == UserDefinedInstrument) return;  // the lists keep their notes
        SelectNotes(dialog, s);
        break;
      }
      case id::LowestNote:
        if (!ValidNote(selection)) return;
        ChooseLowestNote(s, selection);
        dialog.SetSelection(id::Instrument, UserDefinedInstrument);
        dialog.SetSelection(id::HighestNote, s.highestNote);
        break;
      case id::HighestNote:
        if (!ValidNote(selection)) return;
        ChooseHighestNote(s, selection);
        dialog.SetSelection(id::Instrument, UserDefinedInstrument);
        dialog.SetSelection(id::LowestNote, s.lowestNote);
        break;
      default:
        break;
    }
  }

 private:
  App& app_;
  GeneralSettings atOpening_;
};

}  // namespace

platform::DialogTemplate SettingsDialogTemplate() {
  Builder b;

  // Build SAS: the instrument, the note range it gives, and the analysis parameters.
  int y = Margin;
  int row = y + GroupHead;
  const int listX = LeftX + Margin;
  const int listRight = LeftX + LeftWidth - Margin;
  b.Add(-1, ControlKind::Label, "Instrument", listX, row + LabelDrop, 44, LabelHeight);
  b.Add(id::Instrument, ControlKind::DropDownList, "", listX + 46, row, listRight - listX - 46, ListDropDown);
  row += RowPitch + 2;
  constexpr int NoteListWidth = 36;
  b.Add(id::LowestNote, ControlKind::DropDownList, "", listX, row, NoteListWidth, ListDropDown);
  b.Add(-1, ControlKind::Label, "Lowest Note         Highest Note", listX + NoteListWidth + 4,
        row + LabelDrop, listRight - listX - 2 * NoteListWidth - 8, LabelHeight);
  b.Add(id::HighestNote, ControlKind::DropDownList, "", listRight - NoteListWidth, row, NoteListWidth,
        ListDropDown);
  row += RowPitch + 2;
  b.Field("Chunk Length [periods]", id::ChunkPeriods, LeftX, LeftWidth, row, 40);
  row += RowPitch;
  b.Field("Base Note Threshold [a.u.]", id::BaseNoteThreshold, LeftX, LeftWidth, row, 40);
  y = b.Group("Build SAS", LeftX, LeftWidth, y, row);

  // Bar Ruler: the time signature with its subdivisions, the tempo and where bar counting
  // starts.
  row = y + GroupHead;
  constexpr int MeterWidth = 22;
  constexpr int SlashWidth = 8;
  int x = LeftX + Margin;
  b.Add(id::BeatsPerBar, ControlKind::Edit, "", x, row, MeterWidth, EditHeight);
  x += MeterWidth;
  b.Add(-1, ControlKind::CentredLabel, "/", x, row + LabelDrop, SlashWidth, LabelHeight);
  x += SlashWidth;
  b.Add(id::BeatUnit, ControlKind::Edit, "", x, row, MeterWidth, EditHeight);
  x += MeterWidth;
  b.Add(-1, ControlKind::CentredLabel, "/", x, row + LabelDrop, SlashWidth, LabelHeight);
  x += SlashWidth;
  b.Add(id::Divisions, ControlKind::Edit, "", x, row, MeterWidth, EditHeight);
  x += MeterWidth + 4;
  b.Add(-1, ControlKind::Label, "Divisions", x, row + LabelDrop, 50, LabelHeight);
  row += RowPitch;
  b.Field("Tempo", id::Tempo, LeftX, LeftWidth, row, 40);
  row += RowPitch;
  b.Field("Origin Frame", id::RulerOrigin, LeftX, LeftWidth, row, 52);
  row += RowPitch;
  b.Field("Origin Bar Number", id::OriginBar, LeftX, LeftWidth, row, 40);
  const int columnBottom = b.Group("Bar Ruler", LeftX, LeftWidth, y, row) - GroupGap;

  // Right column: noise removal, the SAS editing thresholds and the correction switch.
  y = Margin;
  row = y + GroupHead;
  b.Field("White Noise [a.u.]", id::WhiteNoise, RightX, RightWidth, row, 40);
  row += RowPitch;
  b.Field("Noise Sample Gain", id::NoiseGain, RightX, RightWidth, row, 40);
  row += RowPitch;
  b.Field("Noise Sample Length", id::NoiseLength, RightX, RightWidth, row, 40);
  y = b.Group("Remove Noise", RightX, RightWidth, y, row);

  row = y + GroupHead;
  b.Field("Select Threshold [a.u.]", id::SelectThreshold, RightX, RightWidth, row, 40);
  row += RowPitch;
  b.Field("Silence Threshold [a.u.]", id::SilenceThreshold, RightX, RightWidth, row, 40);
  y = b.Group("Edit SAS", RightX, RightWidth, y, row);

  row = y + GroupHead;
  b.Add(id::TimeCorrection, ControlKind::CheckBox, "Enable Time Correction", RightX + Margin, row,
        RightWidth - 2 * Margin, 10);
  // The last box of the shorter column reaches down to the bottom of the other one.
  b.Group("Apply Correction", RightX, RightWidth, y, row, columnBottom);

  // The buttons in a row along the bottom right.
  const int buttonY = columnBottom + 6;
  x = DialogWidth - Margin - 4 * ButtonWidth - 3 * ButtonGap;
  b.Add(id::Ok, ControlKind::DefaultButton, "OK", x, buttonY, ButtonWidth, ButtonHeight);
  x += ButtonWidth + ButtonGap;
  b.Add(id::Cancel, ControlKind::Button, "Cancel", x, buttonY, ButtonWidth, ButtonHeight);
  x += ButtonWidth + ButtonGap;
  b.Add(id::Default, ControlKind::Button, "Default", x, buttonY, ButtonWidth, ButtonHeight);
  x += ButtonWidth + ButtonGap;
  b.Add(id::Save, ControlKind::Button, "Save", x, buttonY, ButtonWidth, ButtonHeight);

  platform::DialogTemplate dialog;
  dialog.title = "General Settings";
  dialog.width = DialogWidth;
  dialog.height = buttonY + ButtonHeight + Margin;
  dialog.controls = std::move(b.controls);
  return dialog;
}

void FillSettingsControls(Configuration& config, DialogHandle& dialog) {
  const GeneralSettings& s = config.settings;
  dialog.SetSelection(id::Instrument, s.instrument);
  SelectNotes(dialog, s);
  WriteField(dialog, id::ChunkPeriods, s.chunkPeriods, settings_field::ChunkPeriods);
  WriteField(dialog, id::BaseNoteThreshold, s.baseNoteThreshold, settings_field::BaseNoteThreshold);
  WriteField(dialog, id::BeatsPerBar, s.beatsPerBar, settings_field::BeatsPerBar);
  WriteField(dialog, id::BeatUnit, s.beatUnit, settings_field::BeatUnit);
  WriteField(dialog, id::Divisions, s.divisions, settings_field::Divisions);
  WriteField(dialog, id::Tempo, s.tempo, settings_field::Tempo);
  WriteField(dialog, id::RulerOrigin, s.rulerOrigin, settings_field::RulerOrigin);
  WriteField(dialog, id::OriginBar, s.originBar, settings_field::OriginBar);
  WriteField(dialog, id::WhiteNoise, s.whiteNoise, settings_field::WhiteNoise);
  WriteField(dialog, id::NoiseGain, s.noiseGain, settings_field::NoiseGain);
  WriteNumberField(dialog, id::NoiseLength, s.noiseLength, 0);
  WriteField(dialog, id::SelectThreshold, s.selectThreshold, settings_field::SelectThreshold);
  WriteField(dialog, id::SilenceThreshold, s.silenceThreshold, settings_field::SilenceThreshold);
  dialog.SetChecked(id::TimeCorrection, s.timeCorrection != 0);  // the built-in -1 shows checked
}

void ReadSettingsControls(Commands& commands, OpenDocuments& docs, Configuration& config,
                          DialogHandle& dialog) {
  GeneralSettings& s = config.settings;
  const int instrument = dialog.GetSelection(id::Instrument);
  if (instrument >= 0) s.instrument = instrument;
  const int lowest = dialog.GetSelection(id::LowestNote);
  if (lowest >= 0) s.lowestNote = lowest;
  const int highest = dialog.GetSelection(id::HighestNote);
  if (highest >= 0) s.highestNote = highest;

  s.chunkPeriods = ReadField(dialog, id::ChunkPeriods, settings_field::ChunkPeriods);
  s.baseNoteThreshold = ReadField(dialog, id::BaseNoteThreshold, settings_field::BaseNoteThreshold);

  s.beatsPerBar = ReadIntegerField(dialog, id::BeatsPerBar, settings_field::BeatsPerBar);
  s.beatUnit = ReadIntegerField(dialog, id::BeatUnit, settings_field::BeatUnit);
  s.divisions = ReadIntegerField(dialog, id::Divisions, settings_field::Divisions);

  s.tempo = ReadField(dialog, id::Tempo, settings_field::Tempo);
  s.rulerOrigin = ReadIntegerField(dialog, id::RulerOrigin, settings_field::RulerOrigin);
  s.originBar = ReadIntegerField(dialog, id::OriginBar, settings_field::OriginBar);

  s.whiteNoise = ReadField(dialog, id::WhiteNoise, settings_field::WhiteNoise);
  s.noiseGain = ReadField(dialog, id::NoiseGain, settings_field::NoiseGain);
  // The typed length lies in [1024, 32768]; the profile takes the power of two below it.
  s.noiseLength = static_cast<std::int32_t>(NoiseLengthFor(static_cast<std::int32_t>(
      ReadNumberField(dialog, id::NoiseLength, ShortestNoiseLength, MaxNoiseLength))));

  s.selectThreshold = ReadField(dialog, id::SelectThreshold, settings_field::SelectThreshold);
  s.silenceThreshold = ReadField(dialog, id::SilenceThreshold, settings_field::SilenceThreshold);

  s.timeCorrection = dialog.IsChecked(id::TimeCorrection) ? 1 : 0;

  // A new noise sample length changes whether the selected WAV range can serve as a noise
  // sample.
  WavRangeChanged(commands, docs, config);
}

void RunSettingsDialog(App& app, int ownerView) {
  SettingsProcedure procedure(app);
  app.ports.dialogs.RunModal(ownerView, SettingsDialogTemplate(), procedure);
  // The handle never outlives the dialog, however it ended.
  app.dialogs.settingsDialog = nullptr;
}

namespace {

constexpr CommandEntry Entries[] = {
    // View / General Settings: modal, owned by the commanding window.
    {.id = CommandId::GeneralSettings,
     .label = "&General Settings...",
     .tooltip = "Settings",
     .image = 36,
     .handler = [](App& app, int view, CommandId) { RunSettingsDialog(app, view); },
     .required = Ready},
};

}  // namespace

std::span<const CommandEntry> SettingsCommandEntries() { return Entries; }

}  // namespace vocara
