#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <filesystem>
#include <future>
#include <limits>
#include <tuple>

#include "base/Settings.h"
#include "support/SettingsFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

namespace fs = std::filesystem;

template <std::size_t N>
std::uint64_t LittleEndianAt(const std::array<std::uint8_t, N>& b, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | b[at + static_cast<std::size_t>(i)];
  return value;
}

// Every field away from its default; noiseLength and whiteNoise outside the dialog's ranges.
GeneralSettings Distinctive() {
  return {63, 34, 82, 2.5, 33.25, 3, 8, 6, 97.5, 44100, 12, 500.0, 4.75, 3000, 7.5, 0.125, 0};
}

TEST(SettingsRecordTest, FieldsSitAtTheirFileOffsetsAndRoundTrip) {
  const auto b = Distinctive().Serialise();
  const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
  const std::tuple<std::size_t, int, std::uint64_t> fields[] = {
      {8, 4, 82},     {16, 8, bits(2.5)}, {36, 4, 8},           {48, 8, bits(97.5)},
      {56, 4, 44100}, {80, 4, 3000},      {96, 8, bits(0.125)}, {12, 4, 0},
      {44, 4, 0},     {84, 4, 0},         {108, 4, 0}};  // padding last
  for (const auto& [at, size, value] : fields) EXPECT_EQ(LittleEndianAt(b, at, size), value) << at;
  EXPECT_EQ(LittleEndianAt(GeneralSettings{}.Serialise(), 104, 4), 0xffffffffu);  // timeCorrection -1
  EXPECT_EQ(GeneralSettings::Parse(b), Distinctive());

  WindowLayout layout;
  layout.rects = {{{1, 2, 3, 4}, {-5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, -16}}};
  EXPECT_EQ(LittleEndianAt(layout.Serialise(), 16, 8), 0x00000006fffffffbu);  // SAS left -5, top 6
  EXPECT_EQ(WindowLayout::Parse(layout.Serialise()), layout);
}

bool ValidWith(void (*change)(GeneralSettings&)) {
  GeneralSettings settings;
  change(settings);
  return ValidateSettings(settings);
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

TEST(ValidateSettingsTest, RangeEdges) {
  EXPECT_TRUE(ValidateSettings(GeneralSettings{}));
  EXPECT_FALSE(ValidWith([](GeneralSettings& s) { s.instrument = 69; }));
  EXPECT_TRUE(ValidWith([](GeneralSettings& s) { s.instrument = -1; }));  // refused by the loader only
  EXPECT_FALSE(ValidWith([](GeneralSettings& s) { s.lowestNote = 88; }));
  EXPECT_TRUE(ValidWith([](GeneralSettings& s) { s.lowestNote = 80, s.highestNote = 10; }));
  EXPECT_FALSE(ValidWith([](GeneralSettings& s) { s.chunkPeriods = 5.01; }));
  EXPECT_FALSE(ValidWith([](GeneralSettings& s) { s.tempo = NaN; }));
  EXPECT_TRUE(ValidWith([](GeneralSettings& s) { s.tempo = 999.0; }));
  EXPECT_FALSE(ValidWith([](GeneralSettings& s) { s.rulerOrigin = -1; }));
  EXPECT_FALSE(ValidWith([](GeneralSettings& s) { s.noiseGain = -0.01; }));
  EXPECT_FALSE(ValidWith([](GeneralSettings& s) { s.silenceThreshold = NaN; }));
  EXPECT_TRUE(ValidWith([](GeneralSettings& s) { s.noiseLength = 3000, s.whiteNoise = 500.0; }));
  EXPECT_TRUE(ValidWith([](GeneralSettings& s) { s.whiteNoise = NaN, s.timeCorrection = 12345; }));
}

TEST(LayoutCheckTest, CornerInsideWithMarginAndSizeWithinLimits) {
  const platform::Rect area{100, 50, 1920, 1100};
  EXPECT_TRUE(LayoutRectAcceptable(WavView, {100, 50, 740, 250}, area));
  EXPECT_TRUE(LayoutRectAcceptable(MftView, {1900, 1080, 2186, 1250}, area));  // 20 pixels from the edges
  EXPECT_FALSE(LayoutRectAcceptable(MftView, {1901, 1080, 2187, 1250}, area));
  EXPECT_TRUE(LayoutRectAcceptable(WavView, {100, 50, 1380, 1074}, area));  // the maximum track size
  EXPECT_FALSE(LayoutRectAcceptable(SasView, {100, 50, 740, 299}, area));   // below the minimum height
  EXPECT_FALSE(
      LayoutRectAcceptable(WavView, {100, 50, 740, 250}, {100, 50, 700, 800}));  // wider than the area
  EXPECT_FALSE(LayoutRectAcceptable(WavView, {100, 50, std::numeric_limits<int>::max(), 250}, area));
}

class SettingsFileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  const std::string file_ = dir_.File("vocara.INI");

  SettingsLoadResult Load() { return LoadSettingsFile(file_, {0, 0, 1920, 1040}); }
  void ExpectRejectedAndRewritten() {
    const SettingsLoadResult result = Load();
    EXPECT_EQ(std::tuple(result.accepted, result.settings, result.layout, ReadFile(file_)),
              std::tuple(false, GeneralSettings{}, WindowLayout::Defaults(),
                         SettingsFileBytes(GeneralSettings{}, WindowLayout::Defaults())));
  }
  void WriteAndExpectRejected(const GeneralSettings& settings, const WindowLayout& layout,
                              std::size_t cut = 0) {
    std::string bytes = SettingsFileBytes(settings, layout);
    bytes.resize(bytes.size() - cut);
    WriteFile(file_, bytes);
    ExpectRejectedAndRewritten();
  }
};

