// Generated settings files for the tests: the 112-byte record, followed by the window layout
// when one is given.
#pragma once

#include <string>

#include "base/Settings.h"

namespace vocara::test {

inline std::string SettingsFileBytes(const GeneralSettings& settings) {
  const auto record = settings.Serialise();
  return std::string(record.begin(), record.end());
}

inline std::string SettingsFileBytes(const GeneralSettings& settings, const WindowLayout& layout) {
  const auto rects = layout.Serialise();
  return SettingsFileBytes(settings) + std::string(rects.begin(), rects.end());
}

}  // namespace vocara::test
