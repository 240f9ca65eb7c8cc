#include "program/shell/CommandTable.h"

#include <initializer_list>

#include "base/WindowTable.h"
#include "program/commands/InTuneCommands.h"
#include "program/commands/NoteRangeCommands.h"
#include "program/commands/SpectrumCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"
#include "program/views/CorrectionMarks.h"

namespace vocara {
namespace {

constexpr std::uint8_t Menu = 1;

void Assign(CommandTable& table, std::initializer_list<CommandId> ids, std::uint32_t required, bool menu,
            std::uint8_t toolbar) {
  for (CommandId id : ids) {
    CommandRecord& record = table[static_cast<std::size_t>(Id(id) - FirstCommand)];
    record.required = required;
    record.menu = menu;
    record.toolbar = toolbar;
  }
}

void AssignRange(CommandTable& table, CommandId first, CommandId last, std::uint32_t required, bool menu,
                 std::uint8_t toolbar) {
  for (int id = Id(first); id <= Id(last); ++id)
    Assign(table, {static_cast<CommandId>(id)}, required, menu, toolbar);
}

}  // namespace

CommandTable MakeCommandTable() {
  CommandTable table{};
  for (int i = 0; i < CommandCount; ++i)
    table[static_cast<std::size_t>(i)].id = static_cast<std::uint16_t>(FirstCommand + i);

  constexpr std::uint8_t None = NoToolbar;
  constexpr auto Wav = static_cast<std::uint8_t>(WavView);
  constexpr auto Sas = static_cast<std::uint8_t>(SasView);
  constexpr auto Fft = static_cast<std::uint8_t>(FftView);
  constexpr auto Mft = static_cast<std::uint8_t>(MftView);

  Assign(table,
         {CommandId::OpenWav, CommandId::Exit, CommandId::OpenSas, CommandId::AudioDeviceSettings,
          CommandId::HelpTopics, CommandId::About},
         Ready, Menu, None);
  Assign(table, {CommandId::Generate}, Ready, Menu, Wav);
  Assign(table, {CommandId::GeneralSettings}, Ready, Menu, Mft);

  Assign(table,
         {CommandId::CloseWav, CommandId::SetRangeLeft, CommandId::SetRangeRight, CommandId::AddPulseShape,
          CommandId::BuildSas, CommandId::ShowMft, CommandId::ShowFft},
         WavOpen, Menu, None);
  Assign(table,
         {CommandId::TimeScaleOnePerFrame, CommandId::TimeScaleFitAll, CommandId::TimeSqueeze,
          CommandId::TimeStretch, CommandId::ValueFit, CommandId::ValueSqueeze, CommandId::ValueStretch,
          CommandId::ShowAll},
         WavOpen, false, Wav);
  AssignRange(table, CommandId::FftSize1k, CommandId::FftSize1M, WavOpen, false, Fft);
  AssignRange(table, CommandId::FftWindow1, CommandId::FrequencyScaleOne, WavOpen, false, Fft);
  Assign(table, {CommandId::SpectrumRefresh}, WavOpen, false, None);  // no button
  Assign(table, {CommandId::FindAndSavePeaks}, WavOpen, false, Fft);
  Assign(table, {CommandId::ValueScaleLargest, CommandId::MarkPeak, CommandId::UnmarkPeak}, WavOpen, false,
         None);

  AssignRange(table, CommandId::CloseSas, CommandId::SetRulerOrigin, SasOpen, Menu, None);
  AssignRange(table, CommandId::SasRangeFind, CommandId::GlobalEdit, SasOpen, Menu, None);
  Assign(table, {CommandId::ShowSas}, SasOpen, Menu, None);
  AssignRange(table, CommandId::NormalMode, CommandId::EraseMode, SasOpen, Menu, Sas);
  Assign(table, {CommandId::PitchStretch, CommandId::PitchSqueeze}, SasOpen, false, Sas);

  Assign(table, {CommandId::SaveRange, CommandId::ExportRangeAsText}, WavOpen | WavRangeSelected, Menu, None);
  Assign(table, {CommandId::TimeScaleFitSelection}, WavOpen | WavRangeSelected, false, Wav);

  constexpr std::uint32_t bothMatch = WavOpen | SasOpen | WavSasMatch;
  Assign(table, {CommandId::Correct}, bothMatch, Menu, None);
  Assign(table, {CommandId::SyncToSas}, bothMatch, Menu, Wav);
  Assign(table, {CommandId::SyncToWav}, bothMatch, Menu, Sas);
  Assign(table, {CommandId::TimeScaleOfSas}, bothMatch, false, Wav);

  Assign(table, {CommandId::NoiseSample}, WavOpen | WavRangeSelected | RangeHoldsNoiseLength, Menu, None);
  Assign(table, {CommandId::RemoveNoise}, WavOpen | NoiseSampleReady, Menu, None);
  Assign(table, {CommandId::AddNoiseSample},
         WavOpen | WavRangeSelected | RangeHoldsNoiseLength | NoiseSampleReady, Menu, None);
  Assign(table, {CommandId::Play}, WavOpen | PlayAvailable, Menu, Wav);
  Assign(table, {CommandId::PlayRange}, WavOpen | WavRangeSelected | PlayAvailable, Menu, None);
  Assign(table, {CommandId::PlayCorrected},
         WavOpen | SasOpen | WavRangeSelected | WavSasMatch | PlayAvailable, Menu, None);
  Assign(table, {CommandId::Record}, RecordAvailable, Menu, Wav);
  Assign(table, {CommandId::Stop}, StopAvailable, Menu, Wav);
  Assign(table, {CommandId::ExportPulseShape}, WavOpen | PulseShapeReady, Menu, None);
  return table;
}

const CommandRecord* FindCommand(const CommandTable& table, int id) {
  if (id < FirstCommand || id > LastCommand) return nullptr;
  return &table[static_cast<std::size_t>(id - FirstCommand)];
}

void UpdateCommandStates(App& app) {
  platform::WindowPort& windows = app.ports.windows;
  const bool busy = (app.flags & Busy) != 0;
  for (CommandRecord& record : app.commands) {
    const bool usable = (record.required & app.flags) == record.required && !busy;
    if (usable == record.enabled) continue;
    record.enabled = usable;
    if (record.menu) windows.SetMenuItemEnabled(record.id, usable);
    if (record.toolbar != NoToolbar) windows.SetButtonEnabled(record.toolbar, record.id, usable);
  }
  // The commands above the table follow the same flags.
  UpdateInTuneStates(app);
  UpdateDetectNoteRangeState(app);
  UpdateShowNotesState(app);
  windows.RedrawMenuBar();
}

void SetBusy(App& app, bool enter) {
  platform::WindowPort& windows = app.ports.windows;
  if (enter) {
    for (int view = 0; view < ViewCount; ++view) {
      switch (windows.GetShowState(view)) {
        case platform::ShowState::Hidden:
          app.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Hide;
          break;
        case platform::ShowState::Normal:
          app.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Restore;
          break;
        case platform::ShowState::Minimised:
          app.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Minimise;
          break;
        case platform::ShowState::Maximised:
          app.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Maximise;
          break;
      }
    }
    windows.Show(SasView, platform::ShowCommand::Hide);
    windows.Show(FftView, platform::ShowCommand::Hide);
    windows.Show(MftView, platform::ShowCommand::Hide);
    app.flags |= Busy;
    windows.SetCursor(platform::CursorShape::Hourglass);
  } else {
    for (int view = ViewCount - 1; view >= 0; --view)
      windows.Show(view, app.busyShow[static_cast<std::size_t>(view)]);
    app.flags &= ~static_cast<std::uint32_t>(Busy);
    windows.SetCursor(platform::CursorShape::Arrow);
  }
  UpdateCommandStates(app);
}

}  // namespace vocara
