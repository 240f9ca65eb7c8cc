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

void PrintFacts(std::ostream& out, const std::vector<InfoFact>& facts, bool json) {
  if (!json) {
    for (const InfoFact& fact : facts) out << fact.key << '=' << fact.value << '\n';
    return;
  }
  // Keys and texts are plain words and hex digits: nothing in them needs escaping.
  out << '{';
  for (std::size_t i = 0; i < facts.size(); ++i) {
    out << (i == 0 ? "\"" : ", \"") << facts[i].key << "\": ";
    out << (facts[i].text ? "\"" + facts[i].value + "\"" : facts[i].value);
  }
  out << "}\n";
}

int SasInfo(const std::string& path, std::ostream& out, std::ostream& err, bool json) {
  SasDocument sas;
  // Read-only: printing must not need write access nor change the file.
  if (!OpenSas(err, path, SasAccess::ReadOnly, sas)) return ExitFailure;
  const SasHeader& h = sas.header;
  const GeneralSettings& s = h.settings;
  const auto n = [](auto value) { return std::to_string(value); };
  PrintFacts(out,
             {{"frames", n(h.frameCount)},
              {"links", n(h.linkCount)},
              {"frame_length", n(h.frameLength)},
              {"rate", n(h.sampleRate)},
              {"wav_checksum", Hex8(h.wavChecksum), true},
              {"instrument", n(s.instrument)},
              {"lowestNote", n(s.lowestNote)},
              {"highestNote", n(s.highestNote)},
              {"chunkPeriods", Exact(s.chunkPeriods)},
              {"baseNoteThreshold", Exact(s.baseNoteThreshold)},
              {"beatsPerBar", n(s.beatsPerBar)},
              {"beatUnit", n(s.beatUnit)},
              {"divisions", n(s.divisions)},
              {"tempo", Exact(s.tempo)},
              {"rulerOrigin", n(s.rulerOrigin)},
              {"originBar", n(s.originBar)},
              {"whiteNoise", Exact(s.whiteNoise)},
              {"noiseGain", Exact(s.noiseGain)},
              {"noiseLength", n(s.noiseLength)},
              {"selectThreshold", Exact(s.selectThreshold)},
              {"silenceThreshold", Exact(s.silenceThreshold)},
              {"timeCorrection", n(s.timeCorrection)}},
             json);
  return ExitSuccess;
}

}  // namespace vocara::cli
