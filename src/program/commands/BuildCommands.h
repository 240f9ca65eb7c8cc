// SAS File / Build in the program (command 120).
#pragma once

namespace vocara {

struct App;

// Command 120 in the program: in busy mode, the save dialog "Build SAS as...", the refusal of
// the open SAS as the target, the WAV view fitted to the whole file, then the build with the
// WAV cursor as its progress display and Esc as its stop.
void SasBuildCommand(App& app);

}  // namespace vocara
