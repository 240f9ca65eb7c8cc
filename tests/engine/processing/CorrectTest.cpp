// The render of corrected WAV files: identity for an untouched SAS, resampling by the pitch
// offset, gain ramps, period drops and repeats against the time links, cancelling, and the
// edges. Every buffer the render uses is sized exactly, so the sanitizer build turns an overrun
// in any of these renders into a failure.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/processing/Correct.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/ChildProcess.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// A fresh frame with the pitch moved by `cents` (positive lowers) and the gain `gain`.
SasFrame Edited(SasFrame frame, int cents, double gain = 1.0) {
  frame.targetPitch = static_cast<std::uint16_t>(frame.sourcePitch - cents);
  frame.targetAmplitude = static_cast<std::uint32_t>(frame.Amplitude() * gain);
  return frame;
}

class CorrectTest : public ::testing::Test {
 protected:
  void OpenWav(const std::vector<std::int32_t>& stored, unsigned blockAlign = 2, std::uint32_t rate = 48000) {
    format = Format(static_cast<std::uint16_t>(blockAlign), rate);
    input = stored;
    ASSERT_EQ(
        WavOpenDocument(wav, WriteFile(dir.File("in.wav"), CanonicalWav(format, Samples(blockAlign, stored))))
            .message,
        MessageId::None);
  }
  // The SAS as the open document holds it: the file open, header and links in memory.
  void OpenSas(std::uint32_t frameLength, const std::vector<SasFrame>& frames,
               std::vector<TimeLink> links = {}) {
    if (links.empty()) links = EndLinks(wav.sampleCount);
    sas.header = SasHeaderFor(frameLength, format.sampleRate, wav.checksum, frames.size(), links.size());
    sas.path = WriteSasFile(dir.File("in.sas"), sas.header, frames, links);
    sas.file = FileHandle::OpenForReading(sas.path);
    sas.links = links;
  }
  std::vector<SasFrame> FreshFrames(std::uint32_t frameLength, std::uint16_t pitch = 4800) {
    return std::vector<SasFrame>(wav.sampleCount / frameLength, FreshFrame(pitch, -1000 << 16, 1000 << 16));
  }
  // Fresh frames of 400 at A3 with frames 4 and 5 an octave lower.
  std::vector<SasFrame> Lowered() {
    std::vector<SasFrame> frames = FreshFrames(400, 3600);
    frames[4] = frames[5] = Edited(frames[4], 1200);
    return frames;
  }
  CorrectResult Render(
      std::uint32_t start, std::uint32_t end, bool timeCorrection, CorrectMode mode = CorrectMode::Save,
      const ProgressCallback& progress = [](std::uint64_t, std::uint64_t) { return true; },
      bool keepWhenCancelled = false) {
    return Correct(wav, sas, {start, end, timeCorrection, mode, keepWhenCancelled}, out, progress);
  }
  // The output's 16-bit samples, after checking that its header counts them.
  std::vector<std::int32_t> Output() {
    const std::string bytes = ReadFile(out);
    const std::string data = bytes.size() < 44 ? "" : bytes.substr(44);
    EXPECT_EQ(bytes.substr(0, 44), CanonicalWav(format, data).substr(0, 44));
    std::vector<std::int32_t> values;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
      values.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(data[i]) | data[i + 1] << 8));
    return values;
  }

  TempDir dir;
  FormatFields format;
  std::vector<std::int32_t> input;
  std::string out = dir.File("out.wav");
  WavDocument wav;
  SasDocument sas;
};

// Targets equal to the analysis give ratio 1 and gain 1: every output sample is the input
// sample. With only the end links the drift stays at one sample, so time correction changes
// nothing either. 1000 samples are 15 frames of 64 and a tail of 40.
class CorrectIdentity : public CorrectTest,
                        public ::testing::WithParamInterface<std::tuple<unsigned, bool>> {};

TEST_P(CorrectIdentity, AFreshSasRendersTheInputExactly) {
  const auto [blockAlign, timeCorrection] = GetParam();
  OpenWav(UniformNoise(1000, 8 * static_cast<int>(blockAlign)), blockAlign);
  std::vector<SasFrame> frames;
  for (int i = 0; i < 15; ++i)
    frames.push_back(FreshFrame(static_cast<std::uint16_t>(3000 + 100 * i), -5, 9));
  OpenSas(64, frames);
  const CorrectResult result = Render(0, 1000, timeCorrection);
  EXPECT_EQ(std::tuple(result.result, result.outputSamples), std::tuple(LongOperationResult::Done, 1000u));
  EXPECT_EQ(ReadFile(out), CanonicalWav(format, Samples(blockAlign, input)));
}

