// The singer's road end to end on melodies with known notes: build --instrument auto, snap to C
// major, correct, and an analysis of the test's own (a plain YIN tracker) on what came out.
// Every note as held must land within 5 cents of its scale note, the report must count the
// notes that were sung, and its vibrato depth must agree within 15 % with the depth the test's
// own analysis measures over the same held stretch, before and after.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "CliRun.h"
#include "engine/processing/CorrectionReport.h"
#include "engine/sas/SasDocument.h"
#include "engine/wav/WavDocument.h"
#include "support/PitchTrack.h"
#include "support/Recordings.h"
#include "support/SasFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr double Rate = 48000;

struct Melody {
  std::string name;
  std::vector<SungNote> notes;
  SungOptions options;
};

// The sung notes (breaths left out) with where each begins, in seconds.
// Where each note begins as a listener counts it: a glide of a third or more from the note
// before is shared at its middle; a shorter one, or a scoop, belongs to the note it lands on.
struct Placed {
  SungNote note;
  double start;
};
std::vector<Placed> Place(const std::vector<SungNote>& notes) {
  std::vector<Placed> placed;
  double t = 0;
  int before = 0;
  for (const SungNote& n : notes) {
    const bool shared = before != 0 && n.scoop == 0 && std::abs(n.key - before) >= 3;
    if (n.key != 0) placed.push_back({n, t + (shared ? n.glide / 2 : 0)});
    before = n.key;
    t += n.seconds;
  }
  return placed;
}

using SungMelodiesTest = CliFixture;

