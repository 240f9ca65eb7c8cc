// The general settings record, the window layout and the settings file that holds both.
//
// The settings file is 176 bytes: the 112-byte GeneralSettings record, then the 64-byte
// WindowLayout. The settings record is also stored byte for byte in every SAS file, so its
// offsets are a file format and must not move.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Geometry.h"
#include "base/WindowTable.h"

namespace vocara {

// Built-in defaults are the member initialisers. Amplitude thresholds are in percent of full
// scale, note fields are note indices (0 = A0), rulerOrigin is a sample position.
struct GeneralSettings {
  std::int32_t instrument = 20;     // "Flute"
  std::int32_t lowestNote = 38;     // B3
  std::int32_t highestNote = 77;    // D7
  double chunkPeriods = 1.0;        // analysis chunk length in periods of the lowest note
  double baseNoteThreshold = 20.0;  // percent of the strongest note
  std::int32_t beatsPerBar = 4;
  std::int32_t beatUnit = 4;     // 4 = quarter note
  std::int32_t divisions = 4;    // ruler subdivisions per beat
  double tempo = 120.0;          // quarter notes per minute
  std::int32_t rulerOrigin = 0;  // sample position where bar originBar starts
  std::int32_t originBar = 0;
  double whiteNoise = 0.0;          // noise floor for noise removal
  double noiseGain = 1.0;           // factor on the captured noise power
  std::int32_t noiseLength = 1024;  // noise profile length in samples, a power of two
  double selectThreshold = 2.0;
  double silenceThreshold = 2.0;
  std::int32_t timeCorrection = -1;  // nonzero = enabled

  static constexpr std::size_t ByteSize = 112;

  // Little-endian, doubles as IEEE-754 bit patterns, the four padding words as zero. A
  // floating field that holds no finite number is written as its built-in value.
  std::array<std::uint8_t, ByteSize> Serialise() const;
  static GeneralSettings Parse(std::span<const std::uint8_t, ByteSize> bytes);

  friend bool operator==(const GeneralSettings&, const GeneralSettings&) = default;
};

// The range rules a settings record must meet, from the settings file or a SAS file. A NaN in a
// floating field fails. whiteNoise, noiseLength and timeCorrection are not checked and
// lowestNote may exceed highestNote. A negative instrument passes here; the settings file loader
// refuses it separately.
bool ValidateSettings(const GeneralSettings& settings);

// The note-range rules of the instrument and note lists, shared by the Settings dialog and
// the command line: an instrument brings its range (User Defined keeps the notes as they
// are); a lowest or highest note makes the instrument User Defined and pulls the other end
// along so that the lowest never lies above the highest. Arguments must be valid indices.
void ChooseInstrument(GeneralSettings& settings, int instrument);
void ChooseLowestNote(GeneralSettings& settings, int note);
void ChooseHighestNote(GeneralSettings& settings, int note);

// The ranges the Settings dialog clamps the Remove Noise fields to, shared with the command
// line: white noise in percent of full scale, 0 .. MaxWhiteNoise; noise sample gain,
// 0 .. MaxNoiseGain.
inline constexpr double MaxWhiteNoise = 100.0;
inline constexpr double MaxNoiseGain = 5.0;
// The longest analysis chunk, in periods of the lowest note.
inline constexpr double MaxChunkPeriods = 5.0;

// A number field of the settings record: its range, which ValidateSettings accepts and the
// Settings dialog and the command line clamp a typed value to, and the decimals the dialog
// shows. One table, so that a file, the dialog and an option can never disagree on a field.
struct SettingsField {
  double lowest;
  double highest;
  int decimals;
  bool Holds(double value) const { return value >= lowest && value <= highest; }  // NaN: no
};
namespace settings_field {
inline constexpr SettingsField ChunkPeriods{1.0, MaxChunkPeriods, 2};
inline constexpr SettingsField BaseNoteThreshold{5.0, 100.0, 2};
inline constexpr SettingsField BeatsPerBar{1, 99, 0};
inline constexpr SettingsField BeatUnit{1, 99, 0};
inline constexpr SettingsField Divisions{1, 99, 0};
inline constexpr SettingsField Tempo{1.0, 999.0, 2};
// Any position a file can hold; the dialog's field takes ten digits.
inline constexpr SettingsField RulerOrigin{0, 9999999999.0, 0};
inline constexpr SettingsField OriginBar{0, 999, 0};
// Not checked when a record is read (WhiteNoiseInEffect clamps where it takes effect).
inline constexpr SettingsField WhiteNoise{0.0, MaxWhiteNoise, 2};
inline constexpr SettingsField NoiseGain{0.0, MaxNoiseGain, 2};
inline constexpr SettingsField SelectThreshold{0.0, 100.0, 2};
inline constexpr SettingsField SilenceThreshold{0.0, 100.0, 2};
}  // namespace settings_field

// A floating field of a record read from a file that held a value the Settings dialog would
// not keep, and the value that replaced it.
struct SettingsCorrection {
  std::string_view field;  // "whiteNoise"
  double given;
  double used;
};

// Brings every floating field of a record read from a file into its range in the table above,
// as the dialog limits a typed value (below the lowest gives the lowest, above the highest the
// highest); a value that is no finite number, which no field can be typed as, gives the
// field's built-in value. Returns the fields changed, in record order. Of a record
// ValidateSettings accepts only whiteNoise can change.
std::vector<SettingsCorrection> FitToDialogRanges(GeneralSettings& settings);

// The white-noise floor Remove Noise works with, from the stored whiteNoise. That field is the
// one floating field ValidateSettings leaves alone, so the settings file, --settings and the
// copy in a SAS hand it over as stored (and keep it so). Where it takes effect it is clamped as
// the dialog and --white-noise clamp a typed value: below 0 gives 0, above MaxWhiteNoise gives
// MaxWhiteNoise. A value that is not a finite number (NaN or an infinity, which no field can
// be typed as) says nothing about the floor that was meant and gives the built-in 0: no floor.
double WhiteNoiseInEffect(double stored);

// The screen rectangles of the four windows, indexed by ViewId.
struct WindowLayout {
  std::array<platform::Rect, ViewCount> rects;

