#include "cli/CliInTune.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string_view>

#include "base/FileHandle.h"
#include "base/Instruments.h"
#include "base/MessageId.h"
#include "base/OutputFile.h"
#include "cli/BuildCommand.h"
#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "cli/InPlaceChange.h"
#include "cli/TargetKind.h"
#include "cli/TerminalProgress.h"
#include "engine/midi/StandardMidiFile.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/processing/GuideMelody.h"
#include "engine/sas/NoteShift.h"
#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/ScaleSnap.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

// Snap to Scale's numbers: the dialog's fields, but refused outside the dialog's ranges rather
// than quietly limited, so that a typing slip cannot retune a take.
struct SnapNumber {
  const char* option;
  double ScaleSnapParams::*field;
  double min;
  double max;
};
constexpr SnapNumber SnapNumbers[] = {
    {"--reference", &ScaleSnapParams::reference, MinReference, MaxReference},
    {"--centre", &ScaleSnapParams::centre, 0, 100},
    {"--drift", &ScaleSnapParams::drift, 0, 100},
    {"--retune", &ScaleSnapParams::retuneMs, 0, MaxRetuneMs},
};

// A note of the Re-analyse Range dialog's lists: an index outside them is refused.
std::string ReadListNote(const ParsedArguments& parsed, const char* option, std::optional<int>& note) {
  const std::string& text = *parsed.Value(option);
  if (const std::optional<long long> index = ParseInteger(text); index && (*index < 0 || *index >= NoteCount))
    return OutsideRange(option, text, 0, NoteCount - 1);
  note = ParseNote(text);
  return note ? std::string()
              : std::string(option) + ": '" + text + "' is not a note; notes are 0..87 or A0 .. C8";
}

// The value of `option` when it was given: a number read as the dialogs read it, refused outside
// min .. max. The usage problem, empty when the value is taken (or the option not given).
std::string ReadRangedNumber(const ParsedArguments& parsed, const char* option, double min, double max,
                             double& value) {
  const std::string* text = parsed.Value(option);
  if (!text) return {};
  const std::optional<double> number = ParseFieldNumber(*text);
  if (!number) return NotANumber(option, *text);
  if (*number < min || *number > max) return OutsideRange(option, *text, min, max);
  value = *number;
  return {};
}

// --range A:B of frames, limited to the file's frames; the whole file without it.
std::string FrameRange(const ParsedArguments& parsed, const SasDocument& sas, const std::string& name,
                       std::uint32_t& first, std::uint32_t& end) {
  const std::uint32_t frameCount = sas.header.frameCount;
  first = 0;
  end = frameCount;
  const std::string* text = parsed.Value("--range");
  if (!text) return {};
  RangeArgument range;
  if (std::string problem = ParseRange(*text, range); !problem.empty()) return problem;
  if (std::string problem = FitRange(range, FrameScale(sas), frameCount, RangeUnit::Frames, name);
      !problem.empty())
    return problem;
  first = range.left;
  end = range.right;
  return {};
}

// The WAV read, the SAS open for writing, and the two must fit, as the program requires.
bool OpenPair(std::ostream& err, const std::string& wavPath, const std::string& sasPath, WavDocument& wav,
              SasDocument& sas, SasAccess access) {
  if (!OpenWav(err, wavPath, wav) || !OpenSas(err, sasPath, access, sas)) return false;
  if (!SasFitsWav(sas.header, wav)) {
    DoesNotFit(err, wavPath, wav, sasPath, sas.header);
    return false;
  }
  return true;
}

