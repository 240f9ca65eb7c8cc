// What the windows are painted from: the windows' own states, the open SAS (whose page notes a
// paint lists again when they are stale), the recording and its companions (the WAV status
// strip sets the recording's cursor from the cursor column it shows), the configuration and the
// devices as the status strips show them, with the ports that draw and present. The painters
// and the cursor take this, not the whole program.
#pragma once

#include "platform/Platform.h"

namespace vocara {

struct Configuration;
struct Devices;
struct OpenDocuments;
struct SasSession;
struct WindowStates;

struct Screen {
  platform::WindowPort& port;
  platform::TextRenderer& text;
  WindowStates& windows;
  SasSession& session;
  OpenDocuments& docs;
  const Configuration& config;
  const Devices& devices;
};

}  // namespace vocara
