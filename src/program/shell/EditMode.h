// The SAS window's edit modes: what a press in the panes does, with its command (menu item,
// toolbar button and key) and its mouse cursor, in one table.
#pragma once

#include <array>

#include "platform/WindowPort.h"
#include "program/shell/CommandId.h"

namespace vocara {

enum class EditMode { Normal, SetTimeLink, DeleteTimeLink, InRange, Freehand, Erase, Note };

struct EditModeRow {
  EditMode mode;
  CommandId command;  // selects the mode
  platform::CursorShape cursor;
};

// In the order of the Edit Mode menu and the toolbar's mode buttons. The first six modes take
// the cursor table's slots 0 .. 5 (slot 6 is the pane-split arrow); Note has a cursor of its own.
inline constexpr std::array<EditModeRow, 7> EditModes{{
    {EditMode::Normal, CommandId::NormalMode, platform::CursorShape::Arrow},
    {EditMode::SetTimeLink, CommandId::SetTimeLinkMode, platform::CursorShape::Mode1},
    {EditMode::DeleteTimeLink, CommandId::DeleteTimeLinkMode, platform::CursorShape::Mode2},
    {EditMode::InRange, CommandId::InRangeMode, platform::CursorShape::Mode3},
    {EditMode::Freehand, CommandId::FreehandMode, platform::CursorShape::Mode4},
    {EditMode::Erase, CommandId::EraseMode, platform::CursorShape::Mode5},
    {EditMode::Note, CommandId::NoteMode, platform::CursorShape::Note},
}};

constexpr const EditModeRow& EditModeOf(EditMode mode) {
  for (const EditModeRow& row : EditModes)
    if (row.mode == mode) return row;
  return EditModes[0];
}

constexpr const EditModeRow& EditModeOf(CommandId command) {
  for (const EditModeRow& row : EditModes)
    if (row.command == command) return row;
  return EditModes[0];
}

}  // namespace vocara
