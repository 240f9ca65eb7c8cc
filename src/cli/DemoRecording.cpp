// vocara-demo OUT.wav [SETTINGS [GUIDE.mid]]: the recording `make run` opens, made at build time so that
// nothing binary lives in the repository. About 8 s of a sung-like melody at 48 kHz, 16-bit
// mono: a harmonic tone with vibrato, short glides between the notes, and a few notes sung 20 to
// 40 cents off, so that Build and Correct have something audible to pull in tune. Each note
// swells in and eases off at its own loudness, as a singer phrases it, so that the whole-file
// waveform shows the notes rather than one even band. Every sample follows from the constants
// below: the file is the same on every build.
//
// SETTINGS, when named, is the settings file `make run` starts the program with: the built-in
// settings with the note range of the melody, so that Build analyses just the notes sung and
// the SAS window's pitch pane opens on them, and a window layout made for the demo.
//
// GUIDE, when named, is the melody as written, a Standard MIDI File for `vocara-cli guide`: each
// note on its key from where the change to it is heard (halfway up the glide into it), except
// the high A, which the singer came in on GuideLateA early: the guide starts it that much later.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <numbers>
#include <string>
#include <system_error>
#include <vector>

#include "base/OutputFile.h"
#include "base/Settings.h"
#include "engine/midi/StandardMidiFile.h"
#include "engine/wav/WavHeader.h"