INSTANTIATE_TEST_SUITE_P(Widths, CorrectIdentity,
                         ::testing::Combine(::testing::Values(2u, 3u, 4u), ::testing::Bool()));

// The edges: the tail behind the last whole frame, a start at or past the end, no frames at all.
TEST_F(CorrectTest, TheTailStartsAtOrPastTheEndAndNoFramesRenderAsTheirFramesSay) {
  // Both frames halve the signal; the 50 samples behind frame 1 must too, not read the link
  // table behind the frames as a frame of gain 1.
  OpenWav(std::vector<std::int32_t>(250, 1000));
  OpenSas(100, std::vector<SasFrame>(2, Edited(FreshFrame(4800, -1 << 26, 1 << 26), 0, 0.5)));
  Render(0, 250, false);
  EXPECT_EQ(Output(), std::vector<std::int32_t>(250, 500));

  OpenWav({10, 20, 30, 40, 50, 60, 70, 80, 90, 100});
  OpenSas(4, {Edited(FreshFrame(4800, -8, 8), 0, 3.0), Edited(FreshFrame(4800, -8, 8), 0, 2.0)});
  Render(5, 5, true);
  EXPECT_EQ(Output(), std::vector<std::int32_t>{120});  // input 5 times the gain of frame 1
  Render(9, 3, true);
  EXPECT_EQ(Output(), std::vector<std::int32_t>{200});  // past the last frame: the last frame's gain

  OpenWav(UniformNoise(30, 16));  // shorter than one hop
  for (std::uint32_t frameLength : {64u, 0xFFFFFFFFu}) {
    OpenSas(frameLength, {});
    EXPECT_EQ(Render(0, 30, true).result, LongOperationResult::Done);
    EXPECT_EQ(Output(), input) << frameLength;
  }
}

TEST_F(CorrectTest, AFrameAnOctaveLowerLastsTwiceAsLong) {
  std::vector<std::int32_t> ramp(1000);
  for (int i = 0; i < 1000; ++i) ramp[static_cast<std::size_t>(i)] = 8 * i;
  OpenWav(ramp);
  // Frames 4 and 5 an octave lower: frame 4's segment resamples at the ratio 2 throughout.
  std::vector<SasFrame> frames = FreshFrames(100);
  frames[4] = frames[5] = Edited(frames[4], 1200);
  OpenSas(100, frames);
  Render(0, 1000, false);
  const std::vector<std::int32_t> output = Output();
  const auto reaches = [&output](std::int32_t value) {  // where the output passes an input value
    return std::find_if(output.begin(), output.end(), [value](std::int32_t v) { return v >= value; }) -
           output.begin();
  };
  EXPECT_NEAR(reaches(8 * 500) - reaches(8 * 400), 200, 1);
  EXPECT_EQ(std::vector<std::int32_t>(output.begin(), output.begin() + 301),
            std::vector<std::int32_t>(ramp.begin(), ramp.begin() + 301));  // untouched before frame 3
}

TEST_F(CorrectTest, ASilenceRunFadesOutBeforeAndInAtItsLastFrame) {
  OpenWav(std::vector<std::int32_t>(400, 1000));
  std::vector<SasFrame> frames = FreshFrames(50);
  frames[3] = frames[4] = frames[5] = Edited(frames[3], 0, 0.0);
  OpenSas(50, frames);
  Render(0, 400, false);
  const std::vector<std::int32_t> o = Output();
  ASSERT_EQ(o.size(), 400u);
  // Frame 2 fades out linearly to 0 at the run's first sample, frames 3 and 4 are silent, and
  // frame 5 fades in to frame 6's gain.
  EXPECT_EQ(std::vector<std::int32_t>({o[100], o[125], o[150], o[250], o[275], o[300], o[399]}),
            std::vector<std::int32_t>({1000, 500, 0, 0, 500, 1000, 1000}));
  for (int p = 101; p <= 150; ++p) EXPECT_LT(o[p], o[p - 1]) << p;
  for (int p = 151; p <= 250; ++p) EXPECT_EQ(o[p], 0) << p;
  for (int p = 251; p <= 300; ++p) EXPECT_GT(o[p], o[p - 1]) << p;
}

