// The render that keeps the formants, on sung vowels analysed by Build (where the formants and
// the pitch land is FormantEnvelopeTest's): the length is the resampling render's, and where the
// voice starts and stops or the note changes nothing jumps further than the voice itself moves
// from one sample to the next.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/processing/Correct.h"
#include "engine/sas/SasBuild.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/Vowels.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

// The analysis over the range the vowels are sung in: E2 (82 Hz) to C6.
GeneralSettings VoiceRange() { return {.lowestNote = 19, .highestNote = 63}; }

constexpr std::uint32_t Rate = 48000;
constexpr double Seconds = 1.2;
constexpr double Silence = 0.1;

double LargestStep(const std::vector<std::int32_t>& x, std::size_t first, std::size_t end) {
  double largest = 0;
  for (std::size_t i = std::max<std::size_t>(first, 1); i < end && i < x.size(); ++i)
    largest = std::max(largest, std::abs(static_cast<double>(x[i]) - x[i - 1]));
  return largest;
}

class KeepFormantsTest : public ::testing::Test {
 protected:
  // The vowel sung, built into a SAS whose voiced targets lie `cents` above the source, and
  // rendered with the formants kept into keep.wav.
  // With `later` the frames of the second half move by that many cents instead: a note change.
  void Render(const Vowel& vowel, double f0, int cents, std::optional<int> later = {}) {
    input = SungVowel(vowel, f0, 30, Seconds, Rate, Silence);
    RenderInput(cents, later);
  }
  void RenderInput(int cents, std::optional<int> later = {}) {
    const std::string wavPath = WriteWav16(dir.File("in.wav"), input, Rate);
    sasPath = dir.File("in.sas");
    WavDocument wav;
    ASSERT_EQ(WavOpenDocument(wav, wavPath).message, MessageId::None);
    ASSERT_EQ(SasBuildFile(wav, range, sasPath, {}).result, LongOperationResult::Done);
    std::vector<SasFrame> frames = ReadSasFrames(sasPath);
    for (std::size_t i = 0; i < frames.size(); ++i) {
      SasFrame& frame = frames[i];
      const int moved = later && 2 * i >= frames.size() ? *later : cents;
      if (frame.sourcePitch > 0)
        frame.targetPitch = static_cast<std::uint16_t>(std::clamp(frame.sourcePitch + moved, 0, 8700));
    }
    WriteSasFile(sasPath, ReadSasHeader(sasPath), frames, ReadSasLinks(sasPath));
    SasDocument sas;
    ASSERT_EQ(SasOpenDocument(sas, sasPath), MessageId::None);
    const CorrectRequest request{.end = wav.sampleCount, .timeCorrection = true, .formants = Formants::Keep};
    ASSERT_EQ(Correct(wav, sas, request, dir.File("keep.wav"), {}).message, MessageId::None);
    keep = Stored16(dir.File("keep.wav"));
  }
  // Both renders of in.wav by the SAS at `path` end alike; the length of the one keeping the
  // formants.
  std::uint64_t BothRendersEndAlike(const std::string& path, bool timeCorrection) {
    WavDocument wav;
    SasDocument sas;
    EXPECT_EQ(WavOpenDocument(wav, dir.File("in.wav")).message, MessageId::None);
    EXPECT_EQ(SasOpenDocument(sas, path), MessageId::None);
    CorrectRequest request{
        .end = wav.sampleCount, .timeCorrection = timeCorrection, .formants = Formants::Keep};
    const CorrectResult kept = Correct(wav, sas, request, dir.File("keep.wav"), {});
    request.formants = Formants::Shift;
    const CorrectResult shifted = Correct(wav, sas, request, dir.File("shift.wav"), {});
    EXPECT_EQ(std::tuple(kept.result, shifted.result, kept.outputSamples),
              std::tuple(LongOperationResult::Done, LongOperationResult::Done, shifted.outputSamples));
    return kept.outputSamples;
  }
  // The steady middle of the vowel: its second and third quarters.
  std::size_t From() const { return static_cast<std::size_t>((Silence + Seconds / 4) * Rate); }
  std::size_t To() const { return static_cast<std::size_t>((Silence + 3 * Seconds / 4) * Rate); }