// A missing file, one cut short, a bad record, or one bad rectangle beside valid settings.
TEST_F(SettingsFileTest, AMissingShortOrBadFileIsReplacedWithBuiltInValues) {
  ExpectRejectedAndRewritten();
  WriteAndExpectRejected(Distinctive(), WindowLayout::Defaults(), 1);
  for (const auto change :
       {+[](GeneralSettings& s) { s.instrument = -1; }, +[](GeneralSettings& s) { s.lowestNote = 88; }}) {
    GeneralSettings settings = Distinctive();
    change(settings);
    WriteAndExpectRejected(settings, WindowLayout::Defaults());
  }
  for (const auto& [view, rect] : {std::pair{WavView, platform::Rect{-10, 0, 630, 200}},
                                   std::pair{FftView, platform::Rect{0, 0, 1281, 200}}}) {
    WindowLayout layout = WindowLayout::Defaults();
    layout.rects[view] = rect;
    WriteAndExpectRejected(Distinctive(), layout);
  }
}

// A record from a file is limited as the dialog limits a typed value; a field that is no number
// gets its built-in value, and is never written nor taken from the settings file at start.
TEST_F(SettingsFileTest, FieldsOutsideTheDialogAreLimitedAndNoNumberIsNeverKept) {
  GeneralSettings s = Distinctive();  // whiteNoise 500
  s.tempo = NaN;
  EXPECT_EQ(FitToDialogRanges(s).size(), 2u);
  EXPECT_EQ(std::tuple(s.tempo, s.whiteNoise), std::tuple(120.0, 100.0));
  s.whiteNoise = NaN;
  EXPECT_EQ(GeneralSettings::Parse(s.Serialise()).whiteNoise, 0.0);
  std::string bytes = SettingsFileBytes(Distinctive(), WindowLayout::Defaults());
  WriteFile(file_, bytes.replace(64, 8, reinterpret_cast<const char*>(&NaN), 8));
  EXPECT_EQ(Load().settings.whiteNoise, 0.0);
}