// Time correction: an inner link (8000 -> 8000 + shift) on a recording with a period of exactly P = 218
// samples: the cross-fades of a drop or repeat mix equal values, so the output stays the same wave at the
// same phase, and only whole periods move. The gain doubles from frame 20 (sample 8000) on, so
// where the doubled wave starts in the output shows where sample 8000 was placed.
class CorrectLinks : public CorrectTest, public ::testing::WithParamInterface<int> {};

TEST_P(CorrectLinks, AnInnerLinkMovesItsInstantToItsTarget) {
  const int shift = GetParam();
  const auto wave = [](std::size_t n) { return (static_cast<int>(n % 218) - 109) * 64; };
  std::vector<std::int32_t> samples(16000);
  for (std::size_t n = 0; n < samples.size(); ++n) samples[n] = wave(n);
  OpenWav(samples);
  const SasFrame fresh = FreshFrame(3600, -110 << 22, 110 << 22);
  std::vector<SasFrame> frames(40, fresh);
  std::fill(frames.begin() + 20, frames.end(), Edited(fresh, 0, 2.0));
  const auto doubledFrom = [&](const std::vector<std::int32_t>& o) {
    std::size_t m = o.size();
    while (m > 0 && o[m - 1] == 2 * wave(m - 1)) --m;
    return static_cast<int>(m);
  };
  const std::vector<TimeLink> links{{0, 0}, {8000, static_cast<std::uint32_t>(8000 + shift)}, {16000, 16000}};
  OpenSas(400, frames, links);
  Render(0, 16000, false);
  EXPECT_EQ(doubledFrom(Output()), 8000);

  Render(0, 16000, true);
  const std::vector<std::int32_t> o = Output();
  int outOfPhase = 0;  // a gain of 1 to 2 times the wave at the same phase (a truncated negative one lower)
  for (std::size_t n = 0; n < o.size(); ++n) {
    const int w = wave(n);
    if (o[n] < std::min(w, 2 * w) - 1 || o[n] > std::max(w, 2 * w)) ++outOfPhase;
  }
  EXPECT_EQ(outOfPhase, 0);
  // Within a period plus one frame's drift (400 x 2000 / 8000).
  EXPECT_NEAR(doubledFrom(o), 8000 + shift, 218 + 100);
  EXPECT_NEAR(static_cast<double>(o.size()), 16000, 218 + 100);

  // Bit 15 of the target pitch switches time correction off frame by frame.
  for (SasFrame& frame : frames) frame.targetPitch |= TimeCorrectionOffBit;
  OpenSas(400, frames, links);
  Render(0, 16000, true);
  EXPECT_EQ(doubledFrom(Output()), 8000);
}

TEST_P(CorrectLinks, TheCrossFadesKeepTheOutputContinuous) {
  // A ramp rising 2 a sample: a drop steepens a segment to about 4, a repeat turns it back at
  // about 0.4; a cross-fade joined at the wrong end jumps by a period of the ramp (436).
  std::vector<std::int32_t> ramp(16000);
  for (std::size_t n = 0; n < ramp.size(); ++n) ramp[n] = 2 * static_cast<std::int32_t>(n) - 16000;
  OpenWav(ramp);
  OpenSas(400, FreshFrames(400, 3600),
          {{0, 0}, {8000, static_cast<std::uint32_t>(8000 + GetParam())}, {16000, 16000}});
  Render(0, 16000, true);
  const std::vector<std::int32_t> o = Output();
  ASSERT_NE(o, ramp);  // periods were dropped or repeated
  int steepest = 0;
  for (std::size_t n = 1; n < o.size(); ++n) steepest = std::max(steepest, std::abs(o[n] - o[n - 1]));
  EXPECT_LE(steepest, 5);
}

INSTANTIATE_TEST_SUITE_P(LaterAndEarlier, CorrectLinks, ::testing::Values(2000, -2000));

TEST_F(CorrectTest, NoPeriodIsRepeatedWithinTheFirstPeriod) {
  // At the first frame boundary (sample 50) the links ask for a repeat of a period of 218,
  // which would reach before sample 0; that frame renders unchanged, and the render goes on.
  OpenWav(UniformNoise(8000, 16));
  OpenSas(400, FreshFrames(400, 3600), {{0, 0}, {400, 4000}, {8000, 8000}});
  Render(50, 8000, true, CorrectMode::Play);
  const std::vector<std::int32_t> o = Output();
  ASSERT_GT(o.size(), 7500u);
  EXPECT_EQ(std::vector<std::int32_t>(o.begin(), o.begin() + 401),
            std::vector<std::int32_t>(input.begin() + 50, input.begin() + 451));
}

