// vocara-cli spectrum, peaks and notes: their usage errors, a spectrum line, the peak file's
// bytes and the note spectrum's closing lines.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "CliRun.h"
#include "base/Settings.h"
#include "support/SettingsFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

class CliSpectrumTest : public CliFixture {
 protected:
  // 4096 samples of a 16-bit tone lying on bin 10 of 1024 (430.66 Hz, A4 - 37 cents) at 44100 Hz, a quarter
  // of full scale.
  void SetUp() override {
    std::vector<std::int32_t> tone(4096);
    for (std::size_t i = 0; i < tone.size(); ++i)
      tone[i] =
          static_cast<std::int32_t>(std::lround(8192 * std::sin(2 * std::numbers::pi * 10 * i / 1024.0)));
    wav = WriteWav16(dir.File("a.wav"), tone, 44100);
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::istringstream text(out.str());
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  std::string wav;
  std::string txt = dir.File("p.txt");
};

TEST_F(CliSpectrumTest, SpectrumPrintsOneLinePerBin) {
  ASSERT_EQ(Run({"spectrum", wav, "--at", "2048"}), 0) << err.str();
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 513u);
  // 8192 / 32768 = 25 % of full scale, read with the square window's constant.
  EXPECT_EQ(lines[10], "10\t430.664062\t24.987319");
  EXPECT_EQ(lines[512], "512\t22050.000000\t0.000000");
  // A 4096-point Hann spectrum at the last sample.
  ASSERT_EQ(Run({"spectrum", wav, "--fft", "4096", "--window", "5", "--at", "4096"}), 0) << err.str();
  EXPECT_EQ(Lines().size(), 2049u);
}

TEST_F(CliSpectrumTest, PeaksWritesThePeakFile) {
  ASSERT_EQ(Run({"peaks", wav, txt, "--at", "2048"}), 0) << err.str();
  EXPECT_EQ(ReadFile(txt), "430.66\t24.9873\r\n");
  // Above the silence threshold nothing qualifies, but a marked peak is written all the same
  // (which bins can be marked: SpectrumTest).
  const std::string ini =
      WriteFile(dir.File("s.ini"), SettingsFileBytes({.silenceThreshold = 30.0}, WindowLayout::Defaults()));
  ASSERT_EQ(Run({"peaks", wav, txt, "--at", "2048", "--settings", ini}), 0) << err.str();
  EXPECT_EQ(ReadFile(txt), "");
  ASSERT_EQ(Run({"peaks", wav, txt, "--at", "2048", "--settings", ini, "--mark", "10"}), 0);
  EXPECT_EQ(ReadFile(txt), "430.66\t24.9873\r\n");
}

TEST_F(CliSpectrumTest, NotesEndWithTheDetectedNoteAndItsFinePitch) {
  ASSERT_EQ(Run({"notes", wav, "--at", "2048", "--lowest", "C4", "--highest", "50"}), 0) << err.str();
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 90u);
  // Computed from B3, one below the lowest note, to the highest; 0 elsewhere.
  EXPECT_EQ(std::tuple(lines[37], lines[38], lines[48], lines[51], lines[88], lines[89]),
            std::tuple("A#3\t0.000000", "B3\t11723522.302279", "A4\t435702063.374760", "C5\t0.000000",
                       "detected=A4", "fine=-35.6"));
}

}  // namespace
}  // namespace vocara::test
