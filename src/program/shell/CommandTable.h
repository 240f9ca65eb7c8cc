// Which command ids 100..186 are usable, derived from AppFlags, and the menu items and
// toolbar buttons that show it.
#pragma once

#include <array>
#include <cstdint>

namespace vocara {

struct App;

inline constexpr int FirstCommand = 100;
inline constexpr int LastCommand = 186;
inline constexpr int CommandCount = LastCommand - FirstCommand + 1;  // 87

inline constexpr std::uint8_t NoToolbar = 0xff;

struct CommandRecord {
  std::uint16_t id = 0;
  std::uint32_t required = 0;        // AppFlags bits that must all be set
  bool menu = false;                 // has an item in the WAV window's menu bar
  std::uint8_t toolbar = NoToolbar;  // view whose toolbar holds the button
  bool enabled = false;
};

using CommandTable = std::array<CommandRecord, CommandCount>;

// The table as it stands at start: every record disabled.
CommandTable MakeCommandTable();

// Null for ids outside 100..186.
const CommandRecord* FindCommand(const CommandTable& table, int id);

// Brings menu items and toolbar buttons in line with AppFlags, touching only those whose
// state changes (the in-tune commands 189..191, Detect Note Range 192 and Show Notes 193
// included), then redraws the menu bar.
void UpdateCommandStates(App& app);

// Enter: hide the other windows (remembering how each was shown), hourglass, everything
// disabled. Leave: show them again as they were, arrow, commands re-enabled.
void SetBusy(App& app, bool enter);

}  // namespace vocara