  static constexpr std::size_t ByteSize = 64;

  // The default rectangles of the window table.
  static WindowLayout Defaults();

  // The rectangles for a first start (no settings file, or one refused) on a screen whose work
  // area is workArea: the four windows tile it without overlapping, the WAV window across the top
  // (a quarter of the height), the SAS window below it with the rest, the FFT and MFT windows
  // stacked beside the SAS window. Every window keeps its track limits, so on a very large screen
  // the arrangement stops at its largest size at the top left; a window is as wide as its
  // toolbar (toolbarWidths[view]) where the screen allows.
  static WindowLayout FirstStart(const platform::Rect& workArea,
                                 const std::array<int, ViewCount>& toolbarWidths);

  // Each rectangle as four little-endian int32: left, top, right, bottom.
  std::array<std::uint8_t, ByteSize> Serialise() const;
  static WindowLayout Parse(std::span<const std::uint8_t, ByteSize> bytes);

  friend bool operator==(const WindowLayout&, const WindowLayout&) = default;
};

inline constexpr std::size_t SettingsFileSize = GeneralSettings::ByteSize + WindowLayout::ByteSize;

// Whether a stored rectangle for window `view` may be used on a screen whose work area is
// workArea: its top left corner inside the work area with at least 20 pixels to spare, its size
// within the window's track limits and no larger than the work area.
bool LayoutRectAcceptable(int view, const platform::Rect& rect, const platform::Rect& workArea);

struct SettingsLoadResult {
  GeneralSettings settings;
  WindowLayout layout;
  bool accepted = false;  // false: built-in values, and the file was rewritten with them
};

// Reads the settings file at start. The file is taken only as a whole: a missing or short file,
// a negative instrument, a record ValidateSettings refuses, or any rectangle that fails the
// layout check gives the built-in settings and defaultLayout, and the file is rewritten with
// them (176 bytes). A file that is taken is used as it is, but for a whiteNoise that is no finite
// number, which becomes the built-in 0. Failures to rewrite are silent.
SettingsLoadResult LoadSettingsFile(const std::string& path, const platform::Rect& workArea,
                                    const WindowLayout& defaultLayout = WindowLayout::Defaults());

// Writes the record at offset 0, creating the file when missing and keeping the rest of an
// existing one. Failures are silent.
void SaveSettingsRecord(const std::string& path, const GeneralSettings& settings);

// Writes the layout at offset 112 of an existing file; a missing file stays missing.
void SaveWindowLayout(const std::string& path, const WindowLayout& layout);

struct ProgramFiles {
  std::string settingsFile;
  std::string helpFile;
};

// The settings file is the program file's path with ".INI" appended and the help file
// FindUserGuide's. When the program's directory cannot be written (an installed program), the
// settings file moves to <userConfigDirectory>/vocara/<program name>.INI, creating the
// directories. Paths are not limited in length: a path
// past 259 characters is kept as it is rather than cut, since a cut path would name another file.
ProgramFiles ChooseProgramFiles(const std::string& programPath, const std::string& userConfigDirectory,
                                const std::string& installedGuide);

// The user guide, the first of these that is a file: the program's path with ".pdf" appended
// (beside the program, as in a build folder), ../share/doc/vocara/vocara.pdf from the program's
// folder (an installed program, whatever the prefix it was moved to), and `installedGuide` (where
// this build's installation puts it). None: the one beside the program, which Help then names.
std::string FindUserGuide(const std::string& programPath, const std::string& installedGuide);

}  // namespace vocara
