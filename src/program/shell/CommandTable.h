// The command table: every command id with what carries it out, when it is usable and how the
// user finds it (label, keys, tooltip, image). The modules that own commands contribute their
// entries (each module's XxxCommandEntries); the table is gathered above them
// (MakeCommandTable, in the dispatch layer) and is the one road from a menu item, toolbar
// button, accelerator or key to a handler. The menus and toolbars are laid out by id in
// shell/Resources.cpp and take everything they show from the entries.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "platform/Keys.h"
#include "platform/Platform.h"
#include "program/shell/AppFlags.h"
#include "program/shell/CommandId.h"

namespace vocara {

struct App;
struct Devices;
struct SasSession;
struct WindowStates;

inline constexpr int FirstCommand = Id(CommandId::OpenWav);
inline constexpr int LastCommand = Id(CommandId::End) - 1;
inline constexpr int CommandCount = LastCommand - FirstCommand + 1;

inline constexpr std::uint8_t NoToolbar = 0xff;

// A key that sends a command. An accelerator (windows 0) is taken by the window adapter in every
// window and arrives as the command; a window key arrives as a key press and means the command
// in the windows it names (one bit per ViewId), so one key can mean a command of each window.
struct CommandKey {
  int code = 0;  // virtual-key code (platform/Keys.h); 0: none
  std::uint8_t windows = 0;
  bool ctrl = false;
  bool shift = false;
  bool shown = true;  // named beside the menu label
};

constexpr CommandKey Accelerator(int code, bool ctrl = false, bool shift = false) {
  return {code, 0, ctrl, shift};
}
// The window bit of a window key.
constexpr std::uint8_t In(int view) { return static_cast<std::uint8_t>(1u << view); }
constexpr CommandKey WindowKey(int code, std::uint8_t windows) { return {code, windows}; }
// A key the menu item does not name.
constexpr CommandKey Unnamed(CommandKey key) {
  key.shown = false;
  return key;
}

// Carries out `command` sent from the window `view`.
using CommandHandler = void (*)(App& app, int view, CommandId command);
// What a command's usability may depend on: the state word, the windows' state (the edit mode),
// the open SAS (its chosen notes, its journal, whether it is read-only) and the devices (why
// one is missing). Gates and refusals read it and nothing else of the program.
struct CommandState {
  std::uint32_t flags;
  const WindowStates& windows;
  const SasSession& session;
  const Devices& devices;
  bool Has(std::uint32_t bits) const { return HasAll(flags, bits); }
};
// Whether `command` is usable now, for the commands that are not gated by state bits alone.
using CommandGate = bool (*)(const CommandState& state, CommandId command);
// Why `command` cannot run now, said when its key is pressed regardless; empty to say nothing.
using CommandRefusal = std::string (*)(const CommandState& state, CommandId command);

// One command as its module contributes it, written with designated initializers. Whether it
// has a menu item or a toolbar button is the layout's (shell/Resources.cpp); what they show is
// here.
struct CommandEntry {
  CommandId id;
  std::string_view label{};  // its menu item, "&" before the access key
  CommandKey key{};          // the first key shown is named beside the label
  CommandKey otherKey{};
  std::string_view tooltip{};        // its toolbar button's
  int image = -1;                    // its toolbar button's image, shown beside a mode's menu item too
  CommandHandler handler = nullptr;  // null: the id is gated and shown, and does nothing itself
  std::uint32_t required = 0;        // AppFlags bits that must all be set (and not busy)
  CommandGate gate = nullptr;        // instead of `required`: asked at every use
  CommandRefusal refusal = nullptr;
  bool ownMenuState = false;  // its module keeps its menu item's state, not the table
};

// Usable when the program starts, with nothing open: its menu item and button start enabled.
constexpr bool UsableAtStart(const CommandEntry& entry) {
  return entry.gate == nullptr && (entry.required & ~std::uint32_t{Ready}) == 0;
}

struct CommandRecord {
  std::uint16_t id = 0;
  std::uint32_t required = 0;
  bool menu = false;
  std::uint8_t toolbar = NoToolbar;
  CommandHandler handler = nullptr;
  CommandGate gate = nullptr;
  bool enabled = false;  // as the menu and toolbar last showed it
  CommandRefusal refusal = nullptr;
  const CommandEntry* entry = nullptr;
};

using CommandTable = std::array<CommandRecord, CommandCount>;

// The table of the given modules' entries, every record disabled. An id given twice, or outside
// FirstCommand .. LastCommand, or a key that two commands would share in one window, is a fault
// of the program (std::logic_error).
CommandTable CommandTableOf(std::initializer_list<std::span<const CommandEntry>> modules);

// The program's table: every module's entries (defined where the modules are all known), with
// the menu and toolbar places the layout gives them (PlaceCommands).
CommandTable MakeCommandTable();

// The program's commands as the modules describe them, gathered once; for building the menus,
// toolbars and keys.
const CommandTable& ProgramCommands();
// The entry of `command`; a fault of the program (std::logic_error) when no module gives it.
const CommandEntry& EntryOf(CommandId command);

// Null for ids outside the table.
const CommandRecord* FindCommand(const CommandTable& table, int id);

// The commands as the program runs them: the table with what each menu item and button last
// showed, bound to what the gates read (the state word, the windows' states, the open SAS, the
// devices) and to the window port that shows the items. A module that changes what a command
// may do takes this, not the whole program, to bring the menus in line.
struct Commands {
  Commands(std::uint32_t& stateWord, platform::WindowPort& port, WindowStates& windowStates,
           const SasSession& openSas, const Devices& deviceState)
      : flags(stateWord), windowPort(port), windows(windowStates), session(openSas), devices(deviceState) {}
  Commands(const Commands&) = delete;
  Commands& operator=(const Commands&) = delete;

  CommandState State() const { return {flags, windows, session, devices}; }

  CommandTable table{};
  std::uint32_t& flags;
  platform::WindowPort& windowPort;
  WindowStates& windows;  // busy mode keeps how each window was shown there
  const SasSession& session;
  const Devices& devices;
};

// Runs `command` for the window `view` when it has a handler and is usable: a gate of its own
// is asked now, the others by the state their menu item shows. Unknown ids do nothing. False
// when the command did not run.
bool RunCommand(App& app, int view, int command);

// Why `command` did not run, when its entry can tell; empty otherwise.
std::string CommandRefusalText(const Commands& commands, int command);

// Brings menu items and toolbar buttons in line with AppFlags and the gates, touching only those
// whose state changes, then redraws the menu bar.
void UpdateCommandStates(Commands& commands);

// Enter: hide the other windows (remembering how each was shown), hourglass, everything
// disabled. Leave: show them again as they were, arrow, commands re-enabled.
void SetBusy(Commands& commands, bool enter);

}  // namespace vocara
