// The note range found in a recording: sung takes low, middle and high are covered with at
// most a few semitones to spare, octave neighbours of the voice are not taken for it, and a
// recording without a tone gives no range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/Instruments.h"
#include "base/Settings.h"
#include "engine/sas/Analysis.h"
#include "engine/sas/NoteRangeDetection.h"
#include "engine/wav/WavDocument.h"
#include "support/Recordings.h"
#include "support/SoundFiles.h"
#include "support/SungTakes.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr int MidiA0 = 21;  // note index = MIDI key - 21

WavDocument OpenRecording(const TempDir& dir, const std::vector<std::int32_t>& values) {
  const std::string path = WriteWav16(dir.File("take.wav"), values);
  WavDocument wav;
  EXPECT_EQ(WavOpenDocument(wav, path).message, MessageId::None);
  return wav;
}

TEST(NoteRangeDetectionTest, SungTakesAreCoveredWithinTheMargin) {
  // Every other second the fundamental drops to a fifth of its level.
  const SungOptions breathy{5.5, 30, 0.5, 1.0, 0.2, 1.0};
  const struct {
    const char* name;
    std::vector<SungNote> notes;
    SungOptions options;
    int lowest, highest;  // MIDI keys sung
  } takes[] = {
      {"low voice A2..E3", {{45, 0, 1.5}, {48, 20, 1.0}, {52, -30, 1.5}, {47, 0, 1.0}}, {}, 45, 52},
      {"middle voice C4..A4",
       {{60, 0, 1.0}, {64, 10, 1.0}, {67, 0, 1.0}, {69, -20, 1.0}, {62, 0, 1.0}},
       {},
       60,
       69},
      {"high voice C5..C6", {{72, 0, 1.0}, {79, 0, 1.0}, {84, 25, 1.0}, {76, 0, 1.0}}, {}, 72, 84},
      {"breathy D3..D4", {{50, 0, 2.0}, {57, 0, 2.0}, {62, 0, 2.0}}, breathy, 50, 62},
  };
  for (const auto& take : takes) {
    TempDir dir;
    WavDocument wav = OpenRecording(dir, SungMelody(take.notes, take.options));
    const NoteRangeResult range = DetectNoteRange(wav, GeneralSettings{});
    ASSERT_TRUE(range.found && range.result == LongOperationResult::Done) << take.name;
    // Every sung note inside, and no more than the margin and two semitones to spare.
    const int lowest = take.lowest - MidiA0, highest = take.highest - MidiA0;
    EXPECT_TRUE(range.lowestNote <= lowest && range.lowestNote >= lowest - NoteRangeMargin - 2 &&
                range.highestNote >= highest && range.highestNote <= highest + NoteRangeMargin + 2)
        << take.name << ": " << range.lowestNote << " .. " << range.highestNote;
  }
}

TEST(NoteRangeDetectionTest, RecordingsWithoutATuneGiveNoRange) {
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 3000.0);
  std::vector<std::int32_t> hiss(48000 * 3);
  for (std::int32_t& v : hiss) v = static_cast<std::int32_t>(std::lround(noise(random)));
  const std::vector<std::pair<const char*, std::vector<std::int32_t>>> recordings{
      {"digital silence", std::vector<std::int32_t>(48000 * 3, 0)},
      {"near silence", std::vector<std::int32_t>(48000 * 3, 1)},
      {"white noise", hiss},
  };
  for (const auto& recording : recordings) {
    TempDir dir;
    WavDocument wav = OpenRecording(dir, recording.second);
    const NoteRangeResult range = DetectNoteRange(wav, GeneralSettings{});
    EXPECT_EQ(std::pair(range.result, range.found), std::pair(LongOperationResult::Done, false))
        << recording.first;
  }
}

