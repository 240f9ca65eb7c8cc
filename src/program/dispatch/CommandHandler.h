// Commands from menus, toolbars, accelerators and keys, and the key handling that turns
// key presses into commands.
#pragma once

#include <cstdint>

namespace vocara {

struct App;

// Does nothing unless the command's record is enabled; returns 0.
std::intptr_t HandleCommand(App& app, int view, int command);

// A key press no accelerator took, with its virtual-key code.
void HandleKey(App& app, int view, int key);

}  // namespace vocara
