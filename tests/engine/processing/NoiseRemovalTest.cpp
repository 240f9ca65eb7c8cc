// Noise capture and Remove Noise: the phase-keeping reduction and what the overlap-add restores,
// silence below the thresholds, the output's length and header for every kind of end, windows
// reaching outside the data, Noise+, stopping, refusals and the threads.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "engine/processing/NoiseProfile.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

std::vector<std::int32_t> WhiteNoise(std::size_t count, int amplitude, std::uint32_t seed = 2463534242u) {
  std::vector<std::int32_t> values(count);
  for (std::int32_t& v : values) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    v = static_cast<std::int32_t>(seed % (2 * amplitude + 1)) - amplitude;
  }
  return values;
}

class NoiseRemovalTest : public ::testing::Test {
 protected:
  void Open(const std::vector<std::int32_t>& stored, unsigned blockAlign = 2) {
    wav = WavDocument{};
    input = WriteFile(dir.File("in.wav"), CanonicalWav(Format(static_cast<std::uint16_t>(blockAlign)),
                                                       Samples(blockAlign, stored)));
    ASSERT_EQ(WavOpenDocument(wav, input).message, MessageId::None);
  }
  NoiseRemovalResult Remove(double gain, double white = 0.0, unsigned threads = 0,
                            const ProgressCallback& progress = nullptr) {
    return RemoveNoise(wav, profile, {white, gain, threads}, output, progress);
  }
  // The output's stored 16-bit values.
  std::vector<std::int32_t> Output() {
    const std::string bytes = ReadFile(output);
    std::vector<std::int32_t> values;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2)
      values.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[i]) | bytes[i + 1] << 8));
    return values;
  }

  TempDir dir;
  WavDocument wav;
  std::string input;
  std::string output = dir.File("out.wav");
  NoiseProfile profile;
};

TEST_F(NoiseRemovalTest, AProfileOfTheSoundItselfScalesItBySqrtOneMinusGain) {
  // An offset and sines on even bins of L = 1024 repeat every half block, so every block and
  // every capture window has the same power per bin: with the profile captured from the sound itself each bin
  // keeps its phase and shrinks by sqrt(1 - gain). Hann windows at half overlap add up to 1
  // and the blocks' ends stay near 0, so the trend removed is below a 16-bit step; what differs
  // is the one step truncation can cost. Blocks that reach past the data differ from the
  // profile, so the ends are left out.
  std::vector<std::int32_t> sines(20000);
  for (std::size_t i = 0; i < sines.size(); ++i) {
    const double t = 2 * std::numbers::pi * static_cast<double>(i) / 1024;
    sines[i] = static_cast<std::int32_t>(
        std::lround(5000 + 12000 * std::sin(64 * t) + 6000 * std::sin(150 * t + 1)));
  }
  Open(sines);
  CaptureNoise(profile, wav, 3000, 9000, 1024, true);
  for (const auto& [gain, factor] :
       std::vector<std::pair<double, double>>{{0.0, 1.0}, {0.75, 0.5}, {0.96, 0.2}}) {
    ASSERT_EQ(Remove(gain).result, LongOperationResult::Done);
    const std::vector<std::int32_t> out = Output();
    ASSERT_EQ(out.size(), sines.size());
    for (std::size_t i = 1024; i + 1024 < sines.size(); ++i) ASSERT_NEAR(out[i], factor * sines[i], 1) << i;
  }
}

TEST_F(NoiseRemovalTest, EverythingBelowTheThresholdsGivesSilence) {
  // {noise amplitude (0: a silent recording), gain, white noise}
  for (const auto& [noise, gain, white] : std::vector<std::tuple<int, double, double>>{
           {3000, 1e12, 0.0}, {0, 1.0, 0.0}, {0, 5.0, 50.0}, {3000, 0.0, 100.0}}) {
    Open(WhiteNoise(9000, noise));
    CaptureNoise(profile, wav, 0, 9000, 1024, true);
    ASSERT_EQ(Remove(gain, white).result, LongOperationResult::Done);
    EXPECT_EQ(Output(), std::vector<std::int32_t>(9000, 0)) << noise << ' ' << gain << ' ' << white;
  }
}

// A stored floor outside what the dialog lets one type works as the dialog's clamp of it; one
// that is no finite number as no floor. Any of them used as stored silenced every block.
TEST_F(NoiseRemovalTest, AWhiteNoiseFloorFromAFileWorksAsTheDialogClampsIt) {
  constexpr double Infinity = std::numeric_limits<double>::infinity();
  Open(WhiteNoise(9000, 3000));
  CaptureNoise(profile, wav, 0, 9000, 1024, true);
  // {stored, the value typed into the dialog that works the same}
  for (const auto& [stored, typed] :
       std::vector<std::pair<double, double>>{{std::numeric_limits<double>::quiet_NaN(), 0.0},
                                              {Infinity, 0.0},
                                              {-Infinity, 0.0},
                                              {-5.0, 0.0},
                                              {-1e308, 0.0},
                                              {1e308, 100.0},
                                              {500.0, 100.0},
                                              {0.02, 0.02}}) {
    ASSERT_EQ(Remove(0.5, typed).result, LongOperationResult::Done);
    const std::string expected = ReadFile(output);
    ASSERT_EQ(Remove(0.5, stored).result, LongOperationResult::Done);
    EXPECT_EQ(ReadFile(output), expected) << stored;
    if (typed < 1.0) {
      EXPECT_NE(Output(), std::vector<std::int32_t>(9000, 0)) << stored;
    }
  }
}

