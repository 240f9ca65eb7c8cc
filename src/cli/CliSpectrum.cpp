#include "cli/CliSpectrum.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "base/FileHandle.h"
#include "base/Instruments.h"
#include "base/MessageId.h"
#include "base/OutputFile.h"
#include "base/Settings.h"
#include "cli/BuildCommand.h"
#include "cli/Cli.h"
#include "cli/TargetKind.h"
#include "engine/processing/Fft.h"
#include "engine/processing/Spectrum.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

template <typename T>
std::optional<T> ParseWhole(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

struct Command {
  std::string_view name;
  std::string_view names;  // the positional arguments, for the message
  std::size_t nameCount;
  std::initializer_list<std::string_view> options;
};

struct Request {
  std::vector<std::string> names;
  TimeValue atTime;
  std::string atText;
  std::uint32_t at = 0;  // atTime on the recording
  std::uint32_t fft = MinFftSize;
  int window = 0;
  std::vector<std::int32_t> marks;
  GeneralSettings settings;
  Adjustments adjusted;
};

// The arguments after the command: the names in order, the options anywhere among them, a
// settings file first and then the notes in the order given (as build takes them). Returns the
// problem, empty when the arguments are sound.
std::string Parse(const std::vector<std::string>& args, const Command& command, Request& request) {
  std::optional<TimeValue> at;
  std::vector<std::string> marks;
  std::optional<std::string> settingsFile;
  std::vector<std::pair<std::string, std::string>> notes;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!arg.starts_with("--")) {
      request.names.push_back(arg);
      continue;
    }
    if (std::find(command.options.begin(), command.options.end(), arg) == command.options.end())
      return "unknown option '" + arg + "'";
    if (i + 1 == args.size()) return arg + " needs a value";
    const std::string& value = args[++i];
    if (arg == "--at") {
      at = ParseTime(value);
      if (!at)
        return "--at takes a sample index" + std::string(MeantAsSeconds(value) ? OrSeconds : "") + ", not '" +
               value + "'";
      request.atText = value;
    } else if (arg == "--fft") {
      const std::optional<std::uint32_t> n = ParseWhole<std::uint32_t>(value);
      if (!n || *n < MinFftSize || *n > MaxFftSize || !std::has_single_bit(*n))
        return "--fft takes a power of two from 1024 to 1048576, not '" + value + "'";
      request.fft = *n;
    } else if (arg == "--window") {
      const std::optional<int> kind = ParseWhole<int>(value);
      if (!kind || *kind < 0 || *kind >= WindowKindCount) return "--window takes 0 .. 7, not '" + value + "'";
      request.window = *kind;
    } else if (arg == "--mark") {
      marks.push_back(value);
    } else if (arg == "--settings") {
      if (settingsFile) return "--settings is given twice";
      settingsFile = value;
    } else {
      notes.emplace_back(arg, value);
    }
  }
  if (request.names.size() != command.nameCount)
    return std::string(command.name) + " takes " + std::string(command.names);
  if (!at) return std::string(command.name) + " needs --at S";
  request.atTime = *at;
  // Bins 0 and N/2 have only one neighbour; a mark there is refused.
  const auto highest = static_cast<std::int32_t>(request.fft / 2 - 1);
  for (const std::string& value : marks) {
    const std::optional<std::int32_t> bin = ParseWhole<std::int32_t>(value);
    if (!bin || *bin < 1 || *bin > highest)
      return "--mark takes a bin from 1 to " + std::to_string(highest) + ", not '" + value + "'";
    request.marks.push_back(*bin);
  }
  if (settingsFile) {
    const std::optional<GeneralSettings> loaded = ReadSettingsFile(*settingsFile, request.adjusted);
    if (!loaded) return "'" + *settingsFile + "' is not a valid 176-byte settings file";
    request.settings = *loaded;
  }
  for (const auto& [option, value] : notes) {
    const std::optional<int> note = ReadNote(option, value, request.adjusted);
    if (!note) return "'" + value + "' is not a note index 0..87 or a note name A0 .. C8";
    if (option == "--lowest") {
      ChooseLowestNote(request.settings, *note);
    } else {
      ChooseHighestNote(request.settings, *note);
    }
  }
  return {};
}

