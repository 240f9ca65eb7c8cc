// The values come from CMake as definitions of this file alone, so that a new version or
// prefix recompiles one file.
#include "base/BuildInfo.h"

namespace vocara {

std::string_view ProgramVersion() { return VOCARA_VERSION; }

std::string_view ReleaseDate() { return VOCARA_RELEASE_DATE; }

std::string VersionLine(std::string_view program) {
  std::string line(program);
  line += ' ';
  line += ProgramVersion();
  line += " (";
  line += ReleaseDate();
  line += ')';
  return line;
}

std::string InstalledGuidePath() { return VOCARA_INSTALLED_GUIDE; }

}  // namespace vocara
