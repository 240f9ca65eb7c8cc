// Snap to Scale: every sung note moved to the nearest note of a scale the way a careful editor
// does it by hand, by its pitch centre, keeping the vibrato and the glides as they were sung.
//
// For each note segment (NoteSegments) of the range: its pitch centre (SpanCentre of
// sourcePitch over CentreCycles of the note as held), the nearest note of the scale to that centre,
// and the offset between them. Each frame's target pitch becomes
//     sourcePitch + centre% x offset - drift% x (sourcePitch - centre, note low-passed)
// so the note's centre moves onto the scale by the chosen share and its slow drift around the
// centre shrinks by the chosen share, while the vibrato above the low-pass stays as sung; a
// vibrato share other than 100 % adds (vibrato% - 1) x (sourcePitch - its note low-pass). Where
// one note follows another in the same voiced run the offset ramps linearly over the retune
// time, centred on the first frame of the new note. Frames that are not voiced (silent, no
// pitch, or time correction off) are left alone, and so are amplitudes and links.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/sas/NoteSegments.h"
#include "engine/sas/SasDocument.h"
#include "engine/sas/SasRangeOps.h"

namespace vocara {

enum class ScaleKind : int { Chromatic, Major, NaturalMinor, HarmonicMinor, Custom };
inline constexpr int ScaleKindCount = 5;

// Names as the dialog lists them and the command line takes them ("chromatic", "major",
// "minor", "harmonic-minor", "custom").
std::string_view ScaleKindName(ScaleKind kind);
std::string_view ScaleKindLabel(ScaleKind kind);  // "Chromatic", "Major", ...

// Pitch class names from C: "C", "C#", "D", ... "B".
std::string_view KeyName(int key);
// "C", "c#", "Db", "bb", "E#" ...: a pitch spelling (ParsePitchSpelling); the pitch class
// 0 (C) .. 11 (B), nullopt for anything else.
std::optional<int> ParseKey(std::string_view text);

inline constexpr double DefaultReference = 440.0;
inline constexpr double MinReference = 415.0;
inline constexpr double MaxReference = 466.0;
inline constexpr double MaxRetuneMs = 1000.0;
inline constexpr double MaxVibrato = 200.0;

struct ScaleSnapParams {
  int key = 0;  // pitch class of the scale's first degree, 0 = C
  ScaleKind scale = ScaleKind::Major;
  // Custom scales: bit k set when the pitch class k semitones above the key belongs to the
  // scale (bit 0 is the key itself). An empty set snaps nothing.
  std::uint16_t custom = 0x0ab5;        // the major scale
  double reference = DefaultReference;  // A4 in Hz
  double centre = 100;                  // percent of the offset applied, 0 .. 100
  double drift = 0;                     // percent of the slow drift removed, 0 .. 100
  double retuneMs = 40;                 // ramp between notes, 0 .. MaxRetuneMs
  // Percent of the vibrato kept, 0 .. MaxVibrato: the swing of the pitch around its note
  // low-pass scaled around that curve (0 flat, 100 as sung, 200 twice as deep).
  double vibrato = 100;
  friend bool operator==(const ScaleSnapParams&, const ScaleSnapParams&) = default;
};

// Each value limited to its range (key to 0 .. 11, the custom set to 12 bits, NaN to the
// default).
ScaleSnapParams ClampScaleSnapParams(const ScaleSnapParams& params);

// The scale's pitch classes as a 12-bit set relative to the key.
std::uint16_t ScaleMask(const ScaleSnapParams& params);

// "0,2,4,5,7,9,11" for a set, and back: numbers 0 .. 11 separated by commas, repeats allowed;
// nullopt for anything else.
std::optional<std::uint16_t> ParsePitchClasses(std::string_view text);
std::string PitchClassesText(std::uint16_t set);

// The note of the scale nearest to `cents` (cents above A0 at A4 = 440 Hz: a note of the
// reference tuning lies at k x 100 + 1200 x log2(reference / 440)); the lower one of two at the
// same distance. `cents` itself when the set is empty.
double NearestScalePitch(double cents, const ScaleSnapParams& params);

// What one snap needs besides the parameters.
struct SnapContext {
  double frameRate = 0;     // frames per second
  double silenceLevel = 0;  // SilenceLevel of the threshold in force
};

// The working memory of a snap, grown to the longest run and reused from run to run.
struct SnapWork {
  std::vector<double> pitch, weight, smoothed, scratch, correction;
  std::vector<std::uint32_t> order;
  std::vector<NoteSegment> segments;
  void Reserve(std::size_t frames);
};

// Snaps one voiced run in memory (every frame of `run` is taken as voiced).
void SnapRun(std::span<SasFrame> run, const ScaleSnapParams& params, const SnapContext& context,
             SnapWork& work);

// Snaps frames first <= i < end of the open SAS through its file, streamed run by run
// (ForEachVoicedRun) with the silence threshold of the file's settings copy. False when a read
// or write failed, the document is open for reading only, or progress (called with the frame
// reached and `end`) said stop; the notes snapped by then stay snapped, and the sink has them.
bool SasSnapToScale(SasDocument& document, std::uint32_t first, std::uint32_t end,
                    const ScaleSnapParams& params, const FrameChangeSink& sink = {},
                    const ProgressCallback& progress = {});

}  // namespace vocara
