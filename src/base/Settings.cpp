// Settings record, window layout and the settings file.
//
// Loading is all or nothing: a file whose settings are fine but whose stored window positions
// would put a window off the current screen is refused as a whole and rewritten with the
// built-in values, so that a broken file never survives a start.

#include "base/Settings.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/FileHandle.h"
#include "base/Instruments.h"
#include "base/UserFolders.h"

namespace vocara {

namespace {

static_assert(GeneralSettings::ByteSize == 112);
static_assert(WindowLayout::ByteSize == 4 * 4 * 4);
static_assert(SettingsFileSize == 176);

class ByteWriter {
 public:
  explicit ByteWriter(std::span<std::uint8_t> bytes) : bytes_(bytes) {}
  void Int32(std::size_t offset, std::int32_t value) {
    Unsigned(offset, static_cast<std::uint32_t>(value), 4);
  }
  void Double(std::size_t offset, double value) { Unsigned(offset, std::bit_cast<std::uint64_t>(value), 8); }

 private:
  void Unsigned(std::size_t offset, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes_[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  std::span<std::uint8_t> bytes_;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::int32_t Int32(std::size_t offset) const { return static_cast<std::int32_t>(Unsigned(offset, 4)); }
  double Double(std::size_t offset) const { return std::bit_cast<double>(Unsigned(offset, 8)); }

 private:
  std::uint64_t Unsigned(std::size_t offset, std::size_t size) const {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= std::uint64_t{bytes_[offset + i]} << (8 * i);
    return value;
  }
  std::span<const std::uint8_t> bytes_;
};

// Field offsets of the settings record; 12, 44, 84 and 108 are padding words.
namespace offset {
constexpr std::size_t instrument = 0;
constexpr std::size_t lowestNote = 4;
constexpr std::size_t highestNote = 8;
constexpr std::size_t chunkPeriods = 16;
constexpr std::size_t baseNoteThreshold = 24;
constexpr std::size_t beatsPerBar = 32;
constexpr std::size_t beatUnit = 36;
constexpr std::size_t divisions = 40;
constexpr std::size_t tempo = 48;
constexpr std::size_t rulerOrigin = 56;
constexpr std::size_t originBar = 60;
constexpr std::size_t whiteNoise = 64;
constexpr std::size_t noiseGain = 72;
constexpr std::size_t noiseLength = 80;
constexpr std::size_t selectThreshold = 88;
constexpr std::size_t silenceThreshold = 96;
constexpr std::size_t timeCorrection = 104;
}  // namespace offset

constexpr int LowestNoteIndex = 0;
constexpr int HighestNoteIndex = 87;
constexpr int InstrumentLimit = 69;  // entries in the instrument table

// Comparisons with NaN are false, so a NaN field fails every range test.
bool InRange(std::int32_t value, std::int32_t low, std::int32_t high) {
  return value >= low && value <= high;
}

// A window must keep at least this much of its top left corner inside the work area.
constexpr long long CornerMargin = 20;

struct File {
  std::FILE* handle = nullptr;
  File(const std::string& path, const char* mode) : handle(std::fopen(path.c_str(), mode)) {}
  ~File() {
    if (handle != nullptr) std::fclose(handle);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  explicit operator bool() const { return handle != nullptr; }
};

void WriteBytes(std::FILE* file, std::span<const std::uint8_t> bytes) {
  // A short write is not reported: the settings file is a convenience, never a reason to fail.
  static_cast<void>(std::fwrite(bytes.data(), 1, bytes.size(), file));
}

// Reads and checks the whole file, one rule after the other; false at the first that fails.
bool ReadSettingsFile(const std::string& path, const platform::Rect& workArea, SettingsLoadResult& result) {
  // FileHandle refuses a pipe or a device at once instead of waiting on it at start-up.
  FileHandle file = FileHandle::OpenForReading(path);
  if (!file.IsOpen()) return false;

  std::array<std::uint8_t, GeneralSettings::ByteSize> record{};
  if (file.Read(record.data(), record.size()) != record.size()) return false;
  GeneralSettings settings = GeneralSettings::Parse(record);
  if (settings.instrument < 0) return false;
  if (!ValidateSettings(settings)) return false;
  // The one field left unchecked is taken as stored, but a value that is no number at all is
  // no floor anyone set: it works as the built-in one (WhiteNoiseInEffect) and is kept as that.
  if (!std::isfinite(settings.whiteNoise)) settings.whiteNoise = GeneralSettings{}.whiteNoise;

  std::array<std::uint8_t, WindowLayout::ByteSize> layoutBytes{};
  if (file.Read(layoutBytes.data(), layoutBytes.size()) != layoutBytes.size()) return false;
  const WindowLayout layout = WindowLayout::Parse(layoutBytes);
  for (int view = 0; view < ViewCount; ++view) {
    if (!LayoutRectAcceptable(view, layout.rects[static_cast<std::size_t>(view)], workArea)) return false;
  }

  result.settings = settings;
  result.layout = layout;
  return true;
}

void WriteBuiltInSettingsFile(const std::string& path, const WindowLayout& layout) {
  // Only a missing or regular file is rewritten: opening a named pipe for writing would wait
  // for a reader, and a device is no place for settings.
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) return;
  const File file(path, "wb");
  if (!file) return;
  WriteBytes(file.handle, GeneralSettings{}.Serialise());
  WriteBytes(file.handle, layout.Serialise());
}

// The floating fields of the record and the range the Settings dialog gives each.
struct FloatingField {
  std::string_view name;
  double GeneralSettings::*member;
  SettingsField range;
};
constexpr FloatingField FloatingFields[] = {
    {"chunkPeriods", &GeneralSettings::chunkPeriods, settings_field::ChunkPeriods},
    {"baseNoteThreshold", &GeneralSettings::baseNoteThreshold, settings_field::BaseNoteThreshold},
    {"tempo", &GeneralSettings::tempo, settings_field::Tempo},
    {"whiteNoise", &GeneralSettings::whiteNoise, settings_field::WhiteNoise},
    {"noiseGain", &GeneralSettings::noiseGain, settings_field::NoiseGain},
    {"selectThreshold", &GeneralSettings::selectThreshold, settings_field::SelectThreshold},
    {"silenceThreshold", &GeneralSettings::silenceThreshold, settings_field::SilenceThreshold},
};

}  // namespace

std::vector<SettingsCorrection> FitToDialogRanges(GeneralSettings& settings) {
  std::vector<SettingsCorrection> corrections;
  for (const FloatingField& field : FloatingFields) {
    double& value = settings.*(field.member);
    const double given = value;
    // No number at all says nothing of what was meant: the built-in value, as where it is used.
    value = std::isfinite(given) ? std::clamp(given, field.range.lowest, field.range.highest)
                                 : GeneralSettings{}.*(field.member);
    if (!(value == given)) corrections.push_back({field.name, given, value});
  }
  return corrections;
}

std::array<std::uint8_t, GeneralSettings::ByteSize> GeneralSettings::Serialise() const {
  std::array<std::uint8_t, ByteSize> bytes{};  // padding stays zero
  // A field that holds no finite number (a record taken from a damaged file) is stored as its
  // built-in value, which is how it works wherever it is used: a file never gets a NaN.
  GeneralSettings stored = *this;
  for (const FloatingField& field : FloatingFields) {
    if (!std::isfinite(stored.*(field.member))) stored.*(field.member) = GeneralSettings{}.*(field.member);
  }
  ByteWriter out(bytes);
  out.Int32(offset::instrument, stored.instrument);
  out.Int32(offset::lowestNote, stored.lowestNote);
  out.Int32(offset::highestNote, stored.highestNote);
  out.Double(offset::chunkPeriods, stored.chunkPeriods);
  out.Double(offset::baseNoteThreshold, stored.baseNoteThreshold);
  out.Int32(offset::beatsPerBar, stored.beatsPerBar);
  out.Int32(offset::beatUnit, stored.beatUnit);
  out.Int32(offset::divisions, stored.divisions);
  out.Double(offset::tempo, stored.tempo);
  out.Int32(offset::rulerOrigin, stored.rulerOrigin);
  out.Int32(offset::originBar, stored.originBar);
  out.Double(offset::whiteNoise, stored.whiteNoise);
  out.Double(offset::noiseGain, stored.noiseGain);
  out.Int32(offset::noiseLength, stored.noiseLength);
  out.Double(offset::selectThreshold, stored.selectThreshold);
  out.Double(offset::silenceThreshold, stored.silenceThreshold);
  out.Int32(offset::timeCorrection, stored.timeCorrection);
  return bytes;
}

GeneralSettings GeneralSettings::Parse(std::span<const std::uint8_t, ByteSize> bytes) {
  const ByteReader in(bytes);
  GeneralSettings s;
  s.instrument = in.Int32(offset::instrument);
  s.lowestNote = in.Int32(offset::lowestNote);
  s.highestNote = in.Int32(offset::highestNote);
  s.chunkPeriods = in.Double(offset::chunkPeriods);
  s.baseNoteThreshold = in.Double(offset::baseNoteThreshold);
  s.beatsPerBar = in.Int32(offset::beatsPerBar);
  s.beatUnit = in.Int32(offset::beatUnit);
  s.divisions = in.Int32(offset::divisions);
  s.tempo = in.Double(offset::tempo);
  s.rulerOrigin = in.Int32(offset::rulerOrigin);
  s.originBar = in.Int32(offset::originBar);
  s.whiteNoise = in.Double(offset::whiteNoise);
  s.noiseGain = in.Double(offset::noiseGain);
  s.noiseLength = in.Int32(offset::noiseLength);
  s.selectThreshold = in.Double(offset::selectThreshold);
  s.silenceThreshold = in.Double(offset::silenceThreshold);
  s.timeCorrection = in.Int32(offset::timeCorrection);
  return s;
}

bool ValidateSettings(const GeneralSettings& s) {
  namespace f = settings_field;
  return s.instrument < InstrumentLimit && InRange(s.lowestNote, LowestNoteIndex, HighestNoteIndex) &&
         InRange(s.highestNote, LowestNoteIndex, HighestNoteIndex) && f::ChunkPeriods.Holds(s.chunkPeriods) &&
         f::BaseNoteThreshold.Holds(s.baseNoteThreshold) && f::BeatsPerBar.Holds(s.beatsPerBar) &&
         f::BeatUnit.Holds(s.beatUnit) && f::Divisions.Holds(s.divisions) && f::Tempo.Holds(s.tempo) &&
         f::RulerOrigin.Holds(s.rulerOrigin) && f::OriginBar.Holds(s.originBar) &&
         f::NoiseGain.Holds(s.noiseGain) && f::SelectThreshold.Holds(s.selectThreshold) &&
         f::SilenceThreshold.Holds(s.silenceThreshold);
}

double WhiteNoiseInEffect(double stored) {
  if (!std::isfinite(stored)) return GeneralSettings{}.whiteNoise;
  return std::clamp(stored, 0.0, MaxWhiteNoise);
}

WindowLayout WindowLayout::Defaults() {
  WindowLayout layout;
  for (std::size_t view = 0; view < layout.rects.size(); ++view)
    layout.rects[view] = WindowTable[view].defaultRect;
  return layout;
}

WindowLayout WindowLayout::FirstStart(const platform::Rect& workArea,
                                      const std::array<int, ViewCount>& toolbarWidths) {
  const int areaWidth = std::max(workArea.Width(), 1);
  const int areaHeight = std::max(workArea.Height(), 1);
  const auto minTrack = [](ViewId view) { return WindowTable[static_cast<std::size_t>(view)].minTrack; };
  const auto needs = [&](ViewId view) {
    return std::min(std::max(minTrack(view).width, toolbarWidths[static_cast<std::size_t>(view)]),
                    MaxTrackSize.width);
  };

  // Two columns: the WAV and SAS windows on the left, the FFT and MFT windows stacked on the
  // right. The left column takes two thirds of the width, as far as the track limit lets it, and
  // gives way where the right column's toolbars need more, down to three fifths: the SAS window
  // is where the work is done.
  const int rightNeeds = std::max(needs(FftView), needs(MftView));
  int left = std::clamp((areaWidth * 2 + 1) / 3, needs(SasView), MaxTrackSize.width);
  if (areaWidth - left < rightNeeds)
    left = std::max({areaWidth - rightNeeds, (areaWidth * 3 + 4) / 5, needs(SasView)});
  // A toolbar too wide for the screen folds its last buttons away; only the smallest windows may
  // push the right column over the left one.
  const int rightSmallest = std::max(minTrack(FftView).width, minTrack(MftView).width);
  const int right = std::clamp(areaWidth - left, rightSmallest, MaxTrackSize.width);

  // Where one window may span the screen, the WAV window runs across the top above both
  // columns; on a wider screen it heads the left column and the right column runs from the top.
  const bool wavAcross = areaWidth <= MaxTrackSize.width;
  const int wavWidth = wavAcross ? areaWidth : left;
  // The WAV window a quarter of the height, the SAS window the rest; where the SAS window meets
  // its largest height, the WAV window takes what remains, as far as its own limit.
  int wavHeight = std::max((areaHeight + 2) / 4, minTrack(WavView).height);
  const int sasHeight = std::clamp(areaHeight - wavHeight, minTrack(SasView).height, MaxTrackSize.height);
  wavHeight = std::clamp(areaHeight - sasHeight, minTrack(WavView).height, MaxTrackSize.height);

  const int columnTop = wavAcross ? wavHeight : 0;
  const int columnHeight = std::max(areaHeight - columnTop, 1);
  const int fftHeight =
      std::clamp(columnHeight - columnHeight / 2, minTrack(FftView).height, MaxTrackSize.height);
  const int mftHeight = std::clamp(columnHeight - fftHeight, minTrack(MftView).height, MaxTrackSize.height);

  WindowLayout layout;
  const auto place = [&](ViewId view, int x, int y, int width, int height) {
    layout.rects[static_cast<std::size_t>(view)] = {workArea.left + x, workArea.top + y,
                                                    workArea.left + x + width, workArea.top + y + height};
  };
  place(WavView, 0, 0, wavWidth, wavHeight);
  place(SasView, 0, wavHeight, left, sasHeight);
  place(FftView, left, columnTop, right, fftHeight);
  place(MftView, left, columnTop + fftHeight, right, mftHeight);
  // On a screen too small for the smallest windows, each is moved back onto it, overlapping.
  for (platform::Rect& rect : layout.rects) {
    const int x = std::max(rect.left - std::max(rect.right - workArea.right, 0), workArea.left);
    const int y = std::max(rect.top - std::max(rect.bottom - workArea.bottom, 0), workArea.top);
    rect = {x, y, x + rect.Width(), y + rect.Height()};
  }
  return layout;
}

std::array<std::uint8_t, WindowLayout::ByteSize> WindowLayout::Serialise() const {
  std::array<std::uint8_t, ByteSize> bytes{};
  ByteWriter out(bytes);
  for (std::size_t view = 0; view < rects.size(); ++view) {
    const std::size_t base = view * 16;
    out.Int32(base, rects[view].left);
    out.Int32(base + 4, rects[view].top);
    out.Int32(base + 8, rects[view].right);
    out.Int32(base + 12, rects[view].bottom);
  }
  return bytes;
}

WindowLayout WindowLayout::Parse(std::span<const std::uint8_t, ByteSize> bytes) {
  const ByteReader in(bytes);
  WindowLayout layout;
  for (std::size_t view = 0; view < layout.rects.size(); ++view) {
    const std::size_t base = view * 16;
    layout.rects[view] = {in.Int32(base), in.Int32(base + 4), in.Int32(base + 8), in.Int32(base + 12)};
  }
  return layout;
}

bool LayoutRectAcceptable(int view, const platform::Rect& rect, const platform::Rect& workArea) {
  if (view < 0 || view >= ViewCount) return false;
  const WindowTableEntry& entry = WindowTable[static_cast<std::size_t>(view)];
  // 64-bit arithmetic: the rectangle comes from a file and may hold any int32 values.
  const long long width = static_cast<long long>(rect.right) - rect.left;
  const long long height = static_cast<long long>(rect.bottom) - rect.top;
  const long long areaWidth = static_cast<long long>(workArea.right) - workArea.left;
  const long long areaHeight = static_cast<long long>(workArea.bottom) - workArea.top;
  return rect.left >= workArea.left && rect.left <= workArea.right - CornerMargin &&
         rect.top >= workArea.top && rect.top <= workArea.bottom - CornerMargin &&
         width >= entry.minTrack.width && height >= entry.minTrack.height && width <= MaxTrackSize.width &&
         height <= MaxTrackSize.height && width <= areaWidth && height <= areaHeight;
}

SettingsLoadResult LoadSettingsFile(const std::string& path, const platform::Rect& workArea,
                                    const WindowLayout& defaultLayout) {
  SettingsLoadResult result{GeneralSettings{}, defaultLayout, false};
  result.accepted = ReadSettingsFile(path, workArea, result);
  if (!result.accepted) WriteBuiltInSettingsFile(path, defaultLayout);
  return result;
}

void SaveSettingsRecord(const std::string& path, const GeneralSettings& settings) {
  File file(path, "r+b");  // keeps the layout that follows the record
  if (!file && errno == ENOENT) file.handle = std::fopen(path.c_str(), "wb");
  if (!file) return;
  WriteBytes(file.handle, settings.Serialise());
}

void SaveWindowLayout(const std::string& path, const WindowLayout& layout) {
  const File file(path, "r+b");
  if (!file) return;
  if (std::fseek(file.handle, static_cast<long>(GeneralSettings::ByteSize), SEEK_SET) != 0) return;
  WriteBytes(file.handle, layout.Serialise());
}

std::string FindUserGuide(const std::string& programPath, const std::string& installedGuide) {
  const auto isFile = [](const std::filesystem::path& path) {
    std::error_code ignored;
    return !path.empty() && std::filesystem::is_regular_file(path, ignored);
  };
  const std::string beside = programPath + ".pdf";
  if (isFile(beside)) return beside;
  std::filesystem::path folder = std::filesystem::path(programPath).parent_path();
  if (folder.empty()) folder = ".";
  const std::filesystem::path shared = folder / ".." / "share" / "doc" / "vocara" / "vocara.pdf";
  if (isFile(shared)) {
    // Followed as the system follows it ("bin/.." is where bin leads), so Help names a plain path.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(shared, error);
    return (error ? shared : resolved).string();
  }
  if (isFile(installedGuide)) return installedGuide;
  return beside;
}

ProgramFiles ChooseProgramFiles(const std::string& programPath, const std::string& userConfigDirectory,
                                const std::string& installedGuide) {
  ProgramFiles files{programPath + ".INI", FindUserGuide(programPath, installedGuide)};

  const std::filesystem::path program(programPath);
  std::filesystem::path directory = program.parent_path();
  if (directory.empty()) directory = ".";
  if (userConfigDirectory.empty() || DirectoryWritable(directory)) return files;

  // When the folder cannot be created either, the path beside the program is kept: a settings
  // file shipped there can still be read, and a failed rewrite is silent anyway.
  const std::filesystem::path configDirectory = std::filesystem::path(userConfigDirectory) / "vocara";
  std::error_code error;
  std::filesystem::create_directories(configDirectory, error);
  if (error) return files;
  files.settingsFile = (configDirectory / (program.filename().string() + ".INI")).string();
  return files;
}

void ChooseInstrument(GeneralSettings& settings, int instrument) {
  settings.instrument = instrument;
  if (instrument == UserDefinedInstrument) return;
  const Instrument& entry = InstrumentTable[static_cast<std::size_t>(instrument)];
  settings.lowestNote = entry.lowestNote;
  settings.highestNote = entry.highestNote;
}

void ChooseLowestNote(GeneralSettings& settings, int note) {
  settings.instrument = UserDefinedInstrument;
  settings.lowestNote = note;
  settings.highestNote = std::max(settings.highestNote, note);
}

void ChooseHighestNote(GeneralSettings& settings, int note) {
  settings.instrument = UserDefinedInstrument;
  settings.highestNote = note;
  settings.lowestNote = std::min(settings.lowestNote, note);
}

}  // namespace vocara