// Parses the arguments and opens the recording with the cursor inside it (the cursor may stand
// on the sample count, as in the WAV window). The exit code when the command cannot go on.
std::optional<int> Prepare(const std::vector<std::string>& args, const Command& command, Request& request,
                           WavDocument& wav, std::ostream& err, UsageReporter usage) {
  if (const std::string problem = Parse(args, command, request); !problem.empty()) return usage(err, problem);
  if (!OpenWav(err, request.names[0], wav)) return ExitFailure;
  request.at = TimeIndex(request.atTime, SampleScale(wav));
  if (request.at > wav.sampleCount) {
    return usage(err, "--at " + (request.atTime.seconds ? request.atText : std::to_string(request.at)) +
                          " lies past the " + std::to_string(wav.sampleCount) + " samples of " +
                          request.names[0]);
  }
  return std::nullopt;
}

void Spectrum(SpectrumState& state, const Request& request, WavDocument& wav) {
  state.fftSize = request.fft;
  state.windowKind = request.window;
  ComputeSpectrum(state, wav, request.at);
}

// The strengths and the detection printed, once the recording is open.
int Notes(const Request& request, WavDocument& wav, std::ostream& out, std::ostream& err) {
  const std::uint32_t rate = wav.header.fields.sampleRate;
  NoteReadout readout;
  try {
    std::vector<double> window(NoteWindowLength(rate, request.settings));
    ComputeNoteSpectrum(readout, wav, request.at, request.settings, window);
  } catch (const std::bad_alloc&) {
    // Only a sample rate far beyond any real recording asks for more than memory holds.
    err << "vocara-cli: the analysis window of " << request.names[0] << " does not fit in memory\n";
    return ExitFailure;
  }
  std::string text;
  char line[128];
  const auto append = [&](int length) {
    text.append(line, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
  };
  for (int key = 0; key < NoteCount; ++key) {
    const std::string name(NoteName(key));
    append(std::snprintf(line, sizeof line, "%s\t%.6f\n", name.c_str(), readout.spectrum.At(key)));
  }
  const std::string detected(NoteName(readout.detected));
  append(
      std::snprintf(line, sizeof line, "detected=%s\nfine=%.1f\n", detected.c_str(), readout.spectrum.fine));
  out << text;
  return ExitSuccess;
}

}  // namespace

int SpectrumCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    UsageReporter usage) {
  Request request;
  WavDocument wav;
  if (const std::optional<int> stop =
          Prepare(args, {"spectrum", "IN.wav", 1, {"--at", "--fft", "--window"}}, request, wav, err, usage))
    return *stop;
  SpectrumState state;
  Spectrum(state, request, wav);
  const double rate = wav.header.fields.sampleRate;
  const std::uint32_t n = state.fftSize;
  std::string text;
  text.reserve(std::size_t{n / 2 + 1} * 32);
  char line[128];
  for (std::uint32_t k = 0; k <= n / 2; ++k) {
    const int length = std::snprintf(line, sizeof line, "%u\t%.6f\t%.6f\n", k, k * rate / n,
                                     AmplitudePercent(state.spectrum[k]));
    text.append(line, static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof line) - 1)));
  }
  out << text;
  return ExitSuccess;
}

int PeaksCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  Request request;
  WavDocument wav;
  if (const std::optional<int> stop =
          Prepare(args, {"peaks", "IN.wav OUT.txt", 2, {"--at", "--fft", "--window", "--mark", "--settings"}},
                  request, wav, err, usage))
    return request.adjusted.Tell(err, *stop);
  // A settings field the file held out of its range is said after the rest, as notes says it.
  const auto told = [&err, &request](int exit) { return request.adjusted.Tell(err, exit); };
  const std::string& target = request.names[1];
  if (SameFile(target, wav.path))
    return told(OutputFailure(err, MessageId::OpenedFileCanNotBeOverwritten, target));
  if (RefusesOtherKind(err, "peaks", target, TargetKind::Text)) return told(ExitFailure);
  SpectrumState state;
  Spectrum(state, request, wav);
  for (const std::int32_t bin : request.marks) MarkPeak(state, bin);
  const std::string text =
      PeakListText(state, wav.header.fields.sampleRate, request.settings.silenceThreshold);

  OutputFile output;
  if (const MessageId refused = output.Begin(target); refused != MessageId::None)
    return told(OutputFailure(err, refused, target));
  if (!output.File().Write(text.data(), text.size()) || !output.Commit())
    return told(OutputFailure(err, MessageId::OutputWriteFailed, target));
  return told(ExitSuccess);
}

int NotesCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 UsageReporter usage) {
  Request request;
  WavDocument wav;
  if (const std::optional<int> stop =
          Prepare(args, {"notes", "IN.wav", 1, {"--at", "--settings", "--lowest", "--highest"}}, request, wav,
                  err, usage))
    return request.adjusted.Tell(err, *stop);
  return request.adjusted.Tell(err, Notes(request, wav, out, err));
}

}  // namespace vocara::cli
