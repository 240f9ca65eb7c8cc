// The one window procedure of the four windows: routes every message by the window's view.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Canvas.h"
#include "platform/Message.h"

namespace vocara {

struct App;

std::intptr_t WindowProcedure(App& app, int view, const platform::Message& message);

// Sends a command to a window synchronously, through the same gate as a menu command.
void SendCommand(App& app, int view, int command);

// Opens a WAV ("RIFF") or SAS ("SAS ") file chosen by its first four bytes; anything else,
// an unreadable file or a name over 259 characters does nothing.
void OpenDocumentByName(App& app, const std::string& path);

// Reads the window's client rectangle below the toolbar (the SAS window also leaves room
// for its pane controls), sizes its backing image and the plot rows.
void LayOutClientArea(App& app, int view);
// Places the SAS window's two pane scroll controls at the right edge of its client area.
void PlaceSasPaneControls(App& app);

void PaintWindow(App& app, int view, const platform::Rect& rect);
// The status strip; without full only the value fields.
void PaintStatus(App& app, platform::Canvas& canvas, int view, bool full);

}  // namespace vocara
