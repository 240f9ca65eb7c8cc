// The FFT window's numbers: the spectrum of a window centred on the cursor with zeros outside
// the data, amplitude and phase of a sine on a bin, the peak and range estimates, marking and
// the peak list; and the MFT note spectrum against what the Build stores for the same frame.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "engine/processing/Fft.h"
#include "engine/processing/Spectrum.h"
#include "engine/sas/SasBuild.h"
#include "engine/wav/WavDocument.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr double Pi = std::numbers::pi;

class SpectrumTest : public ::testing::Test {
 protected:
  // A 32-bit recording (stored values are left-aligned values).
  WavDocument& Open(const std::vector<std::int32_t>& values, std::uint32_t rate = 48000) {
    const std::string path = WriteFile(dir.File("take" + std::to_string(++files) + ".wav"),
                                       CanonicalWav(Format(4, rate), Samples(4, values)));
    wav = WavDocument{};
    EXPECT_EQ(WavOpenDocument(wav, path).message, MessageId::None);
    return wav;
  }
  // A sine of amplitude a lying on bin b of size n, phase phi (radians) at sample `centre`.
  static std::vector<std::int32_t> Sine(std::size_t count, double a, std::uint32_t b, std::uint32_t n,
                                        double phi, std::int64_t centre) {
    std::vector<std::int32_t> values(count);
    for (std::size_t i = 0; i < count; ++i)
      values[i] = static_cast<std::int32_t>(
          std::lround(a * std::sin(2 * Pi * b * (static_cast<double>(i) - centre) / n + phi)));
    return values;
  }
  // state.spectrum made of the given bins (all others 0) at size 1024.
  void SetSpectrum(const std::vector<std::pair<int, double>>& bins) {
    state.fftSize = 1024;
    std::fill(state.spectrum.begin(), state.spectrum.end(), 0.0);
    for (const auto& [bin, value] : bins) state.spectrum[static_cast<std::size_t>(bin)] = value;
  }

  TempDir dir;
  int files = 0;
  WavDocument wav;
  SpectrumState state;
};

TEST_F(SpectrumTest, ASineOnABinReadsItsAmplitudeAndPhase) {
  const double a = 0.5 * 2147483647.0;
  for (const std::uint32_t bin : {36u, 37u}) {
    for (const double degrees : {0.0, 63.0, 250.0}) {
      Open(Sine(20000, a, bin, 1024, degrees * Pi / 180, 5000));
      ComputeSpectrum(state, wav, 5000);
      EXPECT_NEAR(AmplitudePercent(state.spectrum[bin]), 50.0, 0.03) << bin;
      EXPECT_NEAR(BinPhase(state, static_cast<std::int32_t>(bin)), degrees, 1e-5) << bin;
    }
  }
  // Bin N/2 is real: 0 or 180 by its sign (it holds +N a or -N a here); bin 0 shows 0.
  Open(Sine(4096, 1e9, 512, 1024, Pi / 2, 0));
  ComputeSpectrum(state, wav, 2000);
  EXPECT_EQ(BinPhase(state, 512), 0.0);
  EXPECT_EQ(BinPhase(state, 0), 0.0);
  ComputeSpectrum(state, wav, 2001);
  EXPECT_EQ(BinPhase(state, 512), 180.0);
}

// The window's samples sit at cursor - N/2 + j; everything outside the data reads 0, whatever
// the buffer held before (the first computation fills it with a loud tone).
TEST_F(SpectrumTest, TheWindowIsCentredOnTheCursorWithZerosOutsideTheData) {
  const struct {
    std::size_t count;
    std::uint32_t cursor;
  } cases[] = {{1, 0}, {100, 0}, {100, 99}, {3000, 2900}, {3000, 1500}};
  for (const int kind : {0, 5}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << "kind " << kind << ", " << c.count << " samples at " << c.cursor);
      Open(Sine(4096, 1e9, 5, 1024, 0.0, 0));
      state.fftSize = 2048;
      state.windowKind = kind;
      ComputeSpectrum(state, wav, 2048);
      std::vector<std::int32_t> values(c.count);
      for (std::size_t i = 0; i < c.count; ++i)
        values[i] = static_cast<std::int32_t>(1000003 * (i % 17) - 7000000);
      Open(values);
      state.fftSize = 1024;
      ComputeSpectrum(state, wav, c.cursor);
      std::vector<double> w(1024);
      ComputeWindowTable(kind, 1024, w);
      for (const std::uint32_t k : {0u, 1u, 77u, 511u, 512u}) {
        std::complex<double> sum;
        for (std::size_t i = 0; i < c.count; ++i) {
          const std::int64_t j = static_cast<std::int64_t>(i) - c.cursor + 512;
          if (j < 0 || j >= 1024) continue;
          sum += values[i] * w[static_cast<std::size_t>(j)] *
                 std::polar(1.0, 2 * Pi * static_cast<double>(j * k) / 1024);
        }
        EXPECT_NEAR(state.spectrum[k], std::abs(sum) * WindowAmplitude[static_cast<std::size_t>(kind)] / 1024,
                    1e-6 * (1 + std::abs(sum)))
            << k;
      }
    }
  }
}