// IN.wav and IN.sas (the first two names) open for writing the SAS and fitting, and the frames
// of --range.
struct FramesOfPair {
  WavDocument wav;
  SasDocument sas;
  std::uint32_t first = 0;
  std::uint32_t end = 0;
};
int OpenFramesOfPair(const ParsedArguments& parsed, std::ostream& err, UsageReporter usage,
                     FramesOfPair& pair) {
  if (!OpenPair(err, parsed.names[0], parsed.names[1], pair.wav, pair.sas, SasAccess::ReadWrite))
    return ExitFailure;
  if (const std::string problem = FrameRange(parsed, pair.sas, parsed.names[1], pair.first, pair.end);
      !problem.empty())
    return usage(err, problem);
  return ExitSuccess;
}

}  // namespace

int SnapCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(
      args, {"--key", "--scale", "--reference", "--centre", "--drift", "--retune", "--range"}, {}, parsed);
  if (problem.empty() && parsed.names.size() != 1) problem = "snap takes one IN.sas";
  if (problem.empty() && (!parsed.Value("--key") || !parsed.Value("--scale")))
    problem = "snap needs --key and --scale";
  ScaleSnapParams params;
  if (problem.empty()) {
    const std::optional<int> key = ParseKey(*parsed.Value("--key"));
    if (!key) problem = "key '" + *parsed.Value("--key") + "' is not a note name such as C, F# or Bb";
    params.key = key.value_or(0);
  }
  if (problem.empty()) {
    const std::string& scale = *parsed.Value("--scale");
    bool known = false;
    for (int k = 0; k < ScaleKindCount && !known; ++k) {
      const auto kind = static_cast<ScaleKind>(k);
      if (kind != ScaleKind::Custom && scale == ScaleKindName(kind)) {
        params.scale = kind;
        known = true;
      }
    }
    if (!known && scale.starts_with("custom:")) {
      const std::optional<std::uint16_t> set = ParsePitchClasses(std::string_view(scale).substr(7));
      if (set) {
        params.scale = ScaleKind::Custom;
        params.custom = *set;
        known = true;
      }
    }
    if (!known)
      problem =
          "scale '" + scale + "' is not chromatic, major, minor, harmonic-minor or custom:0,2,... (0 .. 11)";
  }
  for (const SnapNumber& number : SnapNumbers) {
    if (problem.empty())
      problem = ReadRangedNumber(parsed, number.option, number.min, number.max, params.*(number.field));
  }
  if (!problem.empty()) return usage(err, problem);

  SasDocument sas;
  if (!OpenSas(err, parsed.names[0], SasAccess::ReadWrite, sas)) return ExitFailure;
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  if (problem = FrameRange(parsed, sas, parsed.names[0], first, end); !problem.empty())
    return usage(err, problem);
  return ChangeInPlace(err, sas, parsed.names[0], [&](const ProgressCallback& progress) {
    return SasSnapToScale(sas, first, end, params, {}, progress);
  });
}

int NoteCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(
      args, {"--at", "--range", "--move", "--to", "--vibrato", "--drift", "--retune"}, {}, parsed);
  if (problem.empty() && parsed.names.size() != 1) problem = "note takes one IN.sas";
  if (problem.empty() && (parsed.Value("--at") == nullptr) == (parsed.Value("--range") == nullptr))
    problem = "note needs --at FRAME or --range A:B";
  if (problem.empty() && (parsed.Value("--move") == nullptr) == (parsed.Value("--to") == nullptr))
    problem = "note needs --move CENTS or --to NOTE";
  // The numbers, refused outside their ranges as snap refuses them.
  struct Number {
    const char* option;
    double min;
    double max;
    double value;
  };
  Number numbers[] = {{"--move", -1200, 1200, 0},
                      {"--vibrato", 0, MaxVibrato, 100},
                      {"--drift", 0, 100, 0},
                      {"--retune", 0, MaxRetuneMs, ScaleSnapParams{}.retuneMs}};
  for (Number& number : numbers) {
    if (problem.empty())
      problem = ReadRangedNumber(parsed, number.option, number.min, number.max, number.value);
  }
  std::optional<int> to;
  if (problem.empty() && parsed.Value("--to")) {
    to = ParseNote(*parsed.Value("--to"));
    if (!to) problem = "--to: '" + *parsed.Value("--to") + "' is not a note (0 .. 87 or A0 .. C8)";
  }
  std::optional<TimeValue> atTime;
  if (problem.empty() && parsed.Value("--at")) {
    const std::string& text = *parsed.Value("--at");
    atTime = ParseTime(text);
    if (!atTime)
      problem =
          "--at: '" + text + "' is not a frame number" + std::string(MeantAsSeconds(text) ? OrSeconds : "");
  }
  if (!problem.empty()) return usage(err, problem);

  const std::string& name = parsed.names[0];
  SasDocument sas;
  if (!OpenSas(err, name, SasAccess::ReadWrite, sas)) return ExitFailure;
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  std::optional<std::uint32_t> at;
  if (atTime) {
    at = TimeIndex(*atTime, FrameScale(sas));
    if (*at >= sas.header.frameCount)
      return usage(err, "--at " + (atTime->seconds ? *parsed.Value("--at") : std::to_string(*at)) +
                            " is past the " + std::to_string(sas.header.frameCount) + " frames of " + name);
  } else if (problem = FrameRange(parsed, sas, name, first, end); !problem.empty()) {
    return usage(err, problem);
  }

  // The take's notes as sung, and the chosen ones.
  CorrectionReport listing;
  if (!ListNotesOfFrames(sas, 0, sas.header.frameCount, listing)) {
    err << "vocara-cli: could not read " << name << '\n';
    return ExitFailure;
  }
  std::vector<NoteShift> chosen;
  for (const NoteReport& note : listing.notes) {
    const bool wanted = at ? note.firstFrame <= *at && *at < note.endFrame
                           : note.firstFrame >= first && note.firstFrame < end;
    if (!wanted) continue;
    // --to puts the note's target centre on the note; --move moves it by the cents.
    const double cents = to ? *to * 100.0 - (note.note * 100.0 + note.targetCents) : numbers[0].value;
    chosen.push_back({{note.firstFrame, note.endFrame}, cents});
  }
  if (chosen.empty()) {
    err << "vocara-cli: no note ";
    if (at)
      err << "at frame " << *at;
    else
      err << "starts in frames " << *parsed.Value("--range");
    err << " of " << name << '\n';
    return ExitFailure;
  }
  const double vibrato = numbers[1].value;
  const double drift = numbers[2].value;
  const double retune = numbers[3].value;
  return ChangeInPlace(err, sas, name, [&](const ProgressCallback&) {
    if ((vibrato != 100 || drift != 0) && !SasShapeNotes(sas, chosen, drift, vibrato)) return false;
    return SasShiftNotes(sas, chosen, retune);
  });
}

int MidiCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(args, {}, {"--bend"}, parsed);
  if (problem.empty() && parsed.names.size() != 2) problem = "midi takes IN.sas and OUT.mid";
  if (!problem.empty()) return usage(err, problem);
  const std::string& name = parsed.names[0];
  const std::string& target = parsed.names[1];
  SasDocument sas;
  if (!OpenSas(err, name, SasAccess::ReadOnly, sas)) return ExitFailure;
  if (SameFile(target, name)) return OutputFailure(err, MessageId::OpenedFileCanNotBeOverwritten, target);
  if (RefusesOtherKind(err, "midi", target, TargetKind::Midi)) return ExitFailure;
  std::vector<MidiOutNote> notes;
  if (!TakeNotesAsMidi(sas, 0, sas.header.frameCount, notes)) {
    err << "vocara-cli: could not read " << name << '\n';
    return ExitFailure;
  }
  if (notes.empty()) {
    err << "vocara-cli: " << name << " holds no notes; " << target << " was not written\n";
    return ExitFailure;
  }
  const std::vector<std::uint8_t> bytes = StandardMidiFileBytes(notes, parsed.Flag("--bend"));
  OutputFile output;
  if (const MessageId refused = output.Begin(target); refused != MessageId::None)
    return OutputFailure(err, refused, target);
  if (!output.File().Write(bytes.data(), bytes.size()) || !output.Commit())
    return OutputFailure(err, MessageId::OutputWriteFailed, target);
  return ExitSuccess;
}

