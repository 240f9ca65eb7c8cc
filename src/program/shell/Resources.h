// The program's resources: the menu bar and the toolbars, laid out by command id with what each
// command's entry says of it (label, key, tooltip, image), the accelerator table the entries'
// keys make, and the drawing colours.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/Geometry.h"
#include "platform/WindowSpec.h"
#include "program/shell/CommandTable.h"
#include "program/shell/EditMode.h"

namespace vocara {

std::vector<platform::MenuPopup> MainMenu();
// Buttons of a window's toolbar in order, separators included, in their start states.
std::vector<platform::ToolbarButton> ToolbarOf(int view);
// The tooltip of a command's toolbar button; empty when there is none.
std::string_view TooltipText(int command);
// Every accelerator of the commands' entries.
std::vector<platform::Accelerator> AcceleratorTable();
// Marks the records of the commands the menu bar and the toolbars hold, which the table keeps
// enabled or greyed there (an entry that keeps its menu item itself aside). A place without an
// entry is a fault of the program (std::logic_error).
void PlaceCommands(CommandTable& table);

// A mode's name as the SAS status strip shows it: its menu label without the access key.
std::string EditModeName(EditMode mode);

// Solid one-pixel pens and solid brushes, created once at start.
inline constexpr std::array<platform::Rgb, 7> PenTable{{
    {255, 0, 0},      // 0 red: cursor line, pitch grid centre
    {0, 255, 0},      // 1 green: selection band outline
    {64, 64, 255},    // 2 blue: time links, surplus of the second value
    {0, 0, 0},        // 3 black: waveform, ruler, line under the status strip
    {255, 255, 255},  // 4 white: empty part of a column bar, line over the status strip
    {255, 255, 0},    // 5 yellow: pitch grid
    {111, 141, 7},    // 6 olive: common part of a column bar
}};
inline constexpr std::array<platform::Rgb, 6> BrushTable{{
    {255, 0, 0},
    {0, 255, 0},
    {64, 64, 255},
    {192, 192, 192},  // 3 grey: status strip
    {0, 0, 0},
    {0, 255, 255},
}};
inline constexpr platform::Rgb WindowColour{255, 255, 255};

}  // namespace vocara