TEST_F(CorrectTest, CancellingLeavesNoSaveFileButKeepsThePlayFile) {
  OpenWav(UniformNoise(3000, 16));
  OpenSas(100, FreshFrames(100));
  int calls = 0;
  const auto stopAtThird = [&calls](std::uint64_t, std::uint64_t) { return ++calls % 3 != 0; };
  EXPECT_EQ(Render(0, 3000, true, CorrectMode::Save, stopAtThird).result, LongOperationResult::Cancelled);
  EXPECT_FALSE(std::filesystem::exists(out));
  WriteFile(out, "the previous take");
  EXPECT_EQ(Render(0, 3000, true, CorrectMode::Play, stopAtThird).result, LongOperationResult::Cancelled);
  EXPECT_EQ(ReadFile(out), "the previous take");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);  // no temporary left
  EXPECT_EQ(Render(0, 3000, true, CorrectMode::Play, stopAtThird, true).result,
            LongOperationResult::Cancelled);
  EXPECT_EQ(Output(),
            std::vector<std::int32_t>(input.begin(), input.begin() + 201));  // two frames and a sample
}

TEST_F(CorrectTest, FramesLongerThan32768SamplesRender) {
  // A0 at 192000 Hz with a chunk of 5 periods gives a hop of about 38000 samples.
  OpenWav(UniformNoise(100000, 16), 2, 192000);
  OpenSas(38000, FreshFrames(38000, 1200));
  Render(0, 100000, true);
  EXPECT_EQ(Output(), input);
  // An octave lower: 76000 output samples per frame.
  std::vector<SasFrame> frames = FreshFrames(38000, 1200);
  for (SasFrame& frame : frames) frame = Edited(frame, 1200);
  OpenSas(38000, frames);
  Render(0, 100000, false);
  EXPECT_NEAR(static_cast<double>(Output().size()), 2 * 99999 + 1, 2);
  // An octave higher with time correction: the output falls behind half a frame per frame, and
  // frames 1 and 2 each repeat a period of 3490 samples (1745 output samples).
  for (SasFrame& frame : frames) frame = Edited(frame, -1200);
  OpenSas(38000, frames);
  Render(0, 100000, true);
  EXPECT_NEAR(static_cast<double>(Output().size()), 0.5 * 99999 + 1 + 2 * 1745, 2);
}

TEST_F(CorrectTest, AFrameLengthNoSettingsGiveIsRefused) {
  OpenWav(UniformNoise(100000, 16));
  const std::uint32_t tooLong = LargestFrameLength(48000) + 1;
  OpenSas(tooLong, FreshFrames(tooLong));
  EXPECT_EQ(Render(0, 100000, false).message, MessageId::SasSettingsCorrupted);
  EXPECT_FALSE(std::filesystem::exists(out));
}

// Frames whose target lies 30000 cents (25 octaves) below the source: every input sample
// stretches to 2^25 output samples, far past what a WAV can count.
std::vector<SasFrame> StretchedFrames(std::size_t count) {
  return std::vector<SasFrame>(count, Edited(FreshFrame(30000, -1000 << 16, 1000 << 16), 30000));
}

TEST_F(CorrectTest, AnOutputPastTheLargestWavIsRefusedBeforeAnythingIsWritten) {
  OpenWav(UniformNoise(8000, 16));
  std::vector<SasFrame> frames = FreshFrames(400);
  frames[7] = frames[8] = StretchedFrames(1)[0];  // two frames in the middle are enough
  for (const bool timeCorrection : {false, true}) {
    for (const std::vector<SasFrame>& stretched : {frames, StretchedFrames(20)}) {
      OpenSas(400, stretched);
      WriteFile(out, "the previous file");
      const CorrectResult result = Render(0, 8000, timeCorrection);
      EXPECT_TRUE(result.passesWavLimit) << timeCorrection;
      EXPECT_EQ(result.result, LongOperationResult::Failed);
      EXPECT_EQ(result.message, MessageId::OutputWriteFailed);
      EXPECT_EQ(ReadFile(out), "the previous file");
      EXPECT_EQ(TemporaryFileCount(dir.Path().string()), 0);
      EXPECT_TRUE(CorrectOutputLength(wav, sas, {0, 8000, timeCorrection}).passesWavLimit);
    }
  }
}

