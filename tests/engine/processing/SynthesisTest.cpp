// The wave generator: the parameter preparation the dialog and the command line share, each
// waveform's values at known points, the noise's spread and repeatability, and the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/processing/Synthesis.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace s = synthesis;

std::vector<std::int16_t> Synthesise(const SynthesisParameters& p, std::size_t n) {
  std::vector<std::int16_t> out(n);
  WaveSynthesiser(p).Fill(out);
  return out;
}

SynthesisParameters With(std::initializer_list<std::pair<int, double>> values) {
  SynthesisParameters p;
  for (const auto& [index, value] : values) p[index] = value;
  return p;
}

// The sines are computed in chunks, four samples at a time: however the samples are asked
// for, in pieces of any size, they are the same, and each equals the plain recurrence.
TEST(WaveSynthesiserTest, PiecesOfAnySizeGiveTheSameSamples) {
  SynthesisParameters p;
  for (int k = 0; k < s::SineCount; ++k) {
    p[s::SineFrequency + k] = 100.0 + 731.0 * k;
    p[s::SineAmplitude + k] = 9.0;
    p[s::SinePhase + k] = 17.0 * k;
  }
  const std::vector<std::int16_t> whole = Synthesise(p, 5000);
  WaveSynthesiser pieces(p);
  std::vector<std::int16_t> joined;
  for (const std::size_t size : {1, 3, 1021, 2, 1024, 1025, 7, 1917}) {
    std::vector<std::int16_t> piece(size);
    pieces.Fill(piece);
    joined.insert(joined.end(), piece.begin(), piece.end());
  }
  EXPECT_EQ(joined, whole);
  // The plain recurrence of each sine, summed in order.
  double u[s::SineCount], w[s::SineCount], sn[s::SineCount], cs[s::SineCount];
  for (int k = 0; k < s::SineCount; ++k) {
    u[k] = std::sin(p[s::SinePhase + k] * std::numbers::pi * 0.005555555555555556);
    w[k] = std::cos(p[s::SinePhase + k] * std::numbers::pi * 0.005555555555555556);
    sn[k] = std::sin(p[s::SineFrequency + k] * (2.0 * std::numbers::pi) * 2.0833333333333333e-5);
    cs[k] = std::cos(p[s::SineFrequency + k] * (2.0 * std::numbers::pi) * 2.0833333333333333e-5);
  }
  for (std::size_t i = 0; i < whole.size(); ++i) {
    double v = 0.0;
    for (int k = 0; k < s::SineCount; ++k) v += u[k] * (9.0 * s::UnitsPerPercent);
    ASSERT_EQ(whole[i], static_cast<std::int16_t>(std::clamp(v, -32767.0, 32767.0))) << i;
    for (int k = 0; k < s::SineCount; ++k) {
      const double next = u[k] * cs[k] + w[k] * sn[k];
      w[k] = w[k] * cs[k] - u[k] * sn[k];
      u[k] = next;
    }
  }
}

TEST(SynthesisParametersTest, ClampsEachGroupToItsRange) {
  SynthesisParameters p;
  for (double& v : p.values) v = 1e9;
  ClampSynthesisParameters(p);
  EXPECT_EQ(std::tuple(p[s::Duration], p[s::SineFrequency + 9], p[s::TriangleFrequency], p[s::NoiseAmplitude],
                       p[s::TrianglePhase], p[s::SquareDuty]),
            std::tuple(60.0, 20000.0, 20000.0, 100.0, 360.0, 100.0));
  for (double& v : p.values) v = -1e9;
  ClampSynthesisParameters(p);
  EXPECT_EQ(std::tuple(p[s::Duration], p[s::SineAmplitude], p[s::SinePhase + 3], p[s::TriangleDuty]),
            std::tuple(1.0, 0.0, -360.0, 0.0));
}

TEST(SynthesisParametersTest, AmplitudesAboveFullScaleAreScaledDownTogether) {
  SynthesisParameters p = With({{s::SineAmplitude, 80.0}, {s::NoiseAmplitude, 40.0}, {s::SinePhase, 30.0}});
  NormaliseAmplitudes(p);
  EXPECT_DOUBLE_EQ(p[s::SineAmplitude], 200.0 / 3.0);
  EXPECT_DOUBLE_EQ(p[s::NoiseAmplitude], 100.0 / 3.0);
  EXPECT_EQ(p[s::SinePhase], 30.0) << "only amplitudes are scaled";

  SynthesisParameters full = With({{s::SquareAmplitude, 60.0}, {s::TriangleAmplitude, 40.0}});
  const SynthesisParameters before = full;
  NormaliseAmplitudes(full);
  EXPECT_EQ(full, before) << "exactly 100 percent stays";
}

TEST(WaveSynthesiserTest, SteadyWaveforms) {
  const double a60 = 60.0 * s::UnitsPerPercent;
  struct Case {
    const char* name;
    SynthesisParameters p;
    std::set<std::int16_t> values;
  };
  const std::vector<Case> cases = {
      {"silence", SynthesisParameters(), {0}},
      {"sine at 0 Hz, phase 90", With({{s::SineAmplitude + 4, 100.0}, {s::SinePhase + 4, 90.0}}), {32767}},
      {"square duty 25",
       With({{s::SquareFrequency, 1000.0}, {s::SquareAmplitude, 60.0}, {s::SquareDuty, 25.0}}),
       {static_cast<std::int16_t>(a60), static_cast<std::int16_t>(-a60 / 3.0)}},
      {"square duty 75",
       With({{s::SquareFrequency, 1000.0}, {s::SquareAmplitude, 60.0}, {s::SquareDuty, 75.0}}),
       {static_cast<std::int16_t>(a60 / 3.0), static_cast<std::int16_t>(-a60)}},
      {"square duty 100",
       With({{s::SquareFrequency, 1000.0}, {s::SquareAmplitude, 60.0}, {s::SquareDuty, 100.0}}),
       {0}},
  };
  for (const Case& c : cases) {
    const std::vector<std::int16_t> samples = Synthesise(c.p, 4800);
    EXPECT_EQ(std::set<std::int16_t>(samples.begin(), samples.end()), c.values) << c.name;
  }
}