namespace {

// "1.223 s (E4 -40)": where a note starts and what it is.
std::string SungNoteText(const NoteReport& note) {
  char text[64];
  const double cents = std::isfinite(note.centreCents) ? std::round(note.centreCents) : 0.0;
  std::snprintf(text, sizeof text, "%.3f s (%s %+d)", note.startSeconds,
                std::string(NoteName(note.note)).c_str(), static_cast<int>(cents));
  return text;
}

// "3.500 s (D#4)": a guide note, by its MIDI key (the key number outside the piano's A0 .. C8).
std::string GuideNoteText(const MidiNote& note) {
  char text[64];
  const int index = note.key - 21;
  const std::string name =
      index >= 0 && index < NoteCount ? std::string(NoteName(index)) : "key " + std::to_string(note.key);
  std::snprintf(text, sizeof text, "%.3f s (%s)", note.start, name.c_str());
  return text;
}

// --track and --channel: whole numbers within 1 .. max, as the user counts tracks and channels.
std::string ReadCount(const ParsedArguments& parsed, const char* option, int max, std::optional<int>& value) {
  const std::string* text = parsed.Value(option);
  if (!text) return {};
  const std::optional<long long> number = ParseInteger(*text);
  if (!number) return std::string(option) + ": '" + *text + "' is not a whole number";
  if (*number < 1 || *number > max) return OutsideRange(option, *text, 1, max);
  value = static_cast<int>(*number);
  return {};
}

}  // namespace

int GuideCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(
      args, {"--track", "--channel", "--centre", "--drift", "--retune", "--timing", "--range"}, {}, parsed);
  if (problem.empty() && parsed.names.size() != 2) problem = "guide takes IN.sas and GUIDE.mid";
  GuideParams params;
  struct Number {
    const char* option;
    double GuideParams::*field;
    double max;
  };
  static constexpr Number Numbers[] = {{"--centre", &GuideParams::centre, 100},
                                       {"--drift", &GuideParams::drift, 100},
                                       {"--retune", &GuideParams::retuneMs, MaxRetuneMs},
                                       {"--timing", &GuideParams::timing, 100}};
  for (const Number& number : Numbers) {
    if (problem.empty())
      problem = ReadRangedNumber(parsed, number.option, 0, number.max, params.*(number.field));
  }
  std::optional<int> track;
  std::optional<int> channel;
  if (problem.empty()) problem = ReadCount(parsed, "--track", 65535, track);
  if (problem.empty()) problem = ReadCount(parsed, "--channel", 16, channel);
  if (!problem.empty()) return usage(err, problem);

  const std::string& name = parsed.names[0];
  const std::string& guideName = parsed.names[1];
  SasDocument sas;
  if (!OpenSas(err, name, SasAccess::ReadWrite, sas)) return ExitFailure;
  std::uint32_t first = 0;
  std::uint32_t end = 0;
  if (problem = FrameRange(parsed, sas, name, first, end); !problem.empty()) return usage(err, problem);

  const MidiFileRead guide = ReadStandardMidiFile(guideName);
  if (!guide.problem.empty()) {
    err << "vocara-cli: " << guideName << ": " << guide.problem << '\n';
    // Why it could not be read (a pipe, a folder, no permission); a file it read says its fault.
    if (const std::optional<std::string> why = InputProblem(guideName, FileKind::Any))
      err << "vocara-cli: " << guideName << ": " << *why << '\n';
    return ExitFailure;
  }
  if (track && *track > guide.tracks) {
    err << "vocara-cli: " << guideName << " has " << guide.tracks
        << (guide.tracks == 1 ? " track" : " tracks") << ", not " << *track << '\n';
    return ExitFailure;
  }
  std::vector<MidiNote> chosen;
  for (const MidiNote& note : guide.notes) {
    if ((!track || note.track == *track - 1) && (!channel || note.channel == *channel - 1))
      chosen.push_back(note);
  }
  const std::vector<MidiNote> melody = GuideMelodyLine(std::move(chosen));
  if (melody.empty()) {
    err << "vocara-cli: no notes in " << guideName;
    if (track) err << " on track " << *track;
    if (channel) err << (track ? " and" : " on") << " channel " << *channel;
    err << '\n';
    return ExitFailure;
  }

  GuideOutcome outcome;
  const int exit = ChangeInPlace(err, sas, name, [&](const ProgressCallback&) {
    return SasFollowGuide(sas, melody, first, end, params, outcome);
  });
  if (exit != ExitSuccess) return exit;
  for (const NoteReport& note : outcome.unpairedSung)
    err << "vocara-cli: sung note at " << SungNoteText(note) << " has no guide note\n";
  for (const MidiNote& note : outcome.unpairedGuide)
    err << "vocara-cli: guide note at " << GuideNoteText(note) << " has no sung note\n";
  if (outcome.untimed > 0) {
    err << "vocara-cli: " << outcome.untimed << (outcome.untimed == 1 ? " note was" : " notes were")
        << " not put in time: its time link would cross another or the file holds " << MaxTimeLinks << '\n';
  }
  return ExitSuccess;
}

int ReanalyseCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(args, {"--lowest", "--highest", "--range"}, {}, parsed);
  if (problem.empty() && parsed.names.size() != 2) problem = "reanalyse takes IN.wav and IN.sas";
  if (problem.empty() && (!parsed.Value("--lowest") || !parsed.Value("--highest")))
    problem = "reanalyse needs --lowest and --highest";
  std::optional<int> lowest;
  std::optional<int> highest;
  if (problem.empty()) problem = ReadListNote(parsed, "--lowest", lowest);
  if (problem.empty()) problem = ReadListNote(parsed, "--highest", highest);
  // The dialog's two lists name a range from its lowest note up; the other way round is a slip
  // (the ends swapped, or a wrong octave) that must not measure some other range.
  if (problem.empty() && *lowest > *highest)
    problem = "--lowest " + *parsed.Value("--lowest") + " is above --highest " + *parsed.Value("--highest");
  if (!problem.empty()) return usage(err, problem);

  FramesOfPair pair;
  if (const int refused = OpenFramesOfPair(parsed, err, usage, pair); refused != ExitSuccess) return refused;
  return ChangeInPlace(
      err, pair.sas, parsed.names[1],
      [&](const ProgressCallback& progress) {
        return SasReanalyse(pair.wav, pair.sas, pair.first, pair.end, *lowest, *highest, {}, progress);
      },
      "reanalysing");
}

int RepairCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(args, {"--range"}, {}, parsed);
  if (problem.empty() && parsed.names.size() != 2) problem = "repair takes IN.wav and IN.sas";
  if (!problem.empty()) return usage(err, problem);

  FramesOfPair pair;
  if (const int refused = OpenFramesOfPair(parsed, err, usage, pair); refused != ExitSuccess) return refused;
  std::vector<PitchJump> jumps;
  std::uint32_t repaired = 0;
  // The pair's members by name: a structured binding cannot be captured by every compiler.
  const int exit = ChangeInPlace(err, pair.sas, parsed.names[1], [&](const ProgressCallback& progress) {
    return FindPitchJumps(pair.sas, pair.first, pair.end, jumps) &&
           SasRepairOctaveJumps(pair.wav, pair.sas, pair.first, pair.end, {}, &repaired, progress);
  });
  if (exit == ExitSuccess) out << "repaired " << repaired << " frames in " << jumps.size() << " jumps\n";
  return exit;
}

int ReportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem =
      ParseArguments(args, {"--range", "--time-correction", "--formants"}, {"--json"}, parsed);
  if (problem.empty() && parsed.names.size() != 2 && parsed.names.size() != 3)
    problem = "report takes IN.wav and IN.sas, and OUT.wav to compare";
  const std::string* timeCorrection = parsed.Value("--time-correction");
  if (problem.empty() && timeCorrection && *timeCorrection != "on" && *timeCorrection != "off")
    problem = "--time-correction takes on or off, not '" + *timeCorrection + "'";
  // Without a rendering there is nothing for the option to describe.
  if (problem.empty() && timeCorrection && parsed.names.size() == 2)
    problem = "--time-correction describes OUT.wav, which is not given";
  // Both renders follow the same timeline, so the pitch is measured the same way on either;
  // the option only says which render OUT.wav is.
  const std::string* formants = parsed.Value("--formants");
  if (problem.empty() && formants && *formants != "keep" && *formants != "shift")
    problem = "--formants takes keep or shift, not '" + *formants + "'";
  if (problem.empty() && formants && parsed.names.size() == 2)
    problem = "--formants describes OUT.wav, which is not given";
  if (!problem.empty()) return usage(err, problem);

  const bool compare = parsed.names.size() == 3;
  WavDocument wav;
  SasDocument sas;
  WavDocument corrected;
  if (!OpenPair(err, parsed.names[0], parsed.names[1], wav, sas, SasAccess::ReadOnly) ||
      (compare && !OpenWav(err, parsed.names[2], corrected)))
    return ExitFailure;
  ReportRequest request;
  request.end = wav.sampleCount;
  if (const std::string* text = parsed.Value("--range")) {
    RangeArgument range;
    std::string problem = ParseRange(*text, range);
    if (problem.empty())
      problem = FitRange(range, SampleScale(wav), wav.sampleCount, RangeUnit::Samples, parsed.names[0],
                         RangeQuote::Unquoted);
    if (!problem.empty()) return usage(err, problem);
    request.start = range.left;
    request.end = range.right;
  }
  CorrectionReport report;
  const bool drawBar = DrawsProgressBar(err);
  if (!compare) {
    const bool listed = ListNotes(sas, request, report, TerminalProgress(err, "listing notes", drawBar));
    EndProgress(err, drawBar);
    if (!listed) {
      err << "vocara-cli: could not read " << parsed.names[1] << '\n';
      return ExitFailure;
    }
    out << (parsed.Flag("--json") ? ReportJson(report) : ReportText(report));
    return ExitSuccess;
  }
  request.timeCorrection = timeCorrection ? *timeCorrection == "on" : sas.header.settings.timeCorrection != 0;
  if (const std::string mismatch = CorrectedFileMismatch(wav, sas, request, corrected); !mismatch.empty()) {
    err << "vocara-cli: " << parsed.names[2] << " is not the corrected rendering of " << parsed.names[0]
        << "\nvocara-cli: " << mismatch << '\n';
    return ExitFailure;
  }
  const bool made =
      MakeCorrectionReport(sas, corrected, request, report, TerminalProgress(err, "measuring", drawBar));
  EndProgress(err, drawBar);
  if (!made) {
    err << "vocara-cli: could not read " << parsed.names[2] << '\n';
    return ExitFailure;
  }
  // A file of the right length may still be anything (noise, another take, the rendering
  // reversed): its pitch must follow the targets or the take where both have one.
  if (const std::string doubt = RenderingDoubt(report, parsed.names[2], parsed.names[0]); !doubt.empty()) {
    err << "vocara-cli: " << parsed.names[2] << " is not the corrected rendering of " << parsed.names[0]
        << "\nvocara-cli: " << doubt << '\n';
    return ExitFailure;
  }
  out << (parsed.Flag("--json") ? ReportJson(report) : ReportText(report));
  return ExitSuccess;
}

}  // namespace vocara::cli
