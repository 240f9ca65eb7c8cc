#include "program/shell/CommandTable.h"

#include <initializer_list>

#include "base/WindowTable.h"
#include "program/commands/InTuneCommands.h"
#include "program/commands/NoteRangeCommands.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"
#include "program/views/CorrectionMarks.h"

namespace vocara {
namespace {

constexpr std::uint8_t Menu = 1;

void Assign(CommandTable& table, std::initializer_list<int> ids, std::uint32_t required, bool menu,
            std::uint8_t toolbar) {
  for (int id : ids) {
    CommandRecord& record = table[static_cast<std::size_t>(id - FirstCommand)];
    record.required = required;
    record.menu = menu;
    record.toolbar = toolbar;
  }
}

void AssignRange(CommandTable& table, int first, int last, std::uint32_t required, bool menu,
                 std::uint8_t toolbar) {
  for (int id = first; id <= last; ++id) Assign(table, {id}, required, menu, toolbar);
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

  Assign(table, {100, 109, 121, 155, 185, 186}, Ready, Menu, None);
  Assign(table, {102}, Ready, Menu, Wav);
  Assign(table, {154}, Ready, Menu, Mft);

  Assign(table, {103, 110, 111, 118, 120, 168, 181}, WavOpen, Menu, None);
  Assign(table, {141, 142, 144, 145, 148, 149, 150, 153}, WavOpen, false, Wav);
  AssignRange(table, 157, 167, WavOpen, false, Fft);
  AssignRange(table, 169, 179, WavOpen, false, Fft);
  Assign(table, {180}, WavOpen, false, None);  // no button
  Assign(table, {182}, WavOpen, false, Fft);
  Assign(table, {147, 183, 184}, WavOpen, false, None);

  AssignRange(table, 122, 126, SasOpen, Menu, None);
  AssignRange(table, 134, 140, SasOpen, Menu, None);
  Assign(table, {156}, SasOpen, Menu, None);
  AssignRange(table, 128, 133, SasOpen, Menu, Sas);
  Assign(table, {151, 152}, SasOpen, false, Sas);

  Assign(table, {112, 113}, WavOpen | WavRangeSelected, Menu, None);
  Assign(table, {143}, WavOpen | WavRangeSelected, false, Wav);

  constexpr std::uint32_t bothMatch = WavOpen | SasOpen | WavSasMatch;
  Assign(table, {105}, bothMatch, Menu, None);
  Assign(table, {108}, bothMatch, Menu, Wav);
  Assign(table, {127}, bothMatch, Menu, Sas);
  Assign(table, {146}, bothMatch, false, Wav);

  Assign(table, {114}, WavOpen | WavRangeSelected | RangeHoldsNoiseLength, Menu, None);
  Assign(table, {104}, WavOpen | NoiseSampleReady, Menu, None);
  Assign(table, {115}, WavOpen | WavRangeSelected | RangeHoldsNoiseLength | NoiseSampleReady, Menu, None);
  Assign(table, {106}, WavOpen | PlayAvailable, Menu, Wav);
  Assign(table, {116}, WavOpen | WavRangeSelected | PlayAvailable, Menu, None);
  Assign(table, {117}, WavOpen | SasOpen | WavRangeSelected | WavSasMatch | PlayAvailable, Menu, None);
  Assign(table, {101}, RecordAvailable, Menu, Wav);
  Assign(table, {107}, StopAvailable, Menu, Wav);
  Assign(table, {119}, WavOpen | PulseShapeReady, Menu, None);
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
