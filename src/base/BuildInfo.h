// What this build is: its version and release date (the About box and both programs' --version
// show them from here, so they cannot differ) and where its installation puts the user guide.
#pragma once

#include <string>
#include <string_view>

namespace vocara {

std::string_view ProgramVersion();  // "0.1.0"
std::string_view ReleaseDate();     // "December 2026"

// "PROGRAM VERSION (DATE)", the line --version prints.
std::string VersionLine(std::string_view program);

// The user guide where `cmake --install` puts it under the prefix this build was configured
// with (<prefix>/share/doc/vocara/vocara.pdf).
std::string InstalledGuidePath();

}  // namespace vocara
