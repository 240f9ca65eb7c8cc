#include "engine/processing/CorrectionReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>

#include "base/Instruments.h"
#include "base/MessageId.h"
#include "engine/processing/Correct.h"
#include "engine/sas/NoteSegments.h"
#include "engine/sas/Reanalysis.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"

namespace vocara {

namespace {

// Where an input sample lands in the corrected file: the render starts at `start` and, with
// time correction, follows the links, piecewise linear between the two around the position.
double OutputPosition(const std::vector<TimeLink>& links, bool timeCorrection, std::uint32_t start,
                      double position) {
  const auto mapped = [&](double x) {
    if (!timeCorrection || links.size() < 2) return x;
    std::size_t k = 1;
    while (k + 1 < links.size() && links[k].source <= x) ++k;
    const double s0 = links[k - 1].source;
    const double s1 = links[k].source;
    const double t0 = links[k - 1].target;
    const double t1 = links[k].target;
    if (!(s1 > s0)) return t1;
    return t0 + (t1 - t0) * (x - s0) / (s1 - s0);
  };
  return mapped(position) - mapped(start);
}

// The working memory of one voiced run, reused from run to run.
struct RunWork {
  std::vector<double> source, target, weight, achieved, achievedWeight, smoothed, scratch;
  std::vector<std::uint32_t> order;
  std::vector<NoteSegment> segments;
  std::vector<SasFrame> output;  // the corrected file's frames over the run
  void Reserve(std::size_t n) {
    for (std::vector<double>* v : {&source, &target, &weight, &achieved, &achievedWeight, &smoothed})
      if (v->size() < n) v->resize(n);
    if (scratch.size() < 2 * n) scratch.resize(2 * n);
    if (order.size() < n) order.resize(n);
  }
};

std::string Format(const char* format, auto... values) {
  char text[160];
  const int length = std::snprintf(text, sizeof text, format, values...);
  return std::string(text,
                     static_cast<std::size_t>(std::clamp(length, 0, static_cast<int>(sizeof text) - 1)));
}

// A JSON number with `decimals` decimals; JSON has no NaN or infinity, so those are null.
std::string JsonNumber(double value, int decimals) {
  return std::isfinite(value) ? Format("%.*f", decimals, value) : std::string("null");
}

}  // namespace

std::string CorrectedFileMismatch(const WavDocument& recording, SasDocument& sas,
                                  const ReportRequest& request, const WavDocument& corrected) {
  // Correct writes the recording's own header, so the rendering has its rate and sample format.
  const FormatFields& in = recording.header.fields;
  const FormatFields& out = corrected.header.fields;
  const std::string& name = corrected.path;
  if (out.sampleRate != in.sampleRate) {
    return name + ": " + std::to_string(out.sampleRate) + " Hz, " + recording.path + " is " +
           std::to_string(in.sampleRate) + " Hz";
  }
  if (out.blockAlign != in.blockAlign || out.bitsPerSample != in.bitsPerSample) {
    const auto format = [](const FormatFields& f) {
      return std::to_string(f.bitsPerSample) + "-bit samples in " + std::to_string(f.blockAlign) + " bytes";
    };
    return name + ": " + format(out) + ", " + recording.path + " has " + format(in);
  }
  CorrectRequest render;
  render.start = request.start;
  render.end = request.end;
  render.timeCorrection = request.timeCorrection;
  const CorrectLength length = CorrectOutputLength(recording, sas, render);
  if (length.message != MessageId::None)
    return name + ": no rendering, " + sas.path + ": " + std::string(MessageText(length.message));
  if (length.passesWavLimit) return name + ": no rendering, it would pass the 4 GiB limit of a WAV file";
  if (corrected.sampleCount != length.samples) {
    return name + ": " + std::to_string(corrected.sampleCount) + " samples, the rendering has " +
           std::to_string(length.samples);
  }
  return {};
}

bool MakeCorrectionReport(SasDocument& sas, WavDocument& corrected, const ReportRequest& request,
                          CorrectionReport& report, const ProgressCallback& progress) {
  report = CorrectionReport{};
  const std::uint32_t frameLength = sas.header.frameLength;
  if (frameLength == 0 || !sas.file.IsOpen()) return false;
  const double frameRate = SasFrameRate(sas.header);
  const double seconds = static_cast<double>(frameLength) / sas.header.sampleRate;
  const int half = NoteLowPassHalfWidth(frameRate);
  const std::uint32_t first =
      static_cast<std::uint32_t>((std::uint64_t{request.start} + frameLength - 1) / frameLength);
  const std::uint32_t end = request.end / frameLength;
  RunWork work;
  bool ok = true;

  const bool visited = ForEachVoicedRun(
      sas, first, end, SilenceLevel(sas.header.settings.silenceThreshold),
      [&](std::uint32_t runFirst, std::span<SasFrame> run) {
        if (progress && !progress(runFirst, end)) return false;
        const std::size_t n = run.size();
        work.Reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
          work.source[i] = run[i].sourcePitch;
          work.target[i] = run[i].TargetPitch();
          work.weight[i] = run[i].Amplitude();
        }
        // The corrected file's frames over the run, by where each input frame landed.
        const auto outFrame = [&](std::size_t i) {
          const double position = OutputPosition(sas.links, request.timeCorrection, request.start,
                                                 static_cast<double>(runFirst + i) * frameLength);
          return static_cast<std::int64_t>(std::lround(position / frameLength));
        };
        const std::int64_t outFirst = std::max<std::int64_t>(0, outFrame(0));
        const std::int64_t outEnd = std::max(outFirst, outFrame(n - 1) + 1);
        work.output.assign(static_cast<std::size_t>(outEnd - outFirst), SasFrame{});
        if (!AnalyseFrames(
                corrected, sas.header.settings, frameLength, static_cast<std::uint32_t>(outFirst),
                static_cast<std::uint32_t>(std::min<std::int64_t>(outEnd, UINT32_MAX)),
                [&](std::uint32_t blockFirst, std::span<const SasFrame> frames) {
                  std::copy(frames.begin(), frames.end(), work.output.begin() + (blockFirst - outFirst));
                },
                // A long note is measured block by block; the caller hears of each
                // (the program keeps its sound and window going in there).
                [&](std::uint64_t frame, std::uint64_t) {
                  return !progress || progress(runFirst + (frame - outFirst), end);
                })) {
          ok = false;
          return false;
        }

        SplitNotes(std::span<const double>(work.source.data(), n), frameRate, work.smoothed, work.scratch,
                   work.segments);
        for (const NoteSegment& segment : work.segments) {
          const std::size_t length = segment.end - segment.first;
          NoteReport note;
          note.firstFrame = runFirst + segment.first;
          note.endFrame = runFirst + segment.end;
          note.startSeconds = note.firstFrame * seconds;
          const double target =
              WeightedMedian(std::span<const double>(work.target).subspan(segment.first, length),
                             std::span<const double>(work.weight).subspan(segment.first, length), work.order);
          note.note = std::clamp(static_cast<int>(std::lround(target / 100)), 0, NoteCount - 1);
          note.targetCents = target - note.note * 100.0;
          // The vibrato of the note as held: the glide into it is no vibrato.
          note.vibratoBefore =
              VibratoDepth(std::span<const double>(work.source)
                               .subspan(segment.steadyFirst, segment.steadyEnd - segment.steadyFirst),
                           half, work.scratch);
          // The pitches found in the corrected file, frames without a pitch left out; those of the
          // held part first, for its vibrato.
          std::size_t found = 0;
          for (std::size_t i = segment.steadyFirst; i < segment.steadyEnd; ++i) {
            const std::int64_t f = outFrame(i) - outFirst;
            if (f < 0 || f >= static_cast<std::int64_t>(work.output.size())) continue;
            const SasFrame& frame = work.output[static_cast<std::size_t>(f)];
            if (frame.sourcePitch == 0) continue;
            work.achieved[found++] = frame.sourcePitch;
          }
          note.vibratoAfter =
              VibratoDepth(std::span<const double>(work.achieved.data(), found), half, work.scratch);
          found = 0;
          for (std::size_t i = segment.first; i < segment.end; ++i) {
            const std::int64_t f = outFrame(i) - outFirst;
            if (f < 0 || f >= static_cast<std::int64_t>(work.output.size())) continue;
            const SasFrame& frame = work.output[static_cast<std::size_t>(f)];
            if (frame.sourcePitch == 0) continue;
            work.achieved[found] = frame.sourcePitch;
            work.achievedWeight[found] = frame.Amplitude();
            ++found;
          }
          if (found > 0) {
            const std::span<const double> achieved(work.achieved.data(), found);
            note.achieved = true;
            note.achievedCents =
                WeightedMedian(achieved, std::span<const double>(work.achievedWeight.data(), found),
                               work.order) -
                note.note * 100.0;
            note.errorCents = note.achievedCents - note.targetCents;
          }
          report.notes.push_back(note);
        }
        return true;
      });
  SummariseReport(report);
  return visited && ok;
}

