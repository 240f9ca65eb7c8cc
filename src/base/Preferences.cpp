#include "base/Preferences.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

#include "base/FileHandle.h"
#include "base/MessageId.h"
#include "base/OutputFile.h"
#include "base/UserFolders.h"

namespace vocara {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view FileName = "preferences";
// A preferences file is a few lines; anything this large is not ours, and reading it at every
// start would only slow the program down.
constexpr std::uint64_t LargestFile = 1 << 20;

constexpr std::string_view FormantsKey = "formants";
constexpr std::string_view FormantShiftKey = "formantShift";

// A whole number of cents, the whole value; clamped to the shift's range, 0 for anything else.
int ParseShift(std::string_view value) {
  long long cents = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), cents);
  if (error != std::errc() || end != value.data() + value.size()) return 0;
  return static_cast<int>(std::clamp<long long>(cents, -MaxPreferredFormantShift, MaxPreferredFormantShift));
}

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view Blanks = " \t\r";
  const std::size_t first = text.find_first_not_of(Blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

struct Line {
  std::string_view key;  // empty for a line without '='
  std::string_view value;
};

Line Split(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return {};
  return {Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1))};
}

// Calls `visit(line)` for each line of `text`, without its '\n'.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    visit(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

// The keys this version writes, with their values for `preferences`.
constexpr std::size_t KeyCount = 2;
std::array<std::pair<std::string_view, std::string>, KeyCount> Entries(const Preferences& preferences) {
  return {{{FormantsKey, preferences.keepFormants ? "keep" : "shift"},
           {FormantShiftKey, std::to_string(preferences.formantShift)}}};
}

enum class ReadOutcome { Read, Missing, Unreadable };

ReadOutcome ReadText(const fs::path& path, std::string& text) {
  text.clear();
  std::error_code error;
  if (!fs::exists(path, error)) return error ? ReadOutcome::Unreadable : ReadOutcome::Missing;
  FileHandle file = FileHandle::OpenForReading(path.string());
  if (!file.IsOpen()) return ReadOutcome::Unreadable;
  const std::uint64_t size = file.Size();
  if (size > LargestFile) return ReadOutcome::Unreadable;
  text.resize(static_cast<std::size_t>(size));
  if (file.Read(text.data(), text.size()) != text.size()) return ReadOutcome::Unreadable;
  return ReadOutcome::Read;
}

}  // namespace

Preferences ParsePreferences(std::string_view text) {
  Preferences preferences;
  ForEachLine(text, [&](std::string_view line) {
    const Line entry = Split(line);
    if (entry.key == FormantsKey) preferences.keepFormants = entry.value == "keep";
    if (entry.key == FormantShiftKey) preferences.formantShift = ParseShift(entry.value);
  });
  return preferences;
}

std::string FormatPreferences(const Preferences& preferences, std::string_view previous) {
  const auto entries = Entries(preferences);
  std::array<bool, KeyCount> written{};
  std::string text;
  const auto write = [&](std::size_t index) {
    text.append(entries[index].first).append("=").append(entries[index].second).append("\n");
    written[index] = true;
  };
  ForEachLine(previous, [&](std::string_view line) {
    const Line entry = Split(line);
    for (std::size_t index = 0; index < KeyCount; ++index) {
      if (entry.key != entries[index].first) continue;
      if (!written[index]) write(index);
      return;
    }
    text.append(line).append("\n");
  });
  // The shift is added only once it is used, so a file that never moved the formants reads as
  // it did before the key existed (and as older versions write it).
  for (std::size_t index = 0; index < KeyCount; ++index)
    if (!written[index] && (entries[index].first != FormantShiftKey || preferences.formantShift != 0))
      write(index);
  return text;
}

fs::path PreferencesPath(const std::string& userConfigDirectory) {
  if (userConfigDirectory.empty()) return {};
  return fs::path(userConfigDirectory) / "vocara" / FileName;
}

Preferences LoadPreferences(const fs::path& path) {
  std::string text;
  if (path.empty() || ReadText(path, text) != ReadOutcome::Read) return {};
  return ParsePreferences(text);
}

bool SavePreferences(const fs::path& path, const Preferences& preferences) {
  if (path.empty()) return false;
  std::string previous;
  if (ReadText(path, previous) == ReadOutcome::Unreadable) return false;
  if (!MakePrivateFolders(path.parent_path())) return false;
  const std::string text = FormatPreferences(preferences, previous);
  OutputFile output;
  if (output.Begin(path.string()) != MessageId::None) return false;
  return output.File().Write(text.data(), text.size()) && output.Commit();
}

}  // namespace vocara
