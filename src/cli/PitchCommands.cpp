#include "cli/PitchCommands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Instruments.h"
#include "cli/Cli.h"
#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"

namespace vocara::cli {

bool ForEachFrameBlock(
    SasDocument& sas, std::uint32_t first, std::uint32_t end,
    const std::function<bool(std::uint32_t firstFrame, std::span<const SasFrame>)>& visit) {
  constexpr std::uint32_t BlockFrames = 16384;
  std::vector<std::uint8_t> bytes;
  std::vector<SasFrame> frames;
  if (first >= end) return true;
  if (!sas.file.Seek(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{first})) return false;
  for (std::uint32_t block = first; block < end; block += std::min(BlockFrames, end - block)) {
    const std::uint32_t count = std::min(BlockFrames, end - block);
    bytes.resize(std::size_t{count} * SasFrame::ByteSize);
    if (sas.file.Read(bytes.data(), bytes.size()) != bytes.size()) return false;
    frames.resize(count);
    for (std::uint32_t k = 0; k < count; ++k)
      frames[k] = SasFrame::ParseFrom(bytes.data() + std::size_t{k} * SasFrame::ByteSize);
    if (!visit(block, frames)) return false;
  }
  return true;
}

NotePitch NearestNote(int centsAboveA0) {
  const int note = std::clamp(static_cast<int>(std::lround(centsAboveA0 / 100.0)), 0, NoteCount - 1);
  return {note, centsAboveA0 - note * 100};
}

double PitchHz(double centsAboveA0) { return 27.5 * std::exp2(centsAboveA0 / 1200.0); }

namespace {

enum class PitchFormat { Table, Csv, Json };

constexpr const char* Columns[] = {"time",      "frame",       "source_hz",    "source_note", "source_cents",
                                   "target_hz", "target_note", "target_cents", "voiced",      "amplitude"};

// One frame's fields as text, in the order of Columns; an empty text for a pitch not there.
void FrameFields(const SasHeader& header, double silence, std::uint32_t index, const SasFrame& frame,
                 std::array<std::string, 10>& fields) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6f",
                static_cast<double>(index) * header.frameLength / std::max(header.sampleRate, 1u));
  fields[0] = text;
  fields[1] = std::to_string(index);
  const auto pitch = [&](int cents, std::size_t at) {
    fields[at].clear();
    fields[at + 1].clear();
    fields[at + 2].clear();
    if (cents <= 0) return;
    std::snprintf(text, sizeof text, "%.2f", PitchHz(cents));
    fields[at] = text;
    const NotePitch note = NearestNote(cents);
    fields[at + 1] = std::string(NoteName(note.note));
    fields[at + 2] = std::to_string(note.cents);
  };
  pitch(frame.sourcePitch, 2);
  pitch(frame.sourcePitch > 0 ? frame.TargetPitch() : 0, 5);
  fields[8].assign(1, VoicedFrame(frame, silence) ? '1' : '0');
  std::snprintf(text, sizeof text, "%.4f", frame.Amplitude() * 100.0 / 4294967295.0);
  fields[9] = text;
}

void AppendRow(std::string& text, const std::array<std::string, 10>& fields, PitchFormat format) {
  if (format != PitchFormat::Json) {
    const char separator = format == PitchFormat::Csv ? ',' : '\t';
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i > 0) text += separator;
      text += fields[i];
    }
    text += '\n';
    return;
  }
  text += '{';
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) text += ", ";
    text += '"';
    text += Columns[i];
    text += "\": ";
    const bool name = i == 3 || i == 6;
    if (fields[i].empty()) {
      text += "null";
      continue;
    }
    if (name) text += '"';
    text += fields[i];
    if (name) text += '"';
  }
  text += '}';
}

}  // namespace

int PitchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(args, {"--range"}, {"--csv", "--json"}, parsed);
  if (problem.empty() && parsed.names.size() != 1) problem = "pitch takes one IN.sas";
  if (problem.empty() && parsed.Flag("--csv") && parsed.Flag("--json"))
    problem = "pitch takes --csv or --json, not both";
  RangeArgument range;
  if (problem.empty() && parsed.Value("--range")) problem = ParseRange(*parsed.Value("--range"), range);
  if (!problem.empty()) return usage(err, problem);
  const std::string& name = parsed.names[0];
  SasDocument sas;
  if (!OpenSas(err, name, SasAccess::ReadOnly, sas)) return ExitFailure;
  if (!parsed.Value("--range")) range = {{}, 0, sas.header.frameCount};
  if (problem = RangePastEnd(range, sas.header.frameCount, RangeUnit::Frames, name); !problem.empty())
    return usage(err, problem);

  const PitchFormat format = parsed.Flag("--json")  ? PitchFormat::Json
                             : parsed.Flag("--csv") ? PitchFormat::Csv
                                                    : PitchFormat::Table;
  const double silence = SilenceLevel(sas.header.settings.silenceThreshold);
  std::array<std::string, 10> fields;
  std::string text;
  if (format == PitchFormat::Json) {
    text = "[";
  } else {
    std::copy(std::begin(Columns), std::end(Columns), fields.begin());
    AppendRow(text, fields, format);
  }
  bool firstRow = true;
  const bool read = ForEachFrameBlock(
      sas, range.left, range.right, [&](std::uint32_t block, std::span<const SasFrame> frames) {
        for (std::size_t k = 0; k < frames.size(); ++k) {
          FrameFields(sas.header, silence, block + static_cast<std::uint32_t>(k), frames[k], fields);
          if (format == PitchFormat::Json) text += firstRow ? "\n" : ",\n";
          firstRow = false;
          AppendRow(text, fields, format);
        }
        out << text;
        text.clear();
        return static_cast<bool>(out);
      });
  if (!read && out) {
    err << "vocara-cli: could not read " << name << '\n';
    return ExitFailure;
  }
  if (format == PitchFormat::Json) text += firstRow ? "]\n" : "\n]\n";
  out << text;
  return ExitSuccess;
}

}  // namespace vocara::cli