namespace {

constexpr double Rate = 48000.0;
constexpr double VibratoHz = 5.5;
constexpr double VibratoCents = 30.0;
constexpr double GlideSeconds = 0.07;
constexpr double FadeSeconds = 0.05;
constexpr double Level = 0.7;  // of full scale even with every overtone in phase: no clipping

struct Note {
  int key;          // MIDI key: 69 is A4
  double cents;     // how far the singer is off
  double seconds;   // length, the glide into the next note included
  double loudness;  // of the phrase's loudest note
};

// A short phrase in C major around middle C; four notes are out of tune. It rises to the A and
// falls away again.
constexpr std::array<Note, 12> Melody{{
    {60, 0.0, 0.6, 0.70},
    {62, 25.0, 0.6, 0.78},
    {64, 0.0, 0.6, 0.85},
    {65, -35.0, 0.6, 0.90},
    {67, 0.0, 1.0, 1.00},
    {69, 0.0, 0.5, 0.95},
    {67, 30.0, 0.5, 0.88},
    {65, 0.0, 0.5, 0.82},
    {64, -20.0, 0.6, 0.76},
    {62, 0.0, 0.6, 0.70},
    {60, 0.0, 1.2, 0.66},
    {60, 0.0, 0.7, 0.50},
}};

// Each note swells in over its first SwellSeconds and eases off over its last, from Notch of
// its loudness, and sinks by a fifth over its length between the two.
constexpr double SwellSeconds = 0.08;
constexpr double Notch = 0.35;

double NoteShape(const Note& note, double into) {
  const double edge = std::min({1.0, into / SwellSeconds, (note.seconds - into) / SwellSeconds});
  return note.loudness * (Notch + (1.0 - Notch) * std::max(edge, 0.0)) * (1.0 - 0.2 * into / note.seconds);
}

// Overtones decay with their number, as in a soft sung vowel.
constexpr std::array<double, 6> Harmonics{1.0, 0.55, 0.35, 0.2, 0.12, 0.07};

double Hz(const Note& note) { return 440.0 * std::pow(2.0, (note.key - 69 + note.cents / 100.0) / 12.0); }

std::vector<std::int16_t> Sing() {
  double total = 0.0;
  for (const Note& note : Melody) total += note.seconds;
  const auto count = static_cast<std::size_t>(std::lround(total * Rate));
  std::vector<std::int16_t> samples(count);
  double harmonicsSum = 0.0;
  for (const double h : Harmonics) harmonicsSum += h;

  double phase = 0.0;
  std::size_t noteIndex = 0;
  double noteStart = 0.0;
  for (std::size_t n = 0; n < count; ++n) {
    const double t = static_cast<double>(n) / Rate;
    while (noteIndex + 1 < Melody.size() && t >= noteStart + Melody[noteIndex].seconds)
      noteStart += Melody[noteIndex++].seconds;
    // The pitch glides in cents from the previous note over the first GlideSeconds of a note.
    double hz = Hz(Melody[noteIndex]);
    const double into = t - noteStart;
    if (noteIndex > 0 && into < GlideSeconds) {
      const double from = Hz(Melody[noteIndex - 1]);
      hz = from * std::pow(hz / from, into / GlideSeconds);
    }
    // Vibrato sets in over the first 0.3 s of each note, as a singer's does.
    const double depth = VibratoCents * std::min(1.0, into / 0.3);
    hz *= std::pow(2.0, depth * std::sin(2.0 * std::numbers::pi * VibratoHz * t) / 1200.0);
    phase += 2.0 * std::numbers::pi * hz / Rate;
    if (phase > 2.0 * std::numbers::pi) phase -= 2.0 * std::numbers::pi;

    double value = 0.0;
    for (std::size_t k = 0; k < Harmonics.size(); ++k) value += Harmonics[k] * std::sin((k + 1) * phase);
    const double fade = std::min({1.0, t / FadeSeconds, (total - t) / FadeSeconds});
    const double level = Level * fade * NoteShape(Melody[noteIndex], into);
    samples[n] = static_cast<std::int16_t>(std::lround(value / harmonicsSum * level * 32767.0));
  }
  return samples;
}

// The notes of the phrase, C4 to A4, as the settings number them (0 is A0, MIDI key 21).
constexpr int LowestNote = 60 - 21;
constexpr int HighestNote = 69 - 21;

// The program's own first arrangement, tiled over 1024x720 and taken on any screen from 1024x768
// up: no window is wider than 1024 or taller than 768, and every one starts in the top left
// 1004x748 but clear of a panel of up to Panel pixels along the top or a dock of up to Dock along
// the left, since a window that starts outside the work area has the whole file refused.
constexpr int Dock = 72;
constexpr int Panel = 48;
const vocara::WindowLayout DemoWindows =
    vocara::WindowLayout::FirstStart({Dock, Panel, Dock + 1024, Panel + 720}, {});

bool WriteSettings(const std::string& path) {
  vocara::GeneralSettings settings;
  settings.lowestNote = LowestNote;
  settings.highestNote = HighestNote;
  vocara::SaveSettingsRecord(path, settings);
  vocara::SaveWindowLayout(path, DemoWindows);
  // Both writes are silent about failures; a file of any other size would be refused at start.
  std::error_code error;
  return std::filesystem::file_size(path, error) == vocara::SettingsFileSize;
}

constexpr double GuideLateA = 0.08;
constexpr int HighA = 69;

bool WriteGuide(const std::string& path) {
  std::vector<vocara::MidiOutNote> notes;
  double start = 0.0;
  for (const Note& note : Melody) {
    // The change of note is heard halfway up the glide into it.
    const double heard = notes.empty() ? start : start + GlideSeconds / 2;
    const double onset = heard + (note.key == HighA ? GuideLateA : 0.0);
    if (!notes.empty()) notes.back().end = onset;
    notes.push_back({onset, start + note.seconds, note.key, 90, 0.0});
    start += note.seconds;
  }
  const std::vector<std::uint8_t> bytes = vocara::StandardMidiFileBytes(notes, false);
  vocara::OutputFile output;
  return output.Begin(path) == vocara::MessageId::None && output.File().Write(bytes.data(), bytes.size()) &&
         output.Commit();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::cerr << "usage: vocara-demo OUT.wav [SETTINGS [GUIDE.mid]]\n";
    return 2;
  }
  if (argc >= 3 && !WriteSettings(argv[2])) {
    std::cerr << "vocara-demo: could not write " << argv[2] << '\n';
    return 1;
  }
  if (argc == 4 && !WriteGuide(argv[3])) {
    std::cerr << "vocara-demo: could not write " << argv[3] << '\n';
    return 1;
  }
  const std::vector<std::int16_t> samples = Sing();
  std::vector<std::uint8_t> data;
  data.reserve(samples.size() * 2);
  for (const std::int16_t s : samples) {
    data.push_back(static_cast<std::uint8_t>(s & 0xFF));
    data.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  vocara::WavHeader header;
  header.fields.bytesPerSecond = 96000;
  header.SetDataSize(static_cast<std::uint32_t>(data.size()));
  const auto image = header.Serialise();

  vocara::OutputFile output;
  if (output.Begin(argv[1]) != vocara::MessageId::None || !output.File().Write(image.data(), image.size()) ||
      !output.File().Write(data.data(), data.size()) || !output.Commit()) {
    std::cerr << "vocara-demo: could not write " << argv[1] << '\n';
    return 1;
  }
  return 0;
}