// The length found by the walk alone is the length of the file the render writes, over
// resampling, period drops and repeats, a start inside a frame and an empty range.
TEST_F(CorrectTest, TheOutputLengthIsFoundWithoutRendering) {
  OpenWav(UniformNoise(16000, 16));
  const std::vector<SasFrame> lowered = Lowered();
  std::vector<SasFrame> raised = FreshFrames(400, 3600);
  for (SasFrame& frame : raised) frame = Edited(frame, -700);
  const std::vector<TimeLink> later{{0, 0}, {8000, 10000}, {16000, 16000}};
  const std::vector<TimeLink> earlier{{0, 0}, {400, 4000}, {16000, 16000}};
  const struct {
    const char* name;
    std::vector<SasFrame> frames;
    std::vector<TimeLink> links;
    CorrectRequest request;
  } cases[] = {
      {"untouched", FreshFrames(400, 3600), {}, {0, 16000, false}},
      {"an octave lower", lowered, {}, {0, 16000, false}},
      {"an octave lower, following the links", lowered, {}, {0, 16000, true}},
      {"raised, following the links", raised, {}, {0, 16000, true}},
      {"a later link", FreshFrames(400, 3600), later, {0, 16000, true}},
      {"an earlier link from inside a frame", FreshFrames(400, 3600), earlier, {50, 15990, true}},
      {"start past end", lowered, {}, {9000, 3, true}},
  };
  for (const auto& c : cases) {
    OpenSas(400, c.frames, c.links);
    const CorrectLength length = CorrectOutputLength(wav, sas, c.request);
    const CorrectResult rendered = Correct(wav, sas, c.request, out, nullptr);
    ASSERT_EQ(rendered.result, LongOperationResult::Done) << c.name;
    EXPECT_FALSE(length.passesWavLimit) << c.name;
    EXPECT_EQ(length.samples, rendered.outputSamples) << c.name;
    EXPECT_EQ(Output().size(), rendered.outputSamples) << c.name;
  }
}

// Only a file with the recording's format and the render's exact length can be its rendering.
TEST_F(CorrectTest, AFileThatIsNotTheRenderingIsToldApart) {
  OpenWav(UniformNoise(16000, 16));
  OpenSas(400, Lowered());
  const ReportRequest request{0, 16000, true};
  ASSERT_EQ(Correct(wav, sas, {0, 16000, true}, out, nullptr).result, LongOperationResult::Done);
  const std::string rendered = ReadFile(out);
  const std::size_t samples = (rendered.size() - 44) / 2;
  const std::string data = rendered.substr(44);
  const std::string n = std::to_string(samples);
  const std::string in = dir.File("in.wav");
  const struct {
    const char* name;
    std::string bytes;
    std::string reason;  // empty: it can be the rendering
  } cases[] = {
      {"the rendering", rendered, ""},
      {"another rate", CanonicalWav(Format(2, 44100), data), out + ": 44100 Hz, " + in + " is 48000 Hz"},
      {"wider samples", CanonicalWav(Format(3), data.substr(0, 3 * (samples / 2))),
       out + ": 24-bit samples in 3 bytes, " + in + " has 16-bit samples in 2 bytes"},
      {"no samples", CanonicalWav(format, ""), out + ": 0 samples, the rendering has " + n},
      {"one sample short", CanonicalWav(format, data.substr(2)),
       out + ": " + std::to_string(samples - 1) + " samples, the rendering has " + n},
      {"one sample more", CanonicalWav(format, data + "ab"),
       out + ": " + std::to_string(samples + 1) + " samples, the rendering has " + n},
      {"the recording itself", ReadFile(in), out + ": 16000 samples, the rendering has " + n},
  };
  for (const auto& c : cases) {
    WavDocument corrected;
    ASSERT_EQ(WavOpenDocument(corrected, WriteFile(out, c.bytes)).message, MessageId::None) << c.name;
    EXPECT_EQ(CorrectedFileMismatch(wav, sas, request, corrected), c.reason) << c.name;
  }
  // No file at all can be a rendering that would pass the largest WAV.
  OpenSas(400, StretchedFrames(40));
  WavDocument corrected;
  ASSERT_EQ(WavOpenDocument(corrected, WriteFile(out, rendered)).message, MessageId::None);
  EXPECT_EQ(CorrectedFileMismatch(wav, sas, request, corrected),
            out + ": no rendering, it would pass the 4 GiB limit of a WAV file");
}

}  // namespace
}  // namespace vocara::test