  TempDir dir;
  GeneralSettings range = VoiceRange();
  std::vector<std::int32_t> input;
  std::vector<std::int32_t> keep;
  std::string sasPath;
};

// Where the pitch lands is FormantEnvelopeTest's.
TEST_F(KeepFormantsTest, NoClickWhereTheVoiceStartsAndStops) {
  Render(VowelA, 110, 400);
  // Around the voice's start and end the output moves by no more than the input ever does.
  const double largest = LargestStep(input, 0, input.size());
  const auto edge = [](double seconds) { return static_cast<std::size_t>(seconds * Rate); };
  EXPECT_LE(LargestStep(keep, edge(Silence - 0.05), edge(Silence + 0.1)), largest);
  // Silence stays silence, and the tail after the voice is the input's own.
  EXPECT_EQ(LargestStep(keep, 0, edge(Silence - 0.03)), 0);
  EXPECT_TRUE(std::equal(keep.end() - edge(0.05), keep.end(), input.end() - edge(0.05)));
  EXPECT_LE(LargestStep(keep, edge(Silence + Seconds - 0.1), edge(Silence + Seconds + 0.05)), largest);
}

// Two phrases of a bright voice starting and stopping at full strength, a second apart, over
// a recording's faint noise or none, moved up and down: where each starts and ends it is no
// louder than where it is held, and nothing of it sounds on past its end.
TEST_F(KeepFormantsTest, AVoiceStartingAtFullStrengthStartsNoLouder) {
  const auto at = [](double seconds) { return static_cast<std::ptrdiff_t>(seconds * Rate); };
  const auto peak = [&](double from, double to) {
    const auto louder = [](std::int32_t a, std::int32_t b) { return std::abs(a) < std::abs(b); };
    return std::abs(*std::max_element(keep.begin() + at(from), keep.begin() + at(to), louder));
  };
  range.lowestNote = 15;  // C2
  for (const int noisy : {0, 1}) {
    for (const int cents : {400, -400}) {
      SCOPED_TRACE(testing::Message() << cents << " c, noise " << noisy);
      std::minstd_rand noise(7);
      input.assign(at(2.8), 0);
      for (std::size_t i = 0; i < input.size(); ++i) {
        const bool sung = (i >= at(0.1) && i < at(1.0)) || (i >= at(2.0) && i < at(2.6));
        input[i] = noisy * static_cast<std::int32_t>(noise() % 3 + noise() % 3 - 2) +
                   (sung ? static_cast<std::int32_t>(9800 * (2 * std::fmod(220.0 * i / Rate, 1.0) - 1)) : 0);
      }
      RenderInput(cents);
      ASSERT_GE(keep.size(), input.size() - at(0.05));
      for (const auto& [from, to] : {std::pair(0.1, 1.0), std::pair(2.0, 2.6)}) {
        const double held = peak(from + 0.1, to - 0.1);
        EXPECT_LE(peak(from - 0.02, from + 0.03), 1.25 * held) << from;
        EXPECT_LE(peak(to - 0.03, to), 1.25 * held) << to;
        EXPECT_LE(peak(to + 0.02, to + 0.1), 100) << to;
      }
    }
  }
}

// A note change in the middle of the vowel: the targets jump by 300 cents from one frame to
// the next. The grains come closer together from there on, but nothing jumps further than the
// output itself does where either note is held.
TEST_F(KeepFormantsTest, NoClickWhereTheNoteChanges) {
  for (const double f0 : {110.0, 200.0}) {
    SCOPED_TRACE(f0);
    Render(VowelA, f0, -100, 200);
    const auto middle = static_cast<std::size_t>((Silence + Seconds / 2) * Rate);
    const double own =
        std::max(LargestStep(keep, From(), middle - Rate / 10), LargestStep(keep, middle + Rate / 10, To()));
    // The output's own steps where the note is held, before and after: higher notes step
    // further, so the input's are no measure here.
    EXPECT_LE(LargestStep(keep, middle - Rate / 10, middle + Rate / 10), 1.1 * own);
  }
}