TEST(NoteRangeDetectionTest, QuietPartsDoNotCountAndAStopEndsThePass) {
  // A loud A3 with a long stretch of quiet F2 hum: the hum is below a tenth of the voice.
  std::vector<std::int32_t> values = SungMelody({{57, 0, 2.0}});
  for (int i = 0; i < 48000 * 4; ++i)
    values.push_back(static_cast<std::int32_t>(300 * std::sin(2 * std::numbers::pi * 87.3 * i / 48000)));
  TempDir dir;
  WavDocument wav = OpenRecording(dir, values);
  const NoteRangeResult range = DetectNoteRange(wav, GeneralSettings{});
  ASSERT_TRUE(range.found);
  EXPECT_EQ(range.lowestNote, 57 - MidiA0 - NoteRangeMargin);
  EXPECT_LT(range.framesUsed, range.frames / 2);

  int calls = 0;
  const NoteRangeResult stopped =
      DetectNoteRange(wav, GeneralSettings{}, [&](std::uint64_t, std::uint64_t) { return ++calls < 10; });
  EXPECT_EQ(std::tuple(stopped.result, stopped.found, calls),
            std::tuple(LongOperationResult::Cancelled, false, 10));
}

// Part of a sung take, [from, to) seconds, read at TakeRate through a Hann-windowed sinc and
// raised by `semitones` (read faster: the voice and its vowels go up together).
constexpr std::uint32_t TakeRate = 24000;  // a rate recordings open at, and half the bytes of 48 kHz
std::string Phrase(const Take& take, double from, double to, double semitones = 0) {
  const double step = take.rate / TakeRate * std::exp2(semitones / 12);  // take samples a sample
  const double cutoff = 0.45 / step, half = 8 * step;
  std::vector<std::int32_t> out;
  for (double t = from * take.rate; t < to * take.rate; t += step) {
    double sum = 0;
    for (auto k = static_cast<std::int64_t>(std::ceil(t - half)); k <= t + half; ++k) {
      const double x = t - static_cast<double>(k), u = 2 * std::numbers::pi * cutoff * x;
      if (k >= 0 && k < std::ssize(take.samples))
        sum += take.samples[k] * 2 * cutoff * (x == 0 ? 1 : std::sin(u) / u) *
               (0.5 + 0.5 * std::cos(std::numbers::pi * x / half));
    }
    out.push_back(static_cast<std::int32_t>(std::lround(std::clamp(sum, -32768.0, 32767.0))));
  }
  return Samples(2, out);
}

TEST(NoteRangeDetectionTest, AnHourOfRepeatedSungPhrasesKeepsTheRareTopAndBottom) {
  // The tenor's middle (G3..F4) sung back to back, with its opening (down to F3) once every five
  // minutes and its F4 phrase a minor third up (a G#4 of 0.6 s) once every four.
#ifdef VOCARA_SANITIZED_TESTS
  constexpr double Seconds = 12 * 60;  // the sanitized scan is tens of times slower
#else
  constexpr double Seconds = 3600;
#endif
  std::vector<Take> takes = RealisticTakes();
  const Take& tenor =
      *std::find_if(takes.begin(), takes.end(), [](const Take& t) { return t.name == "tenor"; });
  const std::vector<TakeNote>& n = tenor.notes;
  const std::string common = Phrase(tenor, n[3].onset - 0.08, n[13].onset - 0.4);
  const std::string low = Phrase(tenor, 0, n[3].onset - 0.08);
  const std::string top = Phrase(tenor, n[10].onset - 0.08, n[13].onset - 0.4, 3);
  std::vector<const std::string*> order;
  std::uint32_t bytes = 0;
  for (double nextTop = 120, nextLow = 150; bytes < Seconds * TakeRate * 2;) {
    const double t = bytes / (2.0 * TakeRate);
    order.push_back(t >= nextTop ? (nextTop += 240, &top) : t >= nextLow ? (nextLow += 300, &low) : &common);
    bytes += static_cast<std::uint32_t>(order.back()->size());
  }
  TempDir dir;
  const std::string path = dir.File("hour.wav");
  {
    std::ofstream out(path, std::ios::binary);
    out << "RIFF" << Le32(36 + bytes) << "WAVE" << Chunk("fmt ", FormatBody(Format(2, TakeRate))) << "data"
        << Le32(bytes);
    for (const std::string* phrase : order) out << *phrase;
  }
  WavDocument wav;
  ASSERT_EQ(WavOpenDocument(wav, path).message, MessageId::None);
  const NoteRangeResult range = DetectNoteRange(wav, GeneralSettings{});
  ASSERT_TRUE(range.found);
  const int lowest = tenor.lowest - MidiA0, highest = tenor.highest + 3 - MidiA0;  // F3, G#4
  // The rare notes themselves counted, not merely reached by the margin around the others.
  EXPECT_LE(range.lowestNote, lowest - NoteRangeMargin);
  EXPECT_GE(range.highestNote, highest + NoteRangeMargin);
  EXPECT_LE(range.highestNote - range.lowestNote, highest - lowest + 12);
}