// A pipe where the settings file should be must not hold up the start: it is neither read
// (which would wait for a writer) nor rewritten (which would wait for a reader).
TEST_F(SettingsFileTest, APipeInItsPlaceGivesBuiltInValuesWithoutWaiting) {
  ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
  std::future<SettingsLoadResult> load = std::async(std::launch::async, [&] { return Load(); });
  const bool returned = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  while (load.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    for (const int access : {O_WRONLY, O_RDONLY}) {  // release a waiting reader or writer
      const int end = ::open(file_.c_str(), access | O_NONBLOCK);
      if (end >= 0) ::close(end);
    }
  }
  ASSERT_TRUE(returned) << "the load waited on the pipe";
  const SettingsLoadResult result = load.get();
  EXPECT_EQ(std::tuple(result.accepted, result.settings, fs::is_fifo(file_)),
            std::tuple(false, GeneralSettings{}, true));
}

TEST_F(SettingsFileTest, SavesWriteTheirOwnPartOnly) {
  SaveWindowLayout(file_, WindowLayout::Defaults());
  EXPECT_FALSE(fs::exists(file_)) << "the layout alone never creates the file";
  SaveSettingsRecord(file_, GeneralSettings{});
  EXPECT_EQ(ReadFile(file_).size(), GeneralSettings::ByteSize);
  WindowLayout layout = WindowLayout::Defaults();
  layout.rects[SasView] = {10, 220, 650, 470};
  SaveWindowLayout(file_, layout);
  SaveSettingsRecord(file_, Distinctive());
  EXPECT_EQ(ReadFile(file_), SettingsFileBytes(Distinctive(), layout));
}

TEST(ProgramFilesTest, SettingsBesideAWritableProgramElseInTheUserConfig) {
  const TempDir temp;
  const fs::path root = temp.Path();
  fs::create_directories(root / "bin");
  const std::string program = (root / "bin" / "vocara").string();
  ProgramFiles files = ChooseProgramFiles(program, (root / "config").string(), "");
  EXPECT_EQ(std::tuple(files.settingsFile, files.helpFile), std::tuple(program + ".INI", program + ".pdf"));
  EXPECT_TRUE(fs::is_empty(root / "bin")) << "the write probe must be removed";

  // A folder that cannot take files; running as root ignores read-only permissions.
  const std::string elsewhere = (root / "missing" / "vocara").string();
  files = ChooseProgramFiles(elsewhere, (root / "config").string(), "");
  EXPECT_EQ(std::tuple(files.settingsFile, files.helpFile, fs::is_directory(root / "config" / "vocara")),
            std::tuple((root / "config" / "vocara" / "vocara.INI").string(), elsewhere + ".pdf", true));
}

// Help Topics looks beside the program (a build folder), then in ../share/doc/vocara from the
// program's folder (an installed copy, whatever its prefix), then where the build installs it.
TEST(ProgramFilesTest, TheGuideIsFoundBesideTheProgramThenUnderShareThenAtTheInstalledPath) {
  const TempDir temp;
  const fs::path root = temp.Path();
  fs::create_directories(root / "bin");
  fs::create_directories(root / "share" / "doc" / "vocara" / "vocara.pdf");  // a folder: no guide
  const std::string program = (root / "bin" / "vocara").string();
  const std::string installed = WriteFile((root / "installed.pdf").string(), "%PDF-");
  EXPECT_EQ(FindUserGuide(program, (root / "missing.pdf").string()), program + ".pdf");
  EXPECT_EQ(FindUserGuide(program, installed), installed);

  fs::remove(root / "share" / "doc" / "vocara" / "vocara.pdf");
  WriteFile((root / "share" / "doc" / "vocara" / "vocara.pdf").string(), "%PDF-");
  const std::string shared = fs::canonical(root / "share" / "doc" / "vocara" / "vocara.pdf").string();
  EXPECT_EQ(FindUserGuide(program, installed), shared);

  WriteFile(program + ".pdf", "%PDF-");
  EXPECT_EQ(ChooseProgramFiles(program, (root / "config").string(), installed).helpFile, program + ".pdf");
}

}  // namespace
}  // namespace vocara::test
