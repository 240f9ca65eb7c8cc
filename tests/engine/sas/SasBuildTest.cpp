// Building a SAS file: the block engine against the plain evaluation byte for byte, the
// header, frames and links of a built file, silence, a recording shorter than one hop, the
// refused targets and cancelling.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/sas/Analysis.h"
#include "engine/sas/BlockAnalyser.h"
#include "engine/sas/SasBuild.h"
#include "engine/wav/WavDocument.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

GeneralSettings Settings(int lowest, int highest, double chunk = 1.0, double threshold = 20.0) {
  return {.instrument = 0,
          .lowestNote = lowest,
          .highestNote = highest,
          .chunkPeriods = chunk,
          .baseNoteThreshold = threshold};
}

class SasBuildTest : public ::testing::Test {
 protected:
  std::string MakeWav(const std::vector<std::int32_t>& values, unsigned blockAlign = 2,
                      std::uint32_t rate = 22050) {
    return WriteFile(dir.File("take.wav"), CanonicalWav(Format(static_cast<std::uint16_t>(blockAlign), rate),
                                                        Samples(blockAlign, values)));
  }
  void Open(const std::string& path) { ASSERT_EQ(WavOpenDocument(wav, path).message, MessageId::None); }
  SasBuildResult Build(const GeneralSettings& settings, const std::string& name, SasBuildOptions options = {},
                       const ProgressCallback& progress = {}) {
    return SasBuildFile(wav, settings, dir.File(name), progress, options);
  }
  static SasBuildOptions Reference() { return {AnalysisEngine::Reference, KernelWidth::Portable, 0}; }

  TempDir dir;
  WavDocument wav;
};

