#include "cli/TargetKind.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/FileHandle.h"
#include "engine/sas/SasRecords.h"

namespace vocara::cli {
namespace {

// Enough for the RIFF form and several lines of any text the tool writes.
constexpr std::size_t KindBytes = 64;

bool IsOurText(std::string_view start) {
  if (start.find("\r\n") == std::string_view::npos) return false;
  return std::all_of(start.begin(), start.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '\t' || c == '\r' || c == '\n';
  });
}

std::string_view KindName(TargetKind kind) {
  switch (kind) {
    case TargetKind::Wav:
      return "a WAV recording";
    case TargetKind::Sas:
      return "a SAS file";
    case TargetKind::Midi:
      return "a MIDI file";
    case TargetKind::Text:
      return "a text file of numbers";
    case TargetKind::Unknown:
      break;
  }
  return "a file";
}

}  // namespace

TargetKind KindOfFile(const std::string& path) {
  std::array<char, KindBytes> bytes{};
  FileHandle file = FileHandle::OpenForReading(path);
  if (!file.IsOpen()) return TargetKind::Unknown;
  const std::string_view start(bytes.data(), file.Read(bytes.data(), bytes.size()));
  if (start.size() >= 12 && start.starts_with("RIFF") && start.substr(8, 4) == "WAVE") return TargetKind::Wav;
  if (start.starts_with(std::string_view(SasMagic.data(), SasMagic.size()))) return TargetKind::Sas;
  if (start.starts_with("MThd")) return TargetKind::Midi;
  if (IsOurText(start)) return TargetKind::Text;
  return TargetKind::Unknown;
}

bool RefusesOtherKind(std::ostream& err, std::string_view command, const std::string& target,
                      TargetKind writes, std::initializer_list<std::string_view> inputs) {
  for (const std::string_view input : inputs)
    if (!input.empty() && SameFile(target, std::string(input))) return false;
  const TargetKind found = KindOfFile(target);
  if (found == TargetKind::Unknown || found == writes) return false;
  err << "vocara-cli: " << target << " is " << KindName(found) << "; " << command << " writes "
      << (writes == TargetKind::Text ? "a text file" : KindName(writes)) << " and will not replace it\n";
  return true;
}

}  // namespace vocara::cli