TEST(NoteRangeDetectionTest, NotesAtTheEdgesAreTold) {
  // A held C8, the detector's last key; then an A4 held with a C7 heard for two steps only.
  std::vector<std::int32_t> values = Sine16(4186.0, 48000, 1.0, 8000);
  TempDir dir;
  WavDocument top = OpenRecording(dir, values);
  NoteRangeResult range = DetectNoteRange(top, GeneralSettings{});
  ASSERT_TRUE(range.found);
  EXPECT_EQ(std::tuple(range.highestNote, range.highEdge, range.lowEdge),
            std::tuple(NoteCount - 1, true, false));

  values.assign(48000, 0);
  for (int i = 0; i < 48000; ++i) {
    const double hz = i >= 24000 && i < 24000 + 4800 ? 2093.0 : 440.0;
    values[i] = static_cast<std::int32_t>(8000 * std::sin(2 * std::numbers::pi * hz * i / 48000));
  }
  TempDir other;
  WavDocument passing = OpenRecording(other, values);
  range = DetectNoteRange(passing, GeneralSettings{});
  ASSERT_TRUE(range.found);
  EXPECT_EQ(std::tuple(range.highestNote, range.highEdge, range.lowEdge),
            std::tuple(48 + NoteRangeMargin, true, false));
}

// Strengths of a harmonic voice at note f (partials at f, f+12, f+19, f+24) on the keyboard.
NoteSpectrum Partials(const std::vector<std::pair<int, double>>& peaks) {
  NoteSpectrum spectrum;
  for (int n = -1; n <= NoteCount; ++n) spectrum.At(n) = 1.0;
  for (const auto& [note, strength] : peaks) spectrum.At(note) = strength;
  return spectrum;
}

TEST(NoteRangeDetectionTest, FundamentalIsTheLowestPeakWithItsPartials) {
  struct Case {
    const char* name;
    std::vector<std::pair<int, double>> peaks;
    int fundamental;
  };
  const std::vector<Case> cases{
      {"fundamental strongest", {{30, 100}, {42, 60}, {49, 40}, {54, 25}}, 30},
      {"second partial strongest", {{30, 50}, {42, 100}, {49, 60}, {54, 25}}, 30},
      {"an octave below the voice has no fifth", {{18, 40}, {30, 100}, {42, 60}, {49, 40}}, 30},
      {"a lone low peak is no voice", {{10, 40}, {50, 100}}, 50},
      {"weak fundamental below the threshold", {{30, 10}, {42, 100}, {49, 60}}, 30},
      {"too weak to be more than leakage", {{30, 4}, {42, 100}, {49, 60}}, 42},
      {"weak and without its twelfth", {{30, 10}, {42, 100}, {54, 60}}, 42},
      {"a sine alone", {{70, 100}}, 70},
      {"the top key", {{87, 100}}, 87},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameFundamental(Partials(c.peaks), 20.0), c.fundamental) << c.name;
  EXPECT_EQ(FrameFundamental(NoteSpectrum{}, 20.0), -1);
}

}  // namespace
}  // namespace vocara::test