TEST_F(SpectrumTest, APlateauIsAPeakAndSpansWithoutPowerReadNothing) {
  const double rate = 48000;
  SetSpectrum({{8, 0.5}, {9, 1}, {10, 4}, {11, 4}, {12, 1}, {13, 0.5}});
  for (const std::int32_t bin : {10, 11}) {
    const PeakEstimate peak = EstimatePeak(state, bin, rate);
    ASSERT_TRUE(peak.valid) << bin;
    EXPECT_FALSE(peak.range);
    EXPECT_NEAR(peak.frequency, 10.5 * rate / 1024, 1e-9);
    EXPECT_DOUBLE_EQ(peak.amplitude, AmplitudePercent(std::sqrt(34.5)));
  }
  // Bins 0 and 1, and a cursor on the highest bins, have no peak.
  for (const std::int32_t bin : {0, 1, 511, 512, 513, -1})
    EXPECT_FALSE(EstimatePeak(state, bin, rate).valid) << bin;

  state.fftSelStart = 9;
  state.fftSelEnd = 12;
  const PeakEstimate range = EstimatePeak(state, 300, rate);
  EXPECT_TRUE(range.valid && range.range);
  EXPECT_NEAR(range.frequency, (9 + 160 + 176) / 33.0 * rate / 1024, 1e-9);

  // Silence: no readout, no NaN, no line.
  SetSpectrum({});
  state.fftSelEnd = state.fftSelStart;
  EXPECT_FALSE(EstimatePeak(state, 100, rate).valid);
  state.fftSelEnd = 20;
  EXPECT_FALSE(EstimatePeak(state, 100, rate).valid);
  EXPECT_EQ(PeakListText(state, rate, 0.0), "");
}

TEST_F(SpectrumTest, MarksAreLocalMaximaInsideTheSpectrumAndTheListSkipsTheRest) {
  const double v = 12.5 / AmplitudePercent(1.0);  // 12.5 % of full scale
  SetSpectrum({{10, 4}, {11, 4}, {100, v}, {300, 1}});
  const struct {
    std::int32_t bin;
    bool marked;
  } marks[] = {{0, false},  {512, false}, {-3, false}, {99, false}, {10, true},
               {10, false}, {11, true},   {100, true}, {511, true}};
  for (const auto& m : marks) EXPECT_EQ(MarkPeak(state, m.bin), m.marked) << m.bin;
  EXPECT_EQ(state.markedPeaks, (std::vector<std::int32_t>{10, 11, 100, 511}));
  // The plateau bins are no strict maxima; 511 holds nothing; 100 is written whatever its level.
  EXPECT_EQ(PeakListText(state, 44100, 99.0), "4306.64\t12.5\r\n");

  // A mark from a larger size lying beyond this size's bins is left out.
  state.markedPeaks = {700, 100};
  EXPECT_EQ(PeakListText(state, 44100, 99.0), "4306.64\t12.5\r\n");

  // Without marks every strict maximum above the silence threshold, in bin order.
  state.markedPeaks.clear();
  EXPECT_EQ(PeakListText(state, 44100, 12.5), "");
  EXPECT_EQ(PeakListText(state, 44100, 0.0), "4306.64\t12.5\r\n12919.92\t0\r\n");

  state.markedPeaks.assign(MaxMarkedPeaks, 5);
  EXPECT_FALSE(MarkPeak(state, 300));
}

// A cursor on a frame's position sees what the Build analysed for that frame: a tone stepping
// through C4, A4 + 30 cents and F4 - 30 cents, each frame's stored pitch against the note spectrum's.
TEST_F(SpectrumTest, TheNoteSpectrumDetectsWhatTheBuildStores) {
  const std::uint32_t rate = 22050;
  std::vector<std::int32_t> values(30000);
  double phase = 0.0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double cents = i < 10000 ? 3900.0 : i < 20000 ? 4530.0 : 5270.0;
    phase += 2 * Pi * 27.5 * std::pow(2.0, cents / 1200) / rate;
    values[i] = static_cast<std::int32_t>(1e9 * std::sin(phase));
  }
  Open(values, rate);
  GeneralSettings settings;
  const std::string sas = dir.File("take.sas");
  ASSERT_EQ(SasBuildFile(wav, settings, sas, {}).message, MessageId::None);
  const std::uint32_t hop = ReadSasHeader(sas).frameLength;
  const std::vector<SasFrame> frames = ReadSasFrames(sas);
  ASSERT_GT(frames.size(), 100u);

  std::vector<double> window(NoteWindowLength(rate, settings) + 5);
  NoteReadout readout;
  std::set<int> notes;
  for (std::size_t i = 0; i < frames.size(); i += 7) {
    ComputeNoteSpectrum(readout, wav, static_cast<std::uint32_t>(i * hop), settings, window);
    EXPECT_EQ(FramePitch(readout.detected, readout.spectrum.fine), frames[i].sourcePitch) << i;
    EXPECT_EQ(KeyFinePitch(readout, readout.detected, window, rate, settings), readout.spectrum.fine) << i;
    notes.insert(readout.detected);
  }
  for (const int note : {39, 45, 53}) EXPECT_TRUE(notes.contains(note)) << note;
  // Keys outside lowestNote - 1 .. highestNote are not computed.
  EXPECT_EQ(readout.spectrum.At(settings.lowestNote - 2), 0.0);
  EXPECT_EQ(readout.spectrum.At(settings.highestNote + 1), 0.0);
  EXPECT_GT(readout.spectrum.At(settings.lowestNote - 1), 0.0);
}

}  // namespace
}  // namespace vocara::test
