// The command table: every command id with what carries it out, when it is usable and where
// the user finds it. The modules that own commands contribute their entries (each module's
// XxxCommandEntries); the table is gathered above them (MakeCommandTable, in the dispatch
// layer) and is the one road from a menu item, toolbar button, accelerator or key to a handler.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>

#include "program/shell/CommandId.h"

namespace vocara {

struct App;

inline constexpr int FirstCommand = Id(CommandId::OpenWav);      // 100
inline constexpr int LastCommand = Id(CommandId::FormantShift);  // 204
inline constexpr int CommandCount = LastCommand - FirstCommand + 1;

inline constexpr std::uint8_t NoToolbar = 0xff;

// The toolbar of a window, as an entry names it.
constexpr std::uint8_t OnToolbar(int view) { return static_cast<std::uint8_t>(view); }

// Carries out `command` sent from the window `view`.
using CommandHandler = void (*)(App& app, int view, CommandId command);
// Whether `command` is usable now, for the commands that are not gated by state bits alone.
using CommandGate = bool (*)(const App& app, CommandId command);
// Why `command` cannot run now, said when its key is pressed regardless; empty to say nothing.
using CommandRefusal = std::string (*)(const App& app, CommandId command);

// One command as its module contributes it.
struct CommandEntry {
  CommandId id;
  CommandHandler handler;            // null: the id is gated and shown, and does nothing itself
  std::uint32_t required = 0;        // AppFlags bits that must all be set (and not busy)
  bool menu = false;                 // the table keeps the state of its item in the menu bar
  std::uint8_t toolbar = NoToolbar;  // the view whose toolbar holds its button
  CommandGate gate = nullptr;        // instead of `required`: asked at every use
  CommandRefusal refusal = nullptr;
};

struct CommandRecord {
  std::uint16_t id = 0;
  std::uint32_t required = 0;
  bool menu = false;
  std::uint8_t toolbar = NoToolbar;
  CommandHandler handler = nullptr;
  CommandGate gate = nullptr;
  bool enabled = false;  // as the menu and toolbar last showed it
  CommandRefusal refusal = nullptr;
};

using CommandTable = std::array<CommandRecord, CommandCount>;

// The table of the given modules' entries, every record disabled. An id given twice, or outside
// FirstCommand .. LastCommand, is a fault of the program (std::logic_error).
CommandTable CommandTableOf(std::initializer_list<std::span<const CommandEntry>> modules);

// The program's table: every module's entries (defined where the modules are all known).
CommandTable MakeCommandTable();

// Null for ids outside the table.
const CommandRecord* FindCommand(const CommandTable& table, int id);

// Runs `command` for the window `view` when it has a handler and is usable: a gate of its own
// is asked now, the others by the state their menu item shows. Unknown ids do nothing. False
// when the command did not run.
bool RunCommand(App& app, int view, int command);

// Why `command` did not run, when its entry can tell; empty otherwise.
std::string CommandRefusalText(const App& app, int command);

// Brings menu items and toolbar buttons in line with AppFlags and the gates, touching only those
// whose state changes, then redraws the menu bar.
void UpdateCommandStates(App& app);

// Enter: hide the other windows (remembering how each was shown), hourglass, everything
// disabled. Leave: show them again as they were, arrow, commands re-enabled.
void SetBusy(App& app, bool enter);

}  // namespace vocara
