// libFuzzer target for the corrected renders and the report on SAS frames of any value: the
// input is a short recording's shape and a SAS's frames (a damaged or hand-made file may hold
// any 16 bytes in a frame, which the opener does not check), rendered by the resampling render
// and by the formant-keeping render, with time correction on and off and over a range taken from
// the input; then the rendering is reported on and the take's notes listed.
//
// Input: byte 0 the options (bit 0 time correction, bit 1 a range, bits 2-3 the sample width,
// bits 4-5 the rate: 48000, 22050 or 96000 Hz), bytes 1-2 the frame length (16 + n % 2048), 3-4 the
// recording's length in samples (n % 8192), 5 the tone's pitch, 6-9 an inner time link (source and target
// offsets), 10-13 the range; the rest are the frames, 16 bytes each, as the file holds them (at most 512).
//
// Both renders walk the same timeline, so they must end alike and be as long as the walk says;
// the resampling render's output must be accepted as its own rendering by the report. Renders
// longer than a few seconds are only walked (the fuzzer would otherwise spend its time writing),
// and only short ones are reported on.
//
// Build with clang (-DCMAKE_CXX_COMPILER=clang++), run e.g. `fuzz/render_fuzz -max_total_time=60`.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "engine/processing/Correct.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "engine/wav/WavHeader.h"

namespace {

using namespace vocara;

constexpr std::size_t HeadBytes = 14;
constexpr std::uint32_t MaxFrames = 512;
constexpr std::uint64_t MaxRenderedSamples = 1 << 17;
// The report analyses the rendering frame by frame, which costs far more than rendering it.
constexpr std::uint64_t MaxReportedSamples = 1 << 14;

void Require(bool condition) {
  if (!condition) std::abort();
}

std::uint32_t Word(const std::uint8_t* p, unsigned bytes) {
  std::uint32_t value = 0;
  for (unsigned b = 0; b < bytes; ++b) value |= std::uint32_t{p[b]} << (8 * b);
  return value;
}

// A tone with two overtones, so that the epochs have a waveform to follow.
std::string Recording(std::uint32_t rate, unsigned blockAlign, std::uint32_t samples, double hz) {
  WavHeader header = WavHeader::MonoPcm(rate, blockAlign, samples * blockAlign);
  const auto head = header.Serialise();
  std::string bytes(head.begin(), head.end());
  for (std::uint32_t i = 0; i < samples; ++i) {
    const double phase = 2.0 * std::numbers::pi * hz * i / rate;
    const double v = 0.5 * std::sin(phase) + 0.2 * std::sin(2 * phase) + 0.1 * std::sin(3 * phase);
    const auto bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 0x7FFFFFFF)));
    for (unsigned b = 4 - blockAlign; b < 4; ++b) bytes.push_back(static_cast<char>(bits >> (8 * b)));
  }
  return bytes;
}

struct Closing {
  WavDocument& wav;
  SasDocument& sas;
  WavDocument& corrected;
  ~Closing() {
    wav.file.Close();
    corrected.file.Close();
    SasCloseDocument(sas);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::InputFile wavFile = fuzz::InputFile::Memory("input.wav");
  static fuzz::InputFile sasFile = fuzz::InputFile::Memory("input.sas");
  static const std::string shiftPath = fuzz::ScratchPath("shift.wav");
  static const std::string keepPath = fuzz::ScratchPath("keep.wav");
  static WavDocument& wav = *new WavDocument;
  static WavDocument& corrected = *new WavDocument;
  static SasDocument& sas = *new SasDocument;
  if (size < HeadBytes) return 0;

  const std::uint8_t options = data[0];
  const std::uint32_t frameLength = 16 + Word(data + 1, 2) % 2048;
  const std::uint32_t samples = Word(data + 3, 2) % 8192;
  const unsigned blockAlign = 2 + (options >> 2) % 4 % 3;
  const std::uint32_t rate = (options >> 4) % 4 == 1 ? 22050 : (options >> 4) % 4 == 2 ? 96000 : 48000;
  const std::string recording = Recording(rate, blockAlign, samples, 55.0 * std::exp2(data[5] / 48.0));
  wavFile.Fill(recording.data(), recording.size());

  const auto frameCount =
      static_cast<std::uint32_t>(std::min<std::size_t>((size - HeadBytes) / 16, MaxFrames));
  std::vector<TimeLink> links{{0, 0}};
  const std::uint32_t linkSource = Word(data + 6, 2) % (samples + 1);
  const std::uint32_t linkTarget = Word(data + 8, 2) % (samples + 1);
  if (linkSource > 0 && linkSource < samples && linkTarget > 0 && linkTarget < samples)
    links.push_back({linkSource, linkTarget});
  links.push_back({samples, samples});
  SasHeader header;
  header.frameCount = frameCount;
  header.linkCount = static_cast<std::uint32_t>(links.size());
  header.frameLength = frameLength;
  header.sampleRate = rate;
  const auto head = header.Serialise();
  std::string sasBytes(head.begin(), head.end());
  sasBytes.append(reinterpret_cast<const char*>(data + HeadBytes), std::size_t{frameCount} * 16);
  for (const TimeLink& link : links) {
    const auto bytes = link.Serialise();
    sasBytes.append(bytes.begin(), bytes.end());
  }
  sasFile.Fill(sasBytes.data(), sasBytes.size());

  const Closing closing{wav, sas, corrected};
  if (WavOpenDocument(wav, wavFile.Path()).message != MessageId::None) return 0;
  if (SasOpenDocument(sas, sasFile.Path(), SasAccess::ReadOnly) != MessageId::None) return 0;

  CorrectRequest request;
  request.end = samples;
  request.timeCorrection = (options & 1) != 0;
  if (options & 2) {
    request.start = Word(data + 10, 2) % (samples + 1);
    request.end = Word(data + 12, 2) % (samples + 1);
  }
  const CorrectLength length = CorrectOutputLength(wav, sas, request);
  if (length.message != MessageId::None || length.passesWavLimit || length.samples > MaxRenderedSamples)
    return 0;

  request.formants = Formants::Shift;
  const CorrectResult shifted = Correct(wav, sas, request, shiftPath, nullptr);
  request.formants = Formants::Keep;
  const CorrectResult kept = Correct(wav, sas, request, keepPath, nullptr);
  Require(shifted.result == LongOperationResult::Done && kept.result == LongOperationResult::Done);
  Require(shifted.outputSamples == length.samples && kept.outputSamples == length.samples);

  const ReportRequest reportRequest{request.start, request.end, request.timeCorrection};
  CorrectionReport report;
  Require(ListNotes(sas, reportRequest, report));
  static_cast<void>(ReportJson(report));
  if (length.samples > MaxReportedSamples) return 0;
  Require(WavOpenDocument(corrected, shiftPath).message == MessageId::None);
  Require(CorrectedFileMismatch(wav, sas, reportRequest, corrected).empty());
  Require(MakeCorrectionReport(sas, corrected, reportRequest, report));
  Require(report.pitchedFrames <= report.comparedFrames);
  static_cast<void>(ReportText(report));
  static_cast<void>(RenderingDoubt(report, shiftPath, wav.path));
  return 0;
}