// Frames a damaged or random SAS may hold: any source and target pitch (voiced or not, far
// apart), any amplitude, time correction on and off, a link moved about. The render ends and
// is exactly as long as the resampling render.
TEST_F(KeepFormantsTest, AnyFramesRenderToTheResamplingLength) {
  input = SungVowel(VowelA, 140, 30, 0.4, Rate, 0.02);
  const std::string wavPath = WriteWav16(dir.File("in.wav"), input, Rate);
  WavDocument wav;
  ASSERT_EQ(WavOpenDocument(wav, wavPath).message, MessageId::None);
  std::mt19937 random(26);
  constexpr std::uint32_t Hop = 400;
  const auto frameCount = static_cast<std::uint32_t>(input.size() / Hop);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    std::vector<SasFrame> frames;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
      SasFrame frame = FreshFrame(static_cast<std::uint16_t>(random() % 3 == 0 ? 0 : 2400 + random() % 3600),
                                  -(1 << 28), 1 << 28);
      frame.targetPitch = static_cast<std::uint16_t>(
          std::clamp<int>(frame.sourcePitch + static_cast<int>(random() % 2401) - 1200, 0, 8700) |
          (random() % 4 == 0 ? TimeCorrectionOffBit : 0));
      frame.targetAmplitude = static_cast<std::uint32_t>(random());
      frames.push_back(frame);
    }
    std::vector<TimeLink> links = EndLinks(static_cast<std::uint32_t>(input.size()));
    links.insert(links.begin() + 1, TimeLink{static_cast<std::uint32_t>(input.size() / 2),
                                             static_cast<std::uint32_t>(input.size() / 2 + random() % 4000)});
    sasPath = WriteSasFile(dir.File("any.sas"),
                           SasHeaderFor(Hop, Rate, wav.checksum, frameCount, links.size()), frames, links);
    BothRendersEndAlike(sasPath, round % 2 == 0);
  }
}

// A voiced frame whose source pitch lies beyond the note table (a damaged or hand-made file)
// asks for thousands of output samples per input sample: more than the output buffer holds at
// once, which once overran the writer's buffer. Both renders end alike, the full length long.
TEST_F(KeepFormantsTest, ASourcePitchBeyondTheNoteTableRendersToTheResamplingLength) {
  Render(VowelA, 140, 0);
  const std::vector<SasFrame> built = ReadSasFrames(sasPath);
  for (const std::uint16_t source : {15972, 20000, 65535}) {
    SCOPED_TRACE(source);
    std::vector<SasFrame> frames = built;
    SasFrame& frame = frames[frames.size() / 2];
    ASSERT_GT(frame.sourcePitch, 0);
    frame.sourcePitch = source;
    frames[frames.size() / 2 + 3].targetPitch = 0x7fff;  // a target beyond the table too
    WriteSasFile(sasPath, ReadSasHeader(sasPath), frames, ReadSasLinks(sasPath));
    const std::uint64_t length = BothRendersEndAlike(sasPath, false);
    if (source != 65535) {  // 65535 is -1 as an offset
      EXPECT_GT(length, 4 * input.size());
    }
  }
}

// Renders on several threads at once (the transforms' plans are shared, and made by the first
// render of each length) come out as one render alone does.
TEST_F(KeepFormantsTest, RendersAtOnceComeOutAsOneAlone) {
  Render(VowelI, 150, 400);
  std::vector<std::thread> threads;
  std::vector<MessageId> messages(3, MessageId::None);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    threads.emplace_back([&, i] {
      WavDocument wav;
      SasDocument sas;
      if (WavOpenDocument(wav, dir.File("in.wav")).message != MessageId::None ||
          SasOpenDocument(sas, sasPath, SasAccess::ReadOnly) != MessageId::None)
        return;
      const CorrectRequest request{
          .end = wav.sampleCount, .timeCorrection = true, .formants = Formants::Keep};
      messages[i] = Correct(wav, sas, request, dir.File("at-once" + std::to_string(i)), {}).message;
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < messages.size(); ++i) {
    EXPECT_EQ(messages[i], MessageId::None);
    EXPECT_EQ(Stored16(dir.File("at-once" + std::to_string(i))), keep) << i;
  }
}

}  // namespace
}  // namespace vocara::test
