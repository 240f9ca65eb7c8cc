#include "program/shell/CommandTable.h"

#include <stdexcept>
#include <string>

#include "base/WindowTable.h"
#include "program/shell/App.h"
#include "program/shell/AppFlags.h"

namespace vocara {
namespace {

bool Usable(const CommandState& state, const CommandRecord& record) {
  if (record.gate != nullptr) return record.gate(state, static_cast<CommandId>(record.id));
  return state.Has(record.required) && !state.Has(Busy);
}

// Whether two keys would send their commands from one key press.
bool Clash(const CommandKey& a, const CommandKey& b) {
  if (a.code == 0 || a.code != b.code || a.ctrl != b.ctrl || a.shift != b.shift) return false;
  return a.windows == 0 || b.windows == 0 || (a.windows & b.windows) != 0;
}

}  // namespace

CommandTable CommandTableOf(std::initializer_list<std::span<const CommandEntry>> modules) {
  CommandTable table{};
  for (const std::span<const CommandEntry> entries : modules) {
    for (const CommandEntry& entry : entries) {
      const int id = Id(entry.id);
      if (id < FirstCommand || id > LastCommand || table[static_cast<std::size_t>(id - FirstCommand)].id != 0)
        throw std::logic_error("command " + std::to_string(id) + " outside the table or given twice");
      table[static_cast<std::size_t>(id - FirstCommand)] = {static_cast<std::uint16_t>(id),
                                                            entry.required,
                                                            false,
                                                            NoToolbar,
                                                            entry.handler,
                                                            entry.gate,
                                                            false,
                                                            entry.refusal,
                                                            &entry};
    }
  }
  // A key that would mean two commands in one window is a fault of the program.
  for (std::size_t i = 0; i < table.size(); ++i) {
    for (std::size_t j = i + 1; j < table.size(); ++j) {
      if (table[i].entry == nullptr || table[j].entry == nullptr) continue;
      for (const CommandKey& a : {table[i].entry->key, table[i].entry->otherKey})
        for (const CommandKey& b : {table[j].entry->key, table[j].entry->otherKey})
          if (Clash(a, b))
            throw std::logic_error("commands " + std::to_string(table[i].id) + " and " +
                                   std::to_string(table[j].id) + " share a key");
    }
  }
  return table;
}

const CommandRecord* FindCommand(const CommandTable& table, int id) {
  if (id < FirstCommand || id > LastCommand) return nullptr;
  const CommandRecord& record = table[static_cast<std::size_t>(id - FirstCommand)];
  return record.id == 0 ? nullptr : &record;
}

const CommandTable& ProgramCommands() {
  static const CommandTable table = MakeCommandTable();
  return table;
}

const CommandEntry& EntryOf(CommandId command) {
  const CommandRecord* record = FindCommand(ProgramCommands(), Id(command));
  if (record == nullptr) throw std::logic_error("command " + std::to_string(Id(command)) + " has no entry");
  return *record->entry;
}

bool RunCommand(App& app, int view, int command) {
  const CommandRecord* record = FindCommand(app.commands.table, command);
  if (record == nullptr || record->handler == nullptr) return false;
  if (record->gate != nullptr ? !record->gate(app.commands.State(), static_cast<CommandId>(command))
                              : !record->enabled)
    return false;
  record->handler(app, view, static_cast<CommandId>(command));
  return true;
}

std::string CommandRefusalText(const Commands& commands, int command) {
  const CommandRecord* record = FindCommand(commands.table, command);
  if (record == nullptr || record->refusal == nullptr || HasAll(commands.flags, Busy)) return {};
  return record->refusal(commands.State(), static_cast<CommandId>(command));
}

void UpdateCommandStates(Commands& commands) {
  platform::WindowPort& windows = commands.windowPort;
  const CommandState state = commands.State();
  for (CommandRecord& record : commands.table) {
    if (record.id == 0) continue;
    const bool usable = Usable(state, record);
    if (usable == record.enabled) continue;
    record.enabled = usable;
    if (record.menu) windows.SetMenuItemEnabled(record.id, usable);
    if (record.toolbar != NoToolbar) windows.SetButtonEnabled(record.toolbar, record.id, usable);
  }
  windows.RedrawMenuBar();
}

void SetBusy(Commands& commands, bool enter) {
  platform::WindowPort& windows = commands.windowPort;
  if (enter) {
    for (int view = 0; view < ViewCount; ++view) {
      switch (windows.GetShowState(view)) {
        case platform::ShowState::Hidden:
          commands.windows.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Hide;
          break;
        case platform::ShowState::Normal:
          commands.windows.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Restore;
          break;
        case platform::ShowState::Minimised:
          commands.windows.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Minimise;
          break;
        case platform::ShowState::Maximised:
          commands.windows.busyShow[static_cast<std::size_t>(view)] = platform::ShowCommand::Maximise;
          break;
      }
    }
    windows.Show(SasView, platform::ShowCommand::Hide);
    windows.Show(FftView, platform::ShowCommand::Hide);
    windows.Show(MftView, platform::ShowCommand::Hide);
    commands.flags |= Busy;
    windows.SetCursor(platform::CursorShape::Hourglass);
  } else {
    for (int view = ViewCount - 1; view >= 0; --view)
      windows.Show(view, commands.windows.busyShow[static_cast<std::size_t>(view)]);
    commands.flags &= ~static_cast<std::uint32_t>(Busy);
    windows.SetCursor(platform::CursorShape::Arrow);
  }
  UpdateCommandStates(commands);
}

}  // namespace vocara
