// `vocara-cli plot`: the take's pitch as an SVG picture, written as text with no library: a
// semitone grid named on the left, seconds along the bottom, the notes as bars labelled with
// their name and how far off it they were sung, the sung pitch, the target pitch and, given a
// corrected rendering, the pitch an analysis of it finds, with a legend. The picture has only a
// viewBox, so a browser scales it to any size.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "base/FileHandle.h"
#include "base/Instruments.h"
#include "base/OutputFile.h"
#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "cli/PitchCommands.h"
#include "cli/TargetKind.h"
#include "cli/TerminalProgress.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/NoteSegments.h"
#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"

namespace vocara::cli {
namespace {

constexpr double Width = 1200;
constexpr double Height = 600;
constexpr double Left = 64;
constexpr double Right = Width - 24;
constexpr double Top = 48;
constexpr double Bottom = Height - 44;
// More semitones than this and only the Cs are named, so that the names do not overlap.
constexpr int NamedSemitones = 40;

struct Series {
  const char* colour;
  std::string label;
  double secondsPerFrame = 0;
  std::uint32_t firstFrame = 0;
  std::vector<double> cents;  // per frame from firstFrame; 0 where there is no pitch to draw
};

std::string Escaped(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

class Picture {
 public:
  Picture(double t0, double t1, int lowNote, int highNote)
      : t0_(t0), t1_(t1), low_(lowNote), high_(highNote) {}
  double X(double seconds) const { return Left + (seconds - t0_) / (t1_ - t0_) * (Right - Left); }
  double Y(double cents) const { return Bottom - (cents / 100.0 - low_) / (high_ - low_) * (Bottom - Top); }

  void Grid(std::ostream& svg) const {
    svg << "<g font-size=\"10\" fill=\"#444\">\n";
    for (int n = low_; n <= high_; ++n) {
      const std::string_view name = NoteName(n);
      const bool c = name.starts_with('C') && name.size() > 1 && name[1] != '#';
      const bool sharp = name.find('#') != std::string_view::npos;
      svg << "<line x1=\"" << Left << "\" x2=\"" << Right << "\" y1=\"" << Number(Y(n * 100.0)) << "\" y2=\""
          << Number(Y(n * 100.0)) << "\" stroke=\""
          << (c       ? "#999"
              : sharp ? "#eee"
                      : "#ddd")
          << "\"/>\n";
      if (high_ - low_ <= NamedSemitones || c)
        svg << "<text x=\"" << Left - 6 << "\" y=\"" << Number(Y(n * 100.0) + 3.5)
            << "\" text-anchor=\"end\">" << name << "</text>\n";
    }
    double step = 600;
    for (const double s : {0.1, 0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 30.0, 60.0, 120.0, 300.0})
      if ((t1_ - t0_) / s <= 12) {
        step = s;
        break;
      }
    for (double t = std::ceil(t0_ / step - 1e-9) * step; t <= t1_ + 1e-9; t += step) {
      char label[32];
      std::snprintf(label, sizeof label, "%g", std::round(t * 10) / 10 + 0.0);  // no "-0"
      svg << "<line x1=\"" << Number(X(t)) << "\" x2=\"" << Number(X(t)) << "\" y1=\"" << Top << "\" y2=\""
          << Bottom << "\" stroke=\"#eee\"/>\n<text x=\"" << Number(X(t)) << "\" y=\"" << Bottom + 16
          << "\" text-anchor=\"middle\">" << label << "</text>\n";
    }
    svg << "<text x=\"" << (Left + Right) / 2 << "\" y=\"" << Height - 8
        << "\" text-anchor=\"middle\">time (s)</text>\n"
        << "<rect x=\"" << Left << "\" y=\"" << Top << "\" width=\"" << Right - Left << "\" height=\""
        << Bottom - Top << "\" fill=\"none\" stroke=\"#999\"/>\n</g>\n";
  }

  // The bars, then their names above them.
  void Notes(std::ostream& svg, const std::vector<NoteReport>& notes) const {
    svg << "<g fill=\"#888\" fill-opacity=\"0.25\" stroke=\"#666\" stroke-width=\"0.5\">\n";
    for (const NoteReport& note : notes) {
      const double centre = note.note * 100.0 + (std::isfinite(note.centreCents) ? note.centreCents : 0.0);
      const double x = X(note.startSeconds);
      svg << "<rect x=\"" << Number(x) << "\" y=\"" << Number(Y(centre + 30)) << "\" width=\""
          << Number(std::max(X(note.startSeconds + note.lengthSeconds) - x, 1.0)) << "\" height=\""
          << Number(Y(centre - 30) - Y(centre + 30)) << "\"/>\n";
    }
    svg << "</g>\n<g font-size=\"10\" fill=\"#222\">\n";
    for (const NoteReport& note : notes) {
      const double cents = std::isfinite(note.centreCents) ? std::round(note.centreCents) : 0.0;
      char label[32];
      std::snprintf(label, sizeof label, "%s %+d", std::string(NoteName(note.note)).c_str(),
                    static_cast<int>(cents));
      svg << "<text x=\"" << Number(X(note.startSeconds)) << "\" y=\""
          << Number(Y(note.note * 100.0 + cents + 30) - 3) << "\">" << label << "</text>\n";
    }
    svg << "</g>\n";
  }

  // The series as one path, broken where it has no pitch.
  void Line(std::ostream& svg, const Series& series, double width) const {
    svg << "<path fill=\"none\" stroke=\"" << series.colour << "\" stroke-width=\"" << width
        << "\" stroke-linejoin=\"round\" d=\"";
    bool drawing = false;
    for (std::size_t i = 0; i < series.cents.size(); ++i) {
      const double cents = series.cents[i];
      const double t = (series.firstFrame + i) * series.secondsPerFrame;
      if (cents <= 0 || t < t0_ || t > t1_) {
        drawing = false;
        continue;
      }
      svg << (drawing ? " L" : " M") << Number(X(t)) << ' ' << Number(Y(cents));
      drawing = true;
    }
    svg << "\"/>\n";
  }

 private:
  double t0_;
  double t1_;
  int low_;
  int high_;
};

std::string PlotSvg(const std::string& title, const std::vector<Series>& lines,
                    const std::vector<NoteReport>& notes, double t0, double t1) {
  double low = 1e9;
  double high = -1e9;
  for (const Series& series : lines)
    for (const double cents : series.cents)
      if (cents > 0) {
        low = std::min(low, cents);
        high = std::max(high, cents);
      }
  for (const NoteReport& note : notes) {
    low = std::min(low, note.note * 100.0);
    high = std::max(high, note.note * 100.0);
  }
  if (low > high) low = high = 3900;  // nothing sung: a C4 in the middle of an empty grid
  const int lowNote = std::max(0, static_cast<int>(std::floor(low / 100.0)) - 1);
  const int highNote = std::max(lowNote + 2, static_cast<int>(std::ceil(high / 100.0)) + 1);
  const Picture picture(t0, t1 > t0 ? t1 : t0 + 1, lowNote, highNote);

  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " << Width << ' ' << Height
      << "\" font-family=\"sans-serif\">\n"
      << "<rect width=\"" << Width << "\" height=\"" << Height << "\" fill=\"white\"/>\n"
      << "<text x=\"" << Left << "\" y=\"20\" font-size=\"14\">" << Escaped(title) << "</text>\n";
  picture.Grid(svg);
  picture.Notes(svg, notes);
  // Each line on top of the wider one before it, so that one lying on another still shows.
  constexpr double Widths[] = {2.6, 1.6, 0.9};
  for (std::size_t i = 0; i < lines.size(); ++i)
    picture.Line(svg, lines[i], Widths[std::min<std::size_t>(i, 2)]);
  // The legend: a stroke of each line and the bar, left to right across the top.
  svg << "<g font-size=\"11\" fill=\"#222\">\n";
  double x = Right - 190.0 * static_cast<double>(lines.size() + 1);
  for (const Series& series : lines) {
    svg << "<line x1=\"" << x << "\" x2=\"" << x + 24 << "\" y1=\"34\" y2=\"34\" stroke=\"" << series.colour
        << "\" stroke-width=\"2\"/>\n<text x=\"" << x + 30 << "\" y=\"38\">" << Escaped(series.label)
        << "</text>\n";
    x += 190;
  }
  svg << "<rect x=\"" << x << "\" y=\"29\" width=\"24\" height=\"10\" fill=\"#888\" fill-opacity=\"0.25\" "
      << "stroke=\"#666\" stroke-width=\"0.5\"/>\n<text x=\"" << x + 30
      << "\" y=\"38\">notes (name, cents off)</text>\n</g>\n</svg>\n";
  return svg.str();
}

// The note range an analysis of the rendering needs: the take's own, widened to hold every
// target of the frames (a moved note may lie outside what was sung).
GeneralSettings RenderingSettings(const GeneralSettings& take, const std::vector<SasFrame>& frames) {
  GeneralSettings settings = take;
  for (const SasFrame& frame : frames) {
    if (frame.sourcePitch == 0 || frame.TargetPitch() == 0) continue;
    const int note = NearestNote(frame.TargetPitch()).note;
    settings.lowestNote = std::clamp(std::min(settings.lowestNote, note - 2), 0, NoteCount - 1);
    settings.highestNote = std::clamp(std::max(settings.highestNote, note + 2), 0, NoteCount - 1);
  }
  return settings;
}

// OUT.wav's pitch over frames first <= i < end at the SAS's hop, on its own time axis; a usage
// or a failure has been said when false.
bool RenderingPitch(SasDocument& sas, const std::string& wavPath, const std::string& outPath,
                    const std::vector<SasFrame>& frames, std::uint32_t first, std::uint32_t end,
                    std::ostream& err, Series& series) {
  WavDocument wav;
  WavDocument rendering;
  if (!OpenWav(err, wavPath, wav) || !OpenWav(err, outPath, rendering)) return false;
  if (!SasFitsWav(sas.header, wav)) {
    DoesNotFit(err, wavPath, wav, sas.path, sas.header);
    return false;
  }
  // Rendered with the SAS's own time correction, or with it switched the other way.
  const bool stored = sas.header.settings.timeCorrection != 0;
  std::string mismatch = CorrectedFileMismatch(wav, sas, {0, wav.sampleCount, stored}, rendering);
  if (!mismatch.empty() && CorrectedFileMismatch(wav, sas, {0, wav.sampleCount, !stored}, rendering).empty())
    mismatch.clear();
  if (!mismatch.empty()) {
    err << "vocara-cli: " << outPath << " is not the corrected rendering of " << wavPath
        << "\nvocara-cli: " << mismatch << '\n';
    return false;
  }
  const std::uint32_t frameLength = sas.header.frameLength;
  const std::uint32_t outEnd = std::min(end, rendering.sampleCount / frameLength);
  const GeneralSettings settings = RenderingSettings(sas.header.settings, frames);
  const double silence = SilenceLevel(settings.silenceThreshold);
  series.cents.assign(outEnd > first ? outEnd - first : 0, 0.0);
  const bool drawBar = DrawsProgressBar(err);
  const bool analysed = first >= outEnd || AnalyseFrames(
                                               rendering, settings, frameLength, first, outEnd,
                                               [&](std::uint32_t block, std::span<const SasFrame> measured) {
                                                 for (std::size_t k = 0; k < measured.size(); ++k)
                                                   if (VoicedFrame(measured[k], silence))
                                                     series.cents[block - first + k] =
                                                         measured[k].sourcePitch;
                                               },
                                               TerminalProgress(err, "analysing", drawBar));
  EndProgress(err, drawBar);
  if (!analysed) err << "vocara-cli: could not analyse " << outPath << '\n';
  return analysed;
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int PlotCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage) {
  ParsedArguments parsed;
  std::string problem = ParseArguments(args, {"--wav", "--out", "--range"}, {}, parsed);
  if (problem.empty() && parsed.names.size() != 2) problem = "plot takes IN.sas and OUT.svg";
  if (problem.empty() && (parsed.Value("--wav") == nullptr) != (parsed.Value("--out") == nullptr))
    problem = "plot takes --wav IN.wav and --out OUT.wav together";
  RangeArgument range;
  if (problem.empty() && parsed.Value("--range")) problem = ParseRange(*parsed.Value("--range"), range);
  if (!problem.empty()) return usage(err, problem);
  const std::string& name = parsed.names[0];
  const std::string& target = parsed.names[1];
  SasDocument sas;
  if (!OpenSas(err, name, SasAccess::ReadOnly, sas)) return ExitFailure;
  if (!parsed.Value("--range")) range = {{}, 0, sas.header.frameCount};
  if (problem = RangePastEnd(range, sas.header.frameCount, RangeUnit::Frames, name); !problem.empty())
    return usage(err, problem);
  if (SameFile(target, name)) return OutputFailure(err, MessageId::OpenedFileCanNotBeOverwritten, target);
  if (RefusesOtherKind(err, "plot", target, TargetKind::Unknown)) return ExitFailure;

  const double secondsPerFrame =
      static_cast<double>(sas.header.frameLength) / std::max(sas.header.sampleRate, 1u);
  std::vector<SasFrame> frames;
  frames.reserve(range.right - range.left);
  CorrectionReport listing;
  if (!ForEachFrameBlock(sas, range.left, range.right,
                         [&](std::uint32_t, std::span<const SasFrame> block) {
                           frames.insert(frames.end(), block.begin(), block.end());
                           return true;
                         }) ||
      !ListNotesOfFrames(sas, range.left, range.right, listing)) {
    err << "vocara-cli: could not read " << name << '\n';
    return ExitFailure;
  }
  const double silence = SilenceLevel(sas.header.settings.silenceThreshold);
  std::vector<Series> lines{{"#1f77b4", "sung pitch", secondsPerFrame, range.left, {}},
                            {"#ff7f0e", "target pitch", secondsPerFrame, range.left, {}}};
  for (const SasFrame& frame : frames) {
    const bool voiced = VoicedFrame(frame, silence);
    lines[0].cents.push_back(voiced ? frame.sourcePitch : 0.0);
    lines[1].cents.push_back(voiced ? frame.TargetPitch() : 0.0);
  }
  if (const std::string* out = parsed.Value("--out")) {
    lines.push_back({"#2ca02c", "pitch of " + FileName(*out), secondsPerFrame, range.left, {}});
    if (!RenderingPitch(sas, *parsed.Value("--wav"), *out, frames, range.left, range.right, err,
                        lines.back()))
      return ExitFailure;
  }
  const std::string svg = PlotSvg(
      FileName(name) + ", frames " + std::to_string(range.left) + " .. " + std::to_string(range.right), lines,
      listing.notes, range.left * secondsPerFrame, range.right * secondsPerFrame);
  OutputFile output;
  if (const MessageId refused = output.Begin(target); refused != MessageId::None)
    return OutputFailure(err, refused, target);
  if (!output.File().Write(svg.data(), svg.size()) || !output.Commit())
    return OutputFailure(err, MessageId::OutputWriteFailed, target);
  return ExitSuccess;
}

}  // namespace vocara::cli