void SummariseReport(CorrectionReport& report) {
  std::vector<double> errors;
  for (const NoteReport& note : report.notes)
    if (note.achieved) errors.push_back(std::abs(note.errorCents));
  report.meanAbsError = 0;
  report.p95AbsError = 0;
  if (errors.empty()) return;
  std::sort(errors.begin(), errors.end());
  double sum = 0;
  for (const double e : errors) sum += e;
  report.meanAbsError = sum / static_cast<double>(errors.size());
  const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(errors.size())));
  report.p95AbsError = errors[std::max<std::size_t>(rank, 1) - 1];
}

std::string ReportText(const CorrectionReport& report) {
  std::string text = "   start  note   target  achieved    error  vibrato-in  vibrato-out\n";
  for (const NoteReport& note : report.notes) {
    const std::string name(NoteName(note.note));
    text += Format("%8.3f  %-4s %+8.1f", note.startSeconds, name.c_str(), note.targetCents);
    if (note.achieved) {
      text += Format(" %+9.1f %+8.1f %11.1f %12.1f\n", note.achievedCents, note.errorCents,
                     note.vibratoBefore, note.vibratoAfter);
    } else {
      text += Format(" %9s %8s %11.1f %12s\n", "-", "-", note.vibratoBefore, "-");
    }
  }
  text += Format("%zu notes (seconds, cents); mean |error| %.1f cents, 95th percentile %.1f cents\n",
                 report.notes.size(), report.meanAbsError, report.p95AbsError);
  return text;
}

std::string ReportJson(const CorrectionReport& report) {
  std::string text = "{\"notes\": [";
  bool firstNote = true;
  for (const NoteReport& note : report.notes) {
    text += firstNote ? "\n  " : ",\n  ";
    firstNote = false;
    const std::string name(NoteName(note.note));
    text += "{\"start\": " + JsonNumber(note.startSeconds, 3) + ", \"note\": \"" + name +
            "\", \"target\": " + JsonNumber(note.targetCents, 2) + ", ";
    const auto achieved = [&note](double value) { return note.achieved ? JsonNumber(value, 2) : "null"; };
    text += "\"achieved\": " + achieved(note.achievedCents) + ", \"error\": " + achieved(note.errorCents) +
            ", \"vibratoBefore\": " + JsonNumber(note.vibratoBefore, 2) +
            ", \"vibratoAfter\": " + achieved(note.vibratoAfter) + "}";
  }
  text += "\n], \"meanAbsError\": " + JsonNumber(report.meanAbsError, 2) +
          ", \"p95AbsError\": " + JsonNumber(report.p95AbsError, 2) + "}\n";
  return text;
}

}  // namespace vocara