TEST_F(SungMelodiesTest, EveryNoteLandsOnTheScaleWithItsVibrato) {
  const auto run = [](std::vector<int> keys, std::vector<double> cents) {
    std::vector<SungNote> notes;
    for (std::size_t k = 0; k < keys.size(); ++k) notes.push_back({keys[k], cents[k], 0.13, 0.025});
    return notes;
  };
  std::vector<SungNote> fast =
      run({60, 62, 64, 65, 67, 65, 64, 62, 60}, {15, -20, 10, -15, 20, -10, 25, -20, 10});
  fast.push_back({59, -20, 0.8, 0.03});
  const SungOptions plain{};
  const std::vector<Melody> melodies{
      {"E4 sung sharp, F4 flat",
       {{60, 0, 0.7}, {62, 0, 0.7}, {64, 40, 0.7, 0.06}, {65, -20, 0.7, 0.06}, {67, 0, 0.7}},
       plain},
      {"a take 20 to 45 cents off",
       {{60, 30, 0.7},
        {62, -25, 0.7},
        {64, -40, 0.7},
        {67, -35, 0.7},
        {69, 20, 0.7},
        {72, 40, 0.7},
        {67, 35, 0.7},
        {64, -20, 0.7},
        {62, 45, 0.7},
        {60, 35, 0.9}},
       plain},
      {"F4 flat, E4 sharp going down",
       {{67, 0, 0.7}, {65, -20, 0.7, 0.06}, {64, 40, 0.7, 0.06}, {62, 0, 0.7}, {60, 0, 0.7}},
       plain},
      {"a note repeated after a 40 ms breath",
       {{62, 20, 0.6}, {0, 0, 0.04}, {62, 20, 0.6}, {64, -25, 0.7}},
       plain},
      {"a run of 130 ms notes", fast, {5.5, 0}},
      {"+-80 cents of vibrato", {{60, 25, 1.5}, {64, -30, 1.5}, {67, 20, 1.5}}, {5.5, 80}},
      {"150-cent scoops",
       {{60, 20, 0.8, 0.12, -150},
        {64, -25, 0.8, 0.12, -150},
        {67, 15, 0.8, 0.12, -150},
        {72, -20, 0.8, 0.12, -150}},
       plain},
      {"a low voice, A2 to E3",
       {{45, 25, 0.8}, {48, -30, 0.8}, {50, 20, 0.8}, {52, -15, 0.8}, {45, 10, 0.9}},
       plain},
      {"a high voice, C5 to C6",
       {{72, 25, 0.7}, {76, -30, 0.7}, {79, 20, 0.7}, {84, -15, 0.7}, {72, 10, 0.8}},
       plain},
  };
  for (const Melody& melody : melodies) {
    SCOPED_TRACE(melody.name);
    const std::vector<std::int32_t> sung = SungMelody(melody.notes, melody.options);
    const std::string wav = dir.File("sung.wav");
    const std::string sas = dir.File("sung.sas");
    const std::string corrected = dir.File("in-tune.wav");
    WriteFile(wav, CanonicalWav(Format(2), Samples(2, sung)));
    ASSERT_EQ(Run({"build", wav, sas, "--instrument", "auto"}), cli::ExitSuccess) << err.str();
    ASSERT_EQ(Run({"snap", sas, "--key", "C", "--scale", "major"}), cli::ExitSuccess) << err.str();
    ASSERT_EQ(Run({"correct", wav, sas, corrected}), cli::ExitSuccess) << err.str();
    const std::vector<Placed> placed = Place(melody.notes);
    ASSERT_EQ(Run({"report", wav, sas, corrected}), cli::ExitSuccess) << err.str();
    std::ostringstream count;
    count << '\n' << placed.size() << " notes";
    EXPECT_NE(out.str().find(count.str()), std::string::npos) << out.str();

    const CorrectionReport report = RenderingReport(wav, sas, corrected);
    ASSERT_EQ(report.notes.size(), placed.size());
    const SasHeader header = ReadSasHeader(sas);

    double lowest = 1e9, highest = 0;
    for (const Placed& p : placed) {
      const double hz = 440 * std::pow(2.0, (p.note.key - 69) / 12.0);
      lowest = std::min(lowest, hz);
      highest = std::max(highest, hz);
    }
    // The corrected file is canonical 16-bit: its samples follow the 44-byte header.
    const std::string bytes = ReadFile(corrected);
    std::vector<std::int32_t> rendered((bytes.size() - 44) / 2);
    for (std::size_t i = 0; i < rendered.size(); ++i)
      rendered[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[44 + 2 * i]) |
                                              static_cast<std::uint8_t>(bytes[45 + 2 * i]) << 8);
    const PitchTrack before = TrackPitch(sung, Rate, lowest / 1.4, highest * 1.4);
    const PitchTrack after = TrackPitch(rendered, Rate, lowest / 1.4, highest * 1.4);
    const double frameSeconds = static_cast<double>(header.frameLength) / header.sampleRate;
    double worst = 0;
    double worstDepth = 0;
    for (std::size_t k = 0; k < placed.size(); ++k) {
      const Placed& p = placed[k];
      const NoteReport& r = report.notes[k];
      EXPECT_NEAR(r.startSeconds, p.start, 0.05) << "note " << k;  // an onset within 50 ms is heard as one
      // The note as held, away from the glide into it and the next note's, over whole cycles
      // of its vibrato: a median over a cycle and a half leans towards the extra half.
      const double from = p.start + std::max(p.note.glide, 0.02) + (p.note.seconds > 0.3 ? 0.1 : 0.02);
      // (p.start is at most half a glide late: the held part begins later still.)
      double to = p.start + p.note.seconds - (p.note.seconds > 0.3 ? 0.1 : 0.03);
      if (const double cycle = 1 / melody.options.vibratoHz;
          melody.options.vibratoCents > 0 && to - from > cycle)
        to = from + std::floor((to - from) / cycle) * cycle;
      const HeldFigures now = MeasureHeld(after, from, to);
      const double error = now.centre - (p.note.key - 21) * 100;
      worst = std::max(worst, std::abs(error));
      EXPECT_NEAR(error, 0, 5) << "note " << k << " (" << p.note.key << ")";
      if (p.note.seconds < 0.5 || melody.options.vibratoCents < 10) continue;
      // Vibrato over the report's held part, the same stretch on both sides of the render.
      const double h0 = r.heldFirst * frameSeconds;
      const double h1 = r.heldEnd * frameSeconds;
      const HeldFigures sungHeld = MeasureHeld(before, h0, h1);
      const HeldFigures renderedHeld = MeasureHeld(after, h0, h1);
      // The report's depth is the depth sung (the swing once the vibrato has set in); the
      // render keeps the swing the test's own analysis hears.
      const double depth = melody.options.vibratoCents;
      worstDepth =
          std::max({worstDepth, std::abs(r.vibratoBefore / depth - 1), std::abs(r.vibratoAfter / depth - 1),
                    std::abs(renderedHeld.depth / sungHeld.depth - 1)});
      EXPECT_NEAR(r.vibratoBefore, depth, 0.15 * depth) << "note " << k;
      EXPECT_NEAR(r.vibratoAfter, depth, 0.15 * depth) << "note " << k;
      EXPECT_NEAR(renderedHeld.depth, sungHeld.depth, 0.15 * sungHeld.depth) << "note " << k;
    }
    std::cout << "[ figures  ] " << melody.name << ": worst note " << worst << " cents, vibrato within "
              << 100 * worstDepth << " %\n";
  }
}

}  // namespace
}  // namespace vocara::test