TEST_F(NoiseRemovalTest, TheOutputHasTheInputsHeaderAndLength) {
  // L = 1024, half 512: shorter than a half block, one sample, a multiple of the half block, one
  // short of one (sampleCount + 1 a multiple of half), one over, and wider samples.
  for (const auto& [count, blockAlign] : std::vector<std::pair<std::uint32_t, unsigned>>{
           {1, 2}, {300, 2}, {511, 2}, {512, 2}, {1023, 2}, {2047, 2}, {2049, 2}, {5000, 3}, {777, 4}}) {
    Open(WhiteNoise(count, 100), blockAlign);
    CaptureNoise(profile, wav, 0, count, 1024, true);
    ASSERT_EQ(Remove(1.0).result, LongOperationResult::Done) << count;
    const std::string bytes = ReadFile(output);
    EXPECT_EQ(bytes.size(), 44 + std::size_t{count} * blockAlign) << count;
    EXPECT_EQ(bytes.substr(0, 44), ReadFile(input).substr(0, 44)) << count;
  }
}

TEST_F(NoiseRemovalTest, CaptureReadsZerosOutsideTheDataAndNoisePlusKeepsTheMaximum) {
  // Capturing near an end of the recording gives the same profile as capturing the same samples
  // in a copy padded with zeros on that side. Ranges shorter than L step backwards from their
  // start.
  const std::vector<std::int32_t> data = WhiteNoise(3000, 5000);
  std::vector<std::int32_t> padded(4096, 0);
  padded.insert(padded.end(), data.begin(), data.end());
  padded.resize(padded.size() + 4096, 0);
  std::vector<std::vector<double>> near;
  for (const auto& [left, right] :
       std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 3000}, {0, 300}, {2990, 3000}}) {
    Open(data);
    CaptureNoise(profile, wav, left, right, 2048, true);
    near.emplace_back(profile.power.begin(), profile.power.begin() + 1025);
    Open(padded);
    CaptureNoise(profile, wav, left + 4096, right + 4096, 2048, true);
    EXPECT_EQ(near.back(), std::vector<double>(profile.power.begin(), profile.power.begin() + 1025)) << left;
  }
  // Noise+ keeps the length and each bin's larger power.
  CaptureNoise(profile, wav, 4096, 7096, 2048, true);
  CaptureNoise(profile, wav, 4096 + 2990, 4096 + 3000, 1024, false);
  EXPECT_EQ(profile.length, 2048u);
  for (std::size_t e = 0; e < 1025; ++e) ASSERT_EQ(profile.power[e], std::max(near[0][e], near[2][e])) << e;
}

TEST_F(NoiseRemovalTest, StoppingOrRefusingLeavesNoFile) {
  Open(WhiteNoise(50000, 1000));
  CaptureNoise(profile, wav, 0, 50000, 1024, true);
  int calls = 0;
  const auto stopAtThird = [&](std::uint64_t position, std::uint64_t total) {
    EXPECT_EQ(std::tuple(position, total), std::tuple(512u * calls, 50000u));
    return ++calls < 3;
  };
  EXPECT_EQ(Remove(1.0, 0.0, 2, stopAtThird).result, LongOperationResult::Cancelled);
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // no temporary file

  // The open recording through a link is refused by identity, and stays as it was.
  const std::string before = ReadFile(input);
  output = dir.File("link.wav");
  std::filesystem::create_symlink(input, output);
  const NoiseRemovalResult same = Remove(1.0);
  EXPECT_EQ(same.message, MessageId::OpenedFileCanNotBeOverwritten);
  EXPECT_EQ(std::tuple(same.result, ReadFile(input)), std::tuple(LongOperationResult::Failed, before));
}

TEST_F(NoiseRemovalTest, ThreadsGiveTheSameBytes) {
  // Many times the blocks in flight, and a white-noise floor so that every path of the
  // subtraction runs.
  Open(WhiteNoise(700001, 20000));
  CaptureNoise(profile, wav, 1000, 60000, 1024, true);
  ASSERT_EQ(Remove(1.5, 0.01, 1).result, LongOperationResult::Done);
  const std::string one = ReadFile(output);
  for (const unsigned threads : {2u, 3u, 0u}) {
    ASSERT_EQ(Remove(1.5, 0.01, threads).result, LongOperationResult::Done);
    EXPECT_TRUE(ReadFile(output) == one) << threads;
  }
}

}  // namespace
}  // namespace vocara::test
