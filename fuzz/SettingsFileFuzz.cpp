// libFuzzer target for the settings file loader. The first 16 bytes of an input are the work
// area (left, top, right, bottom as little-endian int32) the stored window rectangles are
// checked against; the rest is the settings file.
//
// What start-up relies on: a file taken is left untouched, and saving what was taken (record
// and layout) gives a file that loads back to the same values; a file refused gives the
// built-in values and is rewritten as exactly the built-in 176 bytes, which load back as taken
// whenever the default windows fit the work area.
//
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/settings_file_fuzz -max_total_time=60`.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "base/Settings.h"

namespace {

using namespace vocara;

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string BuiltInFile() {
  const auto record = GeneralSettings{}.Serialise();
  const auto layout = WindowLayout::Defaults().Serialise();
  std::string bytes(record.begin(), record.end());
  bytes.append(layout.begin(), layout.end());
  return bytes;
}

bool DefaultsFit(const platform::Rect& workArea) {
  const WindowLayout defaults = WindowLayout::Defaults();
  for (int view = 0; view < ViewCount; ++view) {
    if (!LayoutRectAcceptable(view, defaults.rects[static_cast<std::size_t>(view)], workArea)) return false;
  }
  return true;
}

// Bit for bit: the fields that are not range-checked (whiteNoise) may hold a NaN, which no
// comparison of values would find equal to itself.
bool SameValues(const SettingsLoadResult& a, const SettingsLoadResult& b) {
  return a.accepted == b.accepted && a.settings.Serialise() == b.settings.Serialise() && a.layout == b.layout;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile file = fuzz::InputFile::Memory("settings-input");
  static const std::string builtIn = BuiltInFile();
  constexpr std::size_t WorkAreaBytes = 16;
  if (size < WorkAreaBytes) return 0;
  std::int32_t area[4];
  std::memcpy(area, data, WorkAreaBytes);
  const platform::Rect workArea{area[0], area[1], area[2], area[3]};
  const std::string content(reinterpret_cast<const char*>(data + WorkAreaBytes), size - WorkAreaBytes);
  file.Fill(content.data(), content.size());

  const SettingsLoadResult loaded = LoadSettingsFile(file.Path(), workArea);
  if (!loaded.accepted) {
    Require(loaded.settings == GeneralSettings{} && loaded.layout == WindowLayout::Defaults());
    Require(file.Read() == builtIn);
    if (DefaultsFit(workArea)) Require(LoadSettingsFile(file.Path(), workArea).accepted);
    return 0;
  }
  Require(content.size() >= SettingsFileSize);
  Require(file.Read() == content);
  Require(loaded.settings.instrument >= 0 && ValidateSettings(loaded.settings));

  // The program writes back what it took: the record when the Settings dialog closes, the
  // layout when the WAV window closes. Both must come back unchanged at the next start.
  SaveSettingsRecord(file.Path(), loaded.settings);
  SaveWindowLayout(file.Path(), loaded.layout);
  Require(SameValues(LoadSettingsFile(file.Path(), workArea), loaded));
  return 0;
}