TEST(WaveSynthesiserTest, RotatedSineFollowsTheSineFunction) {
  const SynthesisParameters p =
      With({{s::SineFrequency + 2, 997.0}, {s::SineAmplitude + 2, 50.0}, {s::SinePhase + 2, -45.0}});
  const std::vector<std::int16_t> samples = Synthesise(p, 48000 * 3);
  const double a = 50.0 * s::UnitsPerPercent;
  for (std::size_t i = 0; i < samples.size(); i += 997) {
    const double expected = a * std::sin(-M_PI / 4 + 2 * M_PI * 997.0 * static_cast<double>(i) / 48000.0);
    EXPECT_NEAR(samples[i], expected, 1.5) << "sample " << i;
  }
}

TEST(WaveSynthesiserTest, TriangleRisesFromZeroAndStaysInRangeAtEveryDuty) {
  const SynthesisParameters p =
      With({{s::TriangleFrequency, 100.0}, {s::TriangleAmplitude, 100.0}, {s::TriangleDuty, 50.0}});
  const std::vector<std::int16_t> rise = Synthesise(p, 480);
  EXPECT_EQ(rise[0], 0);
  EXPECT_TRUE(std::is_sorted(rise.begin(), rise.begin() + 120)) << "a quarter period rising";
  EXPECT_GE(rise[120], 32760);
  EXPECT_LE(rise[360], -32760);

  for (const double duty : {0.0, 1.0, 100.0}) {
    for (const double phase : {-360.0, 0.0, 360.0}) {
      const std::vector<std::int16_t> samples = Synthesise(With({{s::TriangleFrequency, 100.0},
                                                                 {s::TriangleAmplitude, 100.0},
                                                                 {s::TriangleDuty, duty},
                                                                 {s::TrianglePhase, phase}}),
                                                           960);
      const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
      EXPECT_GE(*low, -32767) << "duty " << duty << " phase " << phase;
      EXPECT_GE(*high, 32000) << "duty " << duty << " phase " << phase << " reaches the peak";
    }
  }
  // Far below -A on the first rise: held at full scale instead of wrapping to positive values.
  const std::vector<std::int16_t> overshoot = Synthesise(With({{s::TriangleFrequency, 10.0},
                                                               {s::TriangleAmplitude, 100.0},
                                                               {s::TriangleDuty, 1.0},
                                                               {s::TrianglePhase, -360.0}}),
                                                         100);
  EXPECT_TRUE(std::all_of(overshoot.begin(), overshoot.end(), [](std::int16_t v) { return v == -32767; }));
}

TEST(WaveSynthesiserTest, NoiseIsUniformWithinFullScaleAndRepeats) {
  const SynthesisParameters p = With({{s::NoiseAmplitude, 100.0}});
  const std::vector<std::int16_t> first = Synthesise(p, 200000);
  double sum = 0.0;
  double squares = 0.0;
  for (const std::int16_t v : first) {
    sum += v;
    squares += static_cast<double>(v) * v;
  }
  const double n = static_cast<double>(first.size());
  EXPECT_NEAR(sum / n, 0.0, 200.0);
  EXPECT_NEAR(std::sqrt(squares / n), 32767.0 / std::sqrt(3.0), 200.0);
  const auto [low, high] = std::minmax_element(first.begin(), first.end());
  EXPECT_GE(*low, -32767);
  EXPECT_LT(*low, -32000);
  EXPECT_GT(*high, 32000);
  EXPECT_EQ(Synthesise(p, first.size()), first) << "each wave restarts the noise generator";

  NoiseGenerator ours(1);
  std::minstd_rand standard(1);
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(ours(), standard()) << "draw " << i;
}

TEST(GenerateWaveFileTest, WritesHeaderAndBlocksAcrossTheBlockSize) {
  TempDir dir;
  const SynthesisParameters p = With(
      {{s::Duration, 2.7}, {s::SineFrequency, 440.0}, {s::SineAmplitude, 30.0}, {s::NoiseAmplitude, 20.0}});
  const std::string path = dir.File("out.wav");
  ASSERT_EQ(GenerateWaveFile(p, path), MessageId::None);
  const std::uint32_t n = 129600;
  ASSERT_EQ(SynthesisSampleCount(p), n);
  std::vector<std::int16_t> samples(n);
  WaveSynthesiser(p).Fill(samples);
  std::string data;
  for (const std::int16_t v : samples) data += Le16(static_cast<std::uint16_t>(v));
  FormatFields format = Format(2);
  EXPECT_EQ(ReadFile(path), CanonicalWav(format, data));

  EXPECT_EQ(GenerateWaveFile(p, dir.File("missing/out.wav")), MessageId::InvalidFileHandle);
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

}  // namespace
}  // namespace vocara::test
