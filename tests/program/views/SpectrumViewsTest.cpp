// The FFT and MFT windows through the fake platform: the readouts of known tones, the axis and
// the WAV range following commands and cursor, and the keys, marks, clipboard and peak file.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "engine/processing/Spectrum.h"
#include "program/commands/SettingsDialog.h"
#include "program/views/Render.h"
#include "program/views/ViewFixture.h"

namespace vocara::test {
namespace {

// A sine lying on `bin` of a 1024-point transform, `percent` of full scale, `degrees` of phase
// at sample Centre. At 44.1 kHz no readout below falls halfway between two decimals.
struct Tone {
  double bin, percent, degrees;
};
constexpr std::uint32_t Centre = 20000;
constexpr std::uint32_t Rate = 44100;
// Bins 34 and 65 (odd: its phase comes half a turn round); the square window's amplitude
// constant reads them 0.05 % low.
const std::vector<Tone> TwoTones{{34, 50, 30}, {65, 25, 100}};
using Texts = std::vector<std::string>;

class SpectrumViewsTest : public ViewTest {
 protected:
  // 32-bit samples, read to the last decimal; the WAV cursor on Centre, the FFT window open.
  void OpenTones(const std::vector<Tone>& tones) {
    std::vector<std::int32_t> samples(40000);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      double value = 0.0;
      for (const Tone& t : tones)
        value += t.percent * 21474836.48 *
                 std::sin(2 * std::numbers::pi * (t.bin / 1024 * (double(i) - Centre) + t.degrees / 360));
      samples[i] = static_cast<std::int32_t>(std::lround(value));
    }
    wavPath = WriteFile(dir.File("tones.wav"), CanonicalWav(Format(4, Rate), Samples(4, samples)));
    OpenDocumentByName(app, wavPath);
    app.docs.wav.cursor = Centre;
    Command(WavView, 141);  // one sample per column, centred on the cursor
    Key(WavView, 'F');
  }
  void CursorAt(int view, int column) {
    app.windows.geometry[view].cursorX = column;
    MoveCursor(app.screen, view);
  }
  const std::string& Text(int field) const {
    return app.windows.status.texts[static_cast<std::size_t>(field)];
  }
  Texts Fields(int first, int last) const {
    Texts texts;
    for (int f = first; f <= last; ++f) texts.push_back(Text(f));
    return texts;
  }
  // Both spectra cleared.
  void ExpectNoSpectra() const {
    EXPECT_TRUE(std::ranges::all_of(app.windows.spectrum.spectrum, [](double v) { return v == 0.0; }));
    EXPECT_TRUE(std::ranges::all_of(app.windows.notes.spectrum.strength, [](double v) { return v == 0.0; }));
  }
  std::string wavPath;
};

TEST_F(SpectrumViewsTest, ReadoutsDescribeTheToneUnderTheCursorAndCCopiesItsAmplitude) {
  OpenTones(TwoTones);
  const std::string peak = "  PeakFreq/(Hz)=", ampl = "  PeakAmpl/(arb.u)=";
  struct Case {
    int bin;
    Texts fields;  // 27 .. 33
  } cases[] = {
      {34, {peak, ampl, "1464.3", "49.9749", "30", "1464.26", "49.9749"}},
      {65, {peak, ampl, "2799.3", "24.9874", "100", "2799.32", "24.9874"}},
      {1, {"", "", "43.1", "0", "", "", ""}},  // no peak search from bins 0 and 1
  };
  for (const Case& c : cases) {
    CursorAt(FftView, c.bin);
    if (c.bin == 1) app.windows.status.texts[31].clear();  // bin 1 holds rounding noise: any phase
    EXPECT_EQ(Fields(27, 33), c.fields) << c.bin;
    Key(WavView, 'C');  // from any window
  }
  EXPECT_EQ(fake.desktop.clipboard, "24.9874") << "an empty readout leaves the clipboard as it was";
}

// Each command keeps the frequency under the cursor column (100 x 44100 / 1024 Hz) in place.
TEST_F(SpectrumViewsTest, SizeAndZoomKeepTheCursorFrequencyAndSizesSelectTheAnalysedSpan) {
  OpenTones(TwoTones);
  CursorAt(FftView, 100);
  struct Step {
    int command, pixelsPerBin, firstPixel;
  } steps[] = {{158, 1, 100}, {177, 2, 300}, {162, 1, 3100}, {174, 1, 3100}, {157, 32, 3100}, {179, 1, 0}};
  for (const Step& s : steps) {
    Command(FftView, s.command);
    RepaintStatusValues(app.screen, FftView);
    EXPECT_EQ(std::tuple(app.windows.fftView.pixelsPerBin, app.windows.fftView.firstPixel, Text(29)),
              std::tuple(s.pixelsPerBin, s.firstPixel, "4306.6"))
        << s.command;
  }
  EXPECT_EQ(std::tuple(fake.windows.views[FftView].buttonChecked[157],
                       fake.windows.views[FftView].buttonChecked[174]),
            std::tuple(true, true));
  Command(FftView, 160);  // 8192 points
  EXPECT_EQ(std::tuple(app.docs.wav.rangeLeft, app.docs.wav.rangeRight),
            std::tuple(Centre - 4096, Centre + 4096));
}

TEST_F(SpectrumViewsTest, CursorKeysAndSyncMoveTheSpectrumAndTheNotesWithTheWavCursor) {
  OpenTones(TwoTones);
  fake.windows.Show(FftView, platform::ShowCommand::Hide);
  Key(WavView, platform::key::Right);
  EXPECT_EQ(app.docs.wav.rangeRight, 0u) << "no FFT window to follow";
  Key(WavView, 'F');
  Command(WavView, 168);
  app.windows.geometry[MftView].cursorX = 0;
  Key(WavView, platform::key::Right);
  EXPECT_EQ(std::tuple(app.docs.wav.rangeLeft, app.docs.wav.rangeRight),
            std::tuple(Centre + 2 - 512, Centre + 2 + 512));
  EXPECT_NE(app.windows.geometry[MftView].cursorX, 0) << "the MFT cursor went to the detected key";
  // Sync to SAS puts the WAV cursor on the SAS cursor's frame (100 samples each).
  app.flags |= SasOpen | WavSasMatch;
  app.session.sas.header.frameLength = 100;
  app.windows.geometry[SasView].cursorX = 50;
  UpdateCommandStates(app.commands);
  Command(WavView, 108);
  EXPECT_EQ(app.docs.wav.rangeLeft, 5000u - 512);
}

TEST_F(SpectrumViewsTest, AnotherRecordingIsAnalysedAtItsOwnCursorAndNoneLeavesEmptyWindows) {
  OpenTones(TwoTones);  // A: the cursor on sample 20000, the FFT window shown
  Command(WavView, 168);
  Command(FftView, 159);  // a larger size, which the FFT keeps for the next file
  // B: noise, so that the spectrum tells any two cursor samples apart; fitted whole, hundreds of
  // samples to a column.
  const std::string other =
      WriteFile(dir.File("other.wav"), CanonicalWav(Format(4, Rate), Samples(4, UniformNoise(200000, 24))));
  const auto spectrumOf = [&](std::uint32_t cursor) {
    SpectrumState expected;
    expected.fftSize = app.windows.spectrum.fftSize;
    expected.windowKind = app.windows.spectrum.windowKind;
    ComputeSpectrum(expected, app.docs.wav, cursor);
    return expected.spectrum;
  };
  const auto notesOf = [&](std::uint32_t cursor) {
    NoteReadout expected;
    std::vector<double> window(NoteWindowLength(Rate, app.config.settings));
    ComputeNoteSpectrum(expected, app.docs.wav, cursor, app.config.settings, window);
    return expected.spectrum.strength;
  };
  OpenDocumentByName(app, wavPath);
  app.docs.wav.cursor = Centre;
  Command(WavView, 141);
  Command(FftView, 181);
  Command(WavView, 168);
  // WAV File / Open; a drop takes the same road (WindowProcedureTest).
  Command(WavView, 100, other);
  ASSERT_EQ(app.docs.wav.path, other);
  // The cursor keeps its sample, to its column at the new scale, as the WAV window shows it.
  const std::uint32_t cursor = app.docs.wav.cursor;
  EXPECT_LT(Centre - cursor, app.windows.wavView.samplesPerPixel);
  EXPECT_GT(app.windows.wavView.samplesPerPixel, 100u);
  Paint(WavView);
  EXPECT_EQ(std::tuple(app.docs.wav.cursor, app.windows.spectrum.spectrum),
            std::tuple(cursor, spectrumOf(cursor)));
  EXPECT_EQ(app.windows.notes.spectrum.strength, notesOf(cursor));

  // Open, cancelled: no recording, and neither window shows the last one.
  fake.desktop.fileAnswers.clear();
  Command(WavView, 100);
  ASSERT_FALSE(app.Has(WavOpen));
  EXPECT_NE(fake.windows.GetShowState(FftView), platform::ShowState::Hidden);
  ExpectNoSpectra();
  Paint(FftView);
  Paint(MftView);
  EXPECT_EQ(std::tuple(Fields(27, 33), Fields(38, 39)), std::tuple(Texts(7), Texts(2)));

  OpenDocumentByName(app, other);
  Command(WavView, 103);  // Close
  EXPECT_EQ(std::tuple(fake.windows.GetShowState(FftView), fake.windows.GetShowState(MftView)),
            std::tuple(platform::ShowState::Hidden, platform::ShowState::Hidden));
  ExpectNoSpectra();
}

TEST_F(SpectrumViewsTest, TMarksPeaksOnceWhichThePlotCapsAndThePeakFileListsInMarkingOrder) {
  OpenTones(TwoTones);
  const std::string peaks = dir.File("peaks.txt");
  Command(FftView, 182, peaks);
  EXPECT_EQ(ReadFile(peaks), "1464.26\t49.9749\r\n2799.32\t24.9874\r\n")
      << "unmarked: every peak above silence";
  struct Case {
    int bin;
    std::vector<std::int32_t> marks;
  } cases[] = {{0, {}}, {33, {}}, {65, {65}}, {34, {65, 34}}, {65, {65, 34}}, {512, {65, 34}}};
  for (const Case& c : cases) {
    CursorAt(FftView, c.bin);
    Key(FftView, 'T');
    EXPECT_EQ(app.windows.spectrum.markedPeaks, c.marks) << c.bin;
  }
  Paint(FftView);
  const auto blueRows = [&](int x) {
    int rows = 0;
    for (int y = app.windows.geometry[FftView].plotTop; y < app.windows.geometry[FftView].plotBottom; ++y)
      rows += Pixel(FftView, x, y) == BluePixel;
    return rows;
  };
  EXPECT_EQ(std::tuple(blueRows(34), blueRows(64)), std::tuple(5, 0));
  fake.desktop.fileAnswers = {peaks, wavPath};
  Command(FftView, 182);
  EXPECT_EQ(ReadFile(peaks), "2799.32\t24.9874\r\n1464.26\t49.9749\r\n");
  Command(FftView, 182);
  EXPECT_EQ(fake.desktop.messages.at(0).text, "Opened file can not be overwritten");
  Key(FftView, 'U');
  EXPECT_TRUE(app.windows.spectrum.markedPeaks.empty());
}

TEST_F(SpectrumViewsTest, LAndRSelectBinsThatScaleWithTheSize) {
  OpenTones(TwoTones);
  struct Case {
    int key, bin;
    std::int32_t start, end;
    bool selected;
  } cases[] = {{'L', 30, 30, 30, false},
               {'R', 36, 30, 37, true},
               {'L', 40, 40, 40, false},
               {'R', 20, 21, 21, false},
               {'R', 40, 21, 41, true}};
  for (const Case& c : cases) {
    CursorAt(FftView, c.bin);
    Key(FftView, c.key);
    EXPECT_EQ(std::tuple(app.windows.spectrum.fftSelStart, app.windows.spectrum.fftSelEnd,
                         app.Has(FftRangeSelected)),
              std::tuple(c.start, c.end, c.selected))
        << c.bin;
  }
  RepaintStatusValues(app.screen, FftView);
  EXPECT_EQ(Text(27), "RangeFreq/(Hz)=");
  Command(FftView, 158);
  EXPECT_EQ(std::tuple(app.windows.spectrum.fftSelStart, app.windows.spectrum.fftSelEnd), std::tuple(42, 82));
}

// An A4 (440 Hz) tone; the analysed keys start above it until L takes them below.
TEST_F(SpectrumViewsTest, LAndRInTheMftWindowSetTheAnalysedKeysAndMeasureThem) {
  OpenTones({{440.0 * 1024 / Rate, 50, 0}});
  app.config.settings.lowestNote = 50;
  app.config.settings.highestNote = 60;
  Command(WavView, 168);
  EXPECT_EQ(app.windows.notes.spectrum.At(48), 0.0);
  struct Case {
    int column;  // 641 columns, 7.28 per key
    int key;
    std::int32_t lowest, highest;
  } cases[] = {{295, 'L', 40, 60}, {330, 'R', 40, 45}, {365, 'L', 50, 50}, {300, 'R', 41, 41}};
  fake.dialogs.script.push_back([&](FakeDialog& dialog, platform::DialogProcedure&) {
    for (const Case& c : cases) {
      CursorAt(MftView, c.column);
      Key(MftView, c.key);
      // The cursor stays on the chosen key.
      EXPECT_EQ(
          std::tuple(app.config.settings.lowestNote, app.config.settings.highestNote,
                     dialog.selections[settings_control::LowestNote],
                     dialog.selections[settings_control::Instrument], app.windows.geometry[MftView].cursorX),
          std::tuple(c.lowest, c.highest, c.lowest, 0, c.column))
          << c.column;
      if (c.column == 295) {
        EXPECT_GT(app.windows.notes.spectrum.At(48), 0.0) << "A4 measured once in range";
      }
    }
  });
  Command(MftView, 154);
  app.config.settings = GeneralSettings{};
  Command(WavView, 168);
  RepaintStatusValues(app.screen, MftView);
  EXPECT_EQ(Fields(37, 38), (Texts{"A4", "100"})) << "the MFT cursor stands on the detected key";
}

}  // namespace
}  // namespace vocara::test