// Every vector width this processor has, on the calling thread alone and with more workers
// than blocks in flight, against the plain evaluation, for sample widths and note ranges that
// reach the edges: note -1, a single note, the longest chunk with the lowest threshold, a
// window of 96 samples, and a lowest note above the highest (no note is tested).
struct IdentityCase {
  const char* name;
  unsigned blockAlign;
  GeneralSettings settings;
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class BlockEngineIdentityTest : public SasBuildTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(BlockEngineIdentityTest, WritesTheReferenceFileByteForByte) {
  const IdentityCase& c = GetParam();
  Open(MakeWav(MixedRecording(22050, 26000, c.blockAlign), c.blockAlign));
  ASSERT_EQ(Build(c.settings, "reference.sas", Reference()).result, LongOperationResult::Done);
  const std::string reference = ReadFile(dir.File("reference.sas"));
  ASSERT_GT(ReadSasHeader(dir.File("reference.sas")).frameCount, 24u);  // more than one block
  for (const KernelWidth width : {KernelWidth::Portable, KernelWidth::Avx2, KernelWidth::Avx512}) {
    if (!KernelWidthAvailable(width)) continue;
    for (const int workers : {0, 3}) {
      SCOPED_TRACE(::testing::Message() << "lanes " << static_cast<int>(width) << ", workers " << workers);
      ASSERT_EQ(Build(c.settings, "blocks.sas", {AnalysisEngine::Blocks, width, workers}).result,
                LongOperationResult::Done);
      EXPECT_TRUE(ReadFile(dir.File("blocks.sas")) == reference);
    }
  }
}

// The file holds truncated pitches, so a sum that differs in its last bit would rarely show
// there: every frame's strengths and fine offset must equal the plain evaluation's doubles.
TEST_P(BlockEngineIdentityTest, EveryFrameHasTheReferenceStrengthsToTheLastBit) {
  const IdentityCase& c = GetParam();
  Open(MakeWav(MixedRecording(22050, 26000, c.blockAlign), c.blockAlign));
  const std::uint32_t rate = 22050;
  std::vector<double> window(AnalysisWindowLength(c.settings.lowestNote, rate) + 1);
  for (const KernelWidth width : {KernelWidth::Portable, KernelWidth::Avx2, KernelWidth::Avx512}) {
    if (!KernelWidthAvailable(width)) continue;
    const AnalysisPlan plan = MakeAnalysisPlan(wav, c.settings, width);
    BlockSamples samples(plan);
    BlockAnalyser analyser(plan);
    std::vector<SasFrame> frames(static_cast<std::size_t>(plan.blockFrames));
    for (std::uint32_t block = 0; block < plan.BlockCount(); ++block) {
      ReadBlockSamples(wav, plan, block, samples);
      analyser.Analyse(samples, frames);
      for (std::uint32_t lane = 0; lane < samples.frames; ++lane) {
        const std::uint32_t frame = samples.firstFrame + lane;
        SCOPED_TRACE(::testing::Message() << "lanes " << static_cast<int>(width) << ", frame " << frame);
        NoteSpectrum reference;
        LoadAnalysisWindow(wav, frame * plan.frameLength, window);
        DetectNote(reference, window, rate, c.settings);
        const NoteSpectrum& spectrum = analyser.Spectrum(lane);
        ASSERT_TRUE(spectrum.strength == reference.strength);
        ASSERT_EQ(std::tuple(spectrum.detected, spectrum.fine, spectrum.strongest),
                  std::tuple(reference.detected, reference.fine, reference.strongest));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlockEngineIdentityTest,
                         ::testing::Values(IdentityCase{"16-bit", 2, GeneralSettings{}},
                                           IdentityCase{"24-bit", 3, GeneralSettings{}},
                                           IdentityCase{"32-bit", 4, GeneralSettings{}},
                                           IdentityCase{"A0 to C8", 2, Settings(0, 87)},
                                           IdentityCase{"one note", 2, Settings(48, 48)},
                                           IdentityCase{"five periods", 2, Settings(40, 70, 5.0, 5.0)},
                                           IdentityCase{"C8 only", 2, Settings(87, 87)},
                                           IdentityCase{"crossed range", 2, Settings(60, 40)}),
                         [](const ::testing::TestParamInfo<IdentityCase>& info) {
                           return std::to_string(info.index);
                         });

TEST_F(SasBuildTest, TheFileHoldsHeaderFramesAndTheTwoLinks) {
  const std::vector<std::int32_t> values = MixedRecording(22050, 26000, 2);
  Open(MakeWav(values));
  const GeneralSettings settings = Settings(30, 70, 2.5, 10.0);
  const SasBuildResult result = Build(settings, "out.sas");
  ASSERT_EQ(result.result, LongOperationResult::Done);

  const std::uint32_t w = AnalysisWindowLength(30, 22050);
  const std::uint32_t h = AnalysisFrameLength(w, 2.5);
  const SasHeader header = ReadSasHeader(dir.File("out.sas"));
  EXPECT_EQ(std::tuple(header.magic, header.frameCount, header.linkCount, header.frameLength,
                       header.sampleRate, header.wavChecksum, header.settings, result.frameCount),
            std::tuple(SasMagic, 26000 / h, 2u, h, 22050u, wav.checksum, settings, 26000 / h));
  EXPECT_EQ(std::filesystem::file_size(dir.File("out.sas")), 136 + 16 * header.frameCount + 16);
  EXPECT_EQ(ReadSasLinks(dir.File("out.sas")), EndLinks(26000));

  // A frame's extremes are those of the H samples centred on it; targets equal the analysis.
  const std::vector<SasFrame> frames = ReadSasFrames(dir.File("out.sas"));
  const std::uint32_t i = header.frameCount / 3;
  std::int32_t lo = INT32_MAX;
  std::int32_t hi = INT32_MIN;
  for (std::uint32_t p = i * h - h / 2; p < i * h - h / 2 + h; ++p) {
    lo = std::min(lo, values[p] * 65536);
    hi = std::max(hi, values[p] * 65536);
  }
  EXPECT_EQ(std::pair(frames[i].minSample, frames[i].maxSample), std::pair(lo, hi));
  for (const SasFrame& frame : frames) {
    EXPECT_EQ(frame.targetPitch, frame.sourcePitch);
    EXPECT_EQ(frame.targetAmplitude,
              static_cast<std::uint32_t>(frame.maxSample) - static_cast<std::uint32_t>(frame.minSample));
  }
}

TEST_F(SasBuildTest, SilenceGivesEmptyFramesAndARecordingShorterThanOneHopNone) {
  const std::uint32_t h = AnalysisFrameLength(AnalysisWindowLength(38, 22050), 1.0);
  for (const auto& [count, value] : {std::pair{8000u, 0}, std::pair{h - 1, 1000}}) {
    Open(MakeWav(std::vector<std::int32_t>(count, value)));
    for (const SasBuildOptions& options : {SasBuildOptions{}, Reference()}) {
      ASSERT_EQ(Build(GeneralSettings{}, "built.sas", options).result, LongOperationResult::Done);
      EXPECT_EQ(std::tuple(ReadSasFrames(dir.File("built.sas")), ReadSasLinks(dir.File("built.sas")),
                           std::filesystem::file_size(dir.File("built.sas"))),
                std::tuple(std::vector<SasFrame>(count / h), EndLinks(count), 152u + 16 * (count / h)))
          << count;
    }
  }
}

TEST_F(SasBuildTest, StoppingBeforeAFrameDeletesTheFile) {
  Open(MakeWav(MixedRecording(22050, 26000, 2)));
  const std::uint32_t h = AnalysisFrameLength(AnalysisWindowLength(38, 22050), 1.0);
  for (const SasBuildOptions& options : {SasBuildOptions{}, Reference()}) {
    std::vector<std::uint64_t> positions;
    const SasBuildResult result =
        Build(GeneralSettings{}, "stopped.sas", options, [&](std::uint64_t position, std::uint64_t total) {
          EXPECT_EQ(total, 26000u);
          positions.push_back(position);
          return positions.size() < 40;
        });
    EXPECT_EQ(std::pair(result.result, std::filesystem::exists(dir.File("stopped.sas"))),
              std::pair(LongOperationResult::Cancelled, false));
    ASSERT_EQ(positions.size(), 40u);
    for (std::size_t i = 0; i < positions.size(); ++i) EXPECT_EQ(positions[i], i * h);
  }
}

}  // namespace
}  // namespace vocara::test
