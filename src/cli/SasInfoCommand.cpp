#include "cli/SasInfoCommand.h"

#include <array>
#include <charconv>

#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "cli/TargetKind.h"
#include "engine/sas/SasDocument.h"

namespace vocara::cli {
namespace {

// The shortest text that reads back as the same double, so the printed settings are exact.
std::string Exact(double value) {
  std::array<char, 32> text{};
  const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() ? std::string(text.data(), end) : std::string("nan");
}

}  // namespace

// Never waits on a named pipe or a device: only a regular file can be a SAS, and anything else
// goes on to the WAV opener's refusal.
bool StartsAsSasFile(const std::string& path) { return KindOfFile(path) == TargetKind::Sas; }

int SasInfo(const std::string& path, std::ostream& out, std::ostream& err) {
  SasDocument sas;
  // Read-only: printing must not need write access nor change the file.
  if (!OpenSas(err, path, SasAccess::ReadOnly, sas)) return ExitFailure;
  const SasHeader& h = sas.header;
  out << "frames=" << h.frameCount << '\n'
      << "links=" << h.linkCount << '\n'
      << "frame_length=" << h.frameLength << '\n'
      << "rate=" << h.sampleRate << '\n'
      << "wav_checksum=" << Hex8(h.wavChecksum) << '\n';
  const GeneralSettings& s = h.settings;
  out << "instrument=" << s.instrument << '\n'
      << "lowestNote=" << s.lowestNote << '\n'
      << "highestNote=" << s.highestNote << '\n'
      << "chunkPeriods=" << Exact(s.chunkPeriods) << '\n'
      << "baseNoteThreshold=" << Exact(s.baseNoteThreshold) << '\n'
      << "beatsPerBar=" << s.beatsPerBar << '\n'
      << "beatUnit=" << s.beatUnit << '\n'
      << "divisions=" << s.divisions << '\n'
      << "tempo=" << Exact(s.tempo) << '\n'
      << "rulerOrigin=" << s.rulerOrigin << '\n'
      << "originBar=" << s.originBar << '\n'
      << "whiteNoise=" << Exact(s.whiteNoise) << '\n'
      << "noiseGain=" << Exact(s.noiseGain) << '\n'
      << "noiseLength=" << s.noiseLength << '\n'
      << "selectThreshold=" << Exact(s.selectThreshold) << '\n'
      << "silenceThreshold=" << Exact(s.silenceThreshold) << '\n'
      << "timeCorrection=" << s.timeCorrection << '\n';
  return ExitSuccess;
}

}  // namespace vocara::cli
