#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

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
GeneralSettings VoiceRange() {
  GeneralSettings settings;
  settings.lowestNote = 19;
  settings.highestNote = 63;
  return settings;
}
std::vector<std::int32_t> Stored16(const std::string& path) {
  const std::string data = ReadFile(path).substr(44);
  std::vector<std::int32_t> values;
  for (std::size_t i = 0; i + 1 < data.size(); i += 2)
    values.push_back(static_cast<std::int16_t>(static_cast<std::uint8_t>(data[i]) | data[i + 1] << 8));
  return values;
}
TEST(FormantProbe, Print) {
  struct C {
    const char* n;
    Vowel v;
    double f0;
    int cents;
  };
  const C cases[] = {{"a150 0", VowelA, 150, 0},       {"a150 +400", VowelA, 150, 400},
                     {"a150 -400", VowelA, 150, -400}, {"u120 0", VowelU, 120, 0},
                     {"u120 +400", VowelU, 120, 400},  {"i110 -400", VowelI, 110, -400},
                     {"a220 +700", VowelA, 220, 700},  {"a300 -700", VowelA, 300, -700}};
  for (const C& c : cases) {
    TempDir dir;
    auto input = SungVowel(c.v, c.f0, 30, 2.0, 48000, 0.1);
    const std::string wavPath =
        WriteFile(dir.File("in.wav"), CanonicalWav(Format(2, 48000), Samples(2, input)));
    const std::string sasPath = dir.File("in.sas");
    WavDocument wav;
    ASSERT_EQ(WavOpenDocument(wav, wavPath).message, MessageId::None);
    ASSERT_EQ(SasBuildFile(wav, VoiceRange(), sasPath, {}).result, LongOperationResult::Done);
    std::vector<SasFrame> frames = ReadSasFrames(sasPath);
    for (SasFrame& f : frames)
      if (f.sourcePitch > 0)
        f.targetPitch = static_cast<std::uint16_t>(std::clamp(f.sourcePitch + c.cents, 0, 8700));
    WriteSasFile(sasPath, ReadSasHeader(sasPath), frames, ReadSasLinks(sasPath));
    SasDocument sas;
    ASSERT_EQ(SasOpenDocument(sas, sasPath), MessageId::None);
    CorrectRequest r;
    r.end = wav.sampleCount;
    r.timeCorrection = true;
    r.formants = Formants::Keep;
    Correct(wav, sas, r, dir.File("k.wav"), {});
    r.formants = Formants::Shift;
    Correct(wav, sas, r, dir.File("s.wav"), {});
    auto k = Stored16(dir.File("k.wav"));
    auto s = Stored16(dir.File("s.wav"));
    std::size_t a = 0.5 * 48000, b = 1.6 * 48000;
    auto fi = MeasuredFormants(input, 48000, a, b), fk = MeasuredFormants(k, 48000, a, b),
         fs = MeasuredFormants(s, 48000, a, b);
    if (c.cents == 0) {
      double best = 1e300;
      int bestLag = 0;
      for (int lag = -600; lag <= 600; ++lag) {
        double d = 0, e = 0;
        for (std::size_t i = a; i < b; ++i) {
          double dd = k[i + lag] - input[i];
          d += dd * dd;
          e += double(input[i]) * input[i];
        }
        if (d / e < best) {
          best = d / e;
          bestLag = lag;
        }
      }
      std::printf("identity: lag %d relative error %g\n", bestLag, best);
      for (std::size_t i = a; i < a + 12; ++i) std::printf("%d/%d ", input[i], k[i]);
      std::printf("\n");
    }
    auto ref = SungVowel(c.v, c.f0 * std::exp2(c.cents / 1200.0), 30, 2.0, 48000, 0.1);
    auto fr = MeasuredFormants(ref, 48000, a, b);
    std::printf("%-10s vs reference %5.0f %5.0f %5.0f keep %+5.1f%% %+5.1f%% %+5.1f%%\n", c.n, fr[0], fr[1],
                fr[2], 100 * (fk[0] / fr[0] - 1), 100 * (fk[1] / fr[1] - 1), 100 * (fk[2] / fr[2] - 1));
    std::printf(
        "%-10s in %5.0f %5.0f %5.0f keep %+5.1f%% %+5.1f%% %+5.1f%% shift %+5.1f%% %+5.1f%% %+5.1f%%\n", c.n,
        fi[0], fi[1], fi[2], 100 * (fk[0] / fi[0] - 1), 100 * (fk[1] / fi[1] - 1), 100 * (fk[2] / fi[2] - 1),
        100 * (fs[0] / fi[0] - 1), 100 * (fs[1] / fi[1] - 1), 100 * (fs[2] / fi[2] - 1));
  }
}
}  // namespace
}  // namespace vocara::test
