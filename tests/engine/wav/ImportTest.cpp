// Importing other sound files: what each kind of input becomes (samples, width, rate), the
// files the WAV opener refuses and the import takes in one step, resampling, and the refusals,
// none of which leaves an output behind. The inputs are written by libsndfile in the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "engine/wav/Import.h"
#include "engine/wav/WavDocument.h"
#include "support/SoundFiles.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr int Wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// Files in the folder, by name: what an import left there besides its input.
std::vector<std::string> FolderNames(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

MessageId OpenerSays(const std::string& path) {
  WavDocument wav;
  return WavOpenDocument(wav, path).message;
}

// A 16-bit mono WAV whose LIST chunk has an odd size and its pad byte: the opener skips chunks
// by their declared size only, and misses the data chunk.
std::string PaddedListWav(const std::vector<std::int32_t>& samples) {
  const std::string list = Chunk("LIST", "INFO" + Chunk("INAM", "abc")) + std::string(1, '\0');
  return RiffFile(Chunk("fmt ", FormatBody(Format(2, 44100))) + list + Chunk("data", Samples(2, samples)));
}

ImportOptions Options(int channel, unsigned bits = 0, std::uint32_t rate = 0) {
  return {channel, bits, rate};
}

struct Expected {
  MessageId opener;  // what the WAV opener says to the input
  unsigned bits;
  std::uint32_t rate;
  std::vector<double> samples;
  double tolerance = 0;  // how far each output sample may be from its expected value
  std::uint64_t clipped = 0;
};

class ImportConversionTest : public ::testing::Test {
 protected:
  // Imports `input` and checks the output: a canonical mono WAV the opener takes, of the
  // width, rate and samples expected.
  void ExpectImport(const std::string& input, const ImportOptions& options, const Expected& e) {
    SCOPED_TRACE(input);
    ASSERT_FALSE(input.empty());
    EXPECT_EQ(OpenerSays(input), e.opener);
    EXPECT_TRUE(ImportCanRead(input));
    const std::string output = dir.File("out.wav");
    const ImportResult result = ImportToWav(input, output, options, {});
    ASSERT_EQ(result.result, LongOperationResult::Done) << ImportFailureText(result);
    EXPECT_EQ(std::tuple(result.bits, result.rate, result.samples, result.clipped),
              std::tuple(e.bits, e.rate, e.samples.size(), e.clipped));
    const ImportedWav wav = ReadImportedWav(output);
    ASSERT_TRUE(wav.canonical);
    EXPECT_EQ(wav.fields, Format(static_cast<std::uint16_t>(e.bits / 8), e.rate));
    ASSERT_EQ(wav.samples.size(), e.samples.size());
    for (std::size_t i = 0; i < e.samples.size(); ++i)
      EXPECT_NEAR(wav.samples[i], e.samples[i], e.tolerance) << "sample " << i;
    EXPECT_EQ(OpenerSays(output), MessageId::None);
  }
  TempDir dir;
};

// The layouts and containers the opener refuses become the same samples.
TEST_F(ImportConversionTest, KeepsTheSamplesOfOtherLayoutsAndContainers) {
  const std::vector<std::int32_t> mono{0, 1, -1, 32767, -32768, 1234, -4321};
  ExpectImport(WriteSound(dir.File("in.wav"), Wav16, 1, 44100, 16, mono), {},
               {MessageId::None, 16, 44100, {mono.begin(), mono.end()}});
  ExpectImport(WriteFile(dir.File("list.wav"), PaddedListWav({5, -6, 7})), {},
               {MessageId::DataChunkNotFound, 16, 44100, {5, -6, 7}});
  const std::vector<std::int32_t> deep{0x7FFFFF, -0x800000, 1, -1, 0x123456, 0, 3};
  const std::string wav =
      WriteSound(dir.File("from.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 44100, 24, deep);
  ExpectImport(ConvertSound(wav, dir.File("in.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_24), {},
               {MessageId::NotRiffFile, 24, 44100, {deep.begin(), deep.end()}});
}

// The mean of the channels within rounding, or one channel exactly.
TEST_F(ImportConversionTest, MixesTheChannelsOrTakesOne) {
  const std::vector<std::int32_t> frames{0x7FFFFF, 0x7FFFFF, -0x800000, -0x800000, 1,
                                         2,        -1,       -2,        0x123456,  -0x654321};
  ExpectImport(WriteSound(dir.File("wavex.wav"), SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 48000, 24, frames),
               {},
               {MessageId::CompressionNotSupported,
                24,
                48000,
                {0x7FFFFF, -0x800000, 1.5, -1.5, (0x123456 - 0x654321) / 2.0},
                0.5});
  ExpectImport(WriteSound(dir.File("stereo.wav"), Wav16, 2, 44100, 16, {1, -7, 2, 8, 3, -9}), Options(0),
               {MessageId::NotMonoFile, 16, 44100, {1, 2, 3}});
  ExpectImport(WriteSound(dir.File("three.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_32, 3, 96000, 32,
                          {1, 2, 2147483647, 4, 5, -2147483647 - 1}),
               Options(2), {MessageId::NotRiffFile, 32, 96000, {2147483647, -2147483647 - 1}});
}

// Float +1.0 is one step past the largest integer: it becomes that integer and never wraps to
// the most negative value; -1.0 is the most negative value itself. Full scale is not counted as
// clipped, only what lies beyond it (1.5, 1e30). Halves round to the even neighbour (0.5 to 0,
// 1.5 to 2); 8 bits become 16.
TEST_F(ImportConversionTest, RoundsToTheNearestAndClipsAtFullScale) {
  ExpectImport(WriteFloatSound(dir.File("float.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000,
                               {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 1.5f, -1.5f, 1e30f, -1e30f}),
               {},
               {MessageId::CompressionNotSupported,
                24,
                48000,
                {0, 4194304, -4194304, 8388607, -8388608, 8388607, -8388608, 8388607, -8388608},
                0,
                4});
  ExpectImport(WriteFloatSound(dir.File("double.wav"), SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 1, 48000,
                               {1.0f, -1.0f, 0.25f, 1.0f / 65536, -3.0f / 65536}),
               Options(ImportMix, 16),
               {MessageId::CompressionNotSupported, 16, 48000, {32767, -32768, 8192, 0, -2}});
  ExpectImport(WriteSound(dir.File("deep.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 1, 44100, 24,
                          {0x7FFFFF, -0x800000, 0x80, 0x7F, 0x180, -0x80, 0x1234FF}),
               Options(ImportMix, 16),
               {MessageId::NotRiffFile, 16, 44100, {32767, -32768, 0, 0, 2, 0, 0x1235}});
  ExpectImport(WriteSound(dir.File("byte.aiff"), SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 22050, 8,
                          {-128, -1, 0, 1, 127, 2}),
               {}, {MessageId::NotRiffFile, 16, 22050, {-32768, -256, 0, 256, 32512, 512}});
}

struct Resampling {
  const char* name;
  int sourceRate;
  std::uint32_t asked;     // 0: none
  std::uint32_t expected;  // the output's rate
};

void PrintTo(const Resampling& r, std::ostream* os) { *os << r.name; }

class ImportResampleTest : public ::testing::TestWithParam<Resampling> {};

// 3 s of a 1 kHz sine at half of full scale: the output has the asked length within a frame
// per block of input (a ratio off by 0.1 % would miss it by over a hundred) and the amplitude.
TEST_P(ImportResampleTest, KeepsTheLengthInSecondsAndTheAmplitude) {
  const Resampling& r = GetParam();
  TempDir dir;
  const std::string input =
      WriteSound(dir.File("in.wav"), Wav16, 1, r.sourceRate, 16, Sine16(1000, r.sourceRate, 3));
  const ImportResult result = ImportToWav(input, dir.File("out.wav"), Options(ImportMix, 0, r.asked), {});
  ASSERT_EQ(result.result, LongOperationResult::Done) << ImportFailureText(result);
  const ImportedWav wav = ReadImportedWav(dir.File("out.wav"));
  ASSERT_TRUE(wav.canonical);
  EXPECT_EQ(std::pair(result.rate, wav.fields.sampleRate), std::pair(r.expected, r.expected));
  const double blocks = std::ceil(3.0 * r.sourceRate / 65536);
  EXPECT_NEAR(static_cast<double>(wav.samples.size()), 3.0 * r.expected, blocks);
  const auto [low, high] =
      std::minmax_element(wav.samples.begin() + r.expected / 2, wav.samples.end() - r.expected / 2);
  EXPECT_NEAR(*high, 16384, 100);
  EXPECT_NEAR(*low, -16384, 100);
}

INSTANTIATE_TEST_SUITE_P(Rates, ImportResampleTest,
                         ::testing::Values(Resampling{"AskedUp", 44100, 48000, 48000},
                                           Resampling{"AskedDown", 48000, 22050, 22050},
                                           Resampling{"TelephoneRateTo48000", 8000, 0, 48000},
                                           Resampling{"QuarterCdRateTo44100", 11025, 0, 44100}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
  const char* name;
  std::string refusal;  // the start of the sentence
  std::function<std::string(const TempDir&)> make;
  ImportOptions options = {};
  MessageId message = MessageId::None;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

// The first half of a second of 16-bit noise written as `format`.
std::string CutInHalf(const TempDir& d, const std::string& name, int format) {
  const std::string whole = WriteSound(d.File("whole"), format, 1, 44100, 16, UniformNoise(88200, 16));
  const std::string bytes = ReadFile(whole);
  std::filesystem::remove(whole);
  return WriteFile(d.File(name), bytes.substr(0, bytes.size() / 2));
}

// A two-channel 16-bit WAV of one frame.
std::string Stereo(const TempDir& d, const std::string& name = "in.wav") {
  return WriteSound(d.File(name), Wav16, 2, 44100, 16, {1, 2});
}

const Refusal Refusals[] = {
    {"Garbage", "Not a sound file that can be imported: ",
     [](const TempDir& d) { return WriteFile(d.File("in.wav"), std::string(5000, 'x')); }},
    {"WavCutInItsHeader", "Not a sound file that can be imported: ",
     [](const TempDir& d) { return WriteFile(d.File("in.wav"), ReadFile(Stereo(d)).substr(0, 30)); }},
    {"FlacCutInTheMiddle", "The file could not be read past frame ",
     [](const TempDir& d) { return CutInHalf(d, "in.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16); }},
    {"WavCutInItsData",
     "The file is cut short: ", [](const TempDir& d) { return CutInHalf(d, "in.wav", Wav16); }},
    {"AiffCutInItsData", "The file is cut short: ",
     [](const TempDir& d) { return CutInHalf(d, "in.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16); }},
    {"NoSamples", "The file holds no samples.",
     [](const TempDir& d) { return WriteSound(d.File("in.wav"), Wav16, 2, 44100, 16, {}); }},
    {"ChannelTheFileLacks", "The file has no channel 2: it has 2 channels, numbered from 0.",
     [](const TempDir& d) { return Stereo(d); }, Options(2)},
    {"RateTooFarToConvert", "A rate of 100 Hz cannot be converted to 44100 Hz",
     [](const TempDir& d) {
       return WriteSound(d.File("in.wav"), Wav16, 1, 100, 16, {1, 2});
     }},
    {"MissingInput",
     "",
     [](const TempDir& d) { return d.File("missing.flac"); },
     {},
     MessageId::InvalidFileHandle},
    {"OutputIsTheInput",
     "",
     [](const TempDir& d) { return Stereo(d, "out.wav"); },
     {},
     MessageId::OpenedFileCanNotBeOverwritten},
};

class ImportRefusalTest : public ::testing::TestWithParam<Refusal> {};

// Refused with a sentence or the writers' message; the file of the output's name keeps what it
// held and no temporary file is left.
TEST_P(ImportRefusalTest, WritesNothing) {
  const Refusal& r = GetParam();
  TempDir dir;
  const std::string output = dir.File("out.wav");
  const std::string input = r.make(dir);
  if (input != output) WriteFile(output, "old");
  const std::string before = ReadFile(output);
  const std::vector<std::string> names = FolderNames(dir);

  const ImportResult result = ImportToWav(input, output, r.options, {});
  EXPECT_EQ(std::tuple(result.result, result.message, result.samples, ImportFailureText(result).empty()),
            std::tuple(LongOperationResult::Failed, r.message, 0u, false));
  EXPECT_TRUE(result.refusal.starts_with(r.refusal)) << result.refusal;
  EXPECT_TRUE(r.refusal.empty() || result.refusal.ends_with('.')) << result.refusal;
  EXPECT_EQ(std::pair(ReadFile(output), FolderNames(dir)), std::pair(before, names));
}

INSTANTIATE_TEST_SUITE_P(Inputs, ImportRefusalTest, ::testing::ValuesIn(Refusals),
                         [](const auto& info) { return std::string(info.param.name); });

// Only a file with sound to import, and whole, is offered for import.
TEST(ImportCanReadTest, AnswersNoForFilesWithoutSound) {
  TempDir dir;
  for (const std::string& path :
       {WriteSound(dir.File("empty.wav"), Wav16, 2, 44100, 16, {}), CutInHalf(dir, "cut.wav", Wav16),
        WriteFile(dir.File("text.wav"), "RIFF and some words"), dir.Path().string()})
    EXPECT_FALSE(ImportCanRead(path)) << path;
}

// What the convert question says of a file, and the endings of the kinds the open dialog lists.
TEST(ImportDescribeTest, SaysDepthChannelsRateAndKindAndListsTheEndings) {
  TempDir dir;
  const auto summary = [&](const char* name, int format, int channels, int bits) {
    const std::string path = WriteSound(dir.File(name), format, channels, 48000, bits, std::vector(12, 1));
    const std::optional<ImportSource> source = ImportDescribe(path);
    return source ? source->summary : "none";
  };
  EXPECT_EQ(summary("x.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 2, 24),
            "24-bit stereo, 48000 Hz, extensible format");
  EXPECT_EQ(summary("a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 16), "16-bit mono, 48000 Hz, AIFF");
  EXPECT_EQ(summary("m.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 3, 16), "16-bit 3 channels, 48000 Hz, FLAC");
  EXPECT_EQ(summary("v.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 16), "stereo, 48000 Hz, Ogg Vorbis");
  EXPECT_EQ(summary("t.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 16), "32-bit float mono, 48000 Hz, WAV");
  EXPECT_FALSE(ImportDescribe(WriteFile(dir.File("text.wav"), "RIFF and some words")));

  const std::vector<std::string> endings = ImportFileExtensions();
  ASSERT_GE(endings.size(), 4u);
  EXPECT_EQ(std::vector(endings.begin(), endings.begin() + 4),
            (std::vector<std::string>{"wav", "flac", "ogg", "oga"}));
  for (const char* kind : {"aiff", "aif", "aifc", "au", "snd", "caf", "w64", "rf64"})
    EXPECT_EQ(std::count(endings.begin(), endings.end(), kind), 1) << kind;
  EXPECT_EQ(std::count(endings.begin(), endings.end(), "raw"), 0);
}

// A WAV cut in the middle of a sample: refused, saying what is there and what was announced;
// salvaged, exactly the whole samples that are there. NaN samples become 0 and are counted.
TEST(ImportSalvageTest, KeepsTheWholeSamplesThatAreThereAndCountsNaN) {
  TempDir dir;
  std::vector<std::int32_t> stored(120000);
  for (std::size_t i = 0; i < stored.size(); ++i)
    stored[i] = static_cast<std::int32_t>(i * 7 % 20000) - 10000;
  const std::string whole = CanonicalWav(Format(2, 40000), Samples(2, stored));
  const std::string cut = WriteFile(dir.File("cut.wav"), whole.substr(0, 44 + 2 * 93800 + 1));
  const std::string output = dir.File("out.wav");
  const ImportResult refused = ImportToWav(cut, output, {}, {});
  EXPECT_EQ(refused.result, LongOperationResult::Failed);
  ASSERT_TRUE(refused.cut);
  EXPECT_EQ(std::pair(refused.cut->keptFrames, refused.cut->announcedFrames), std::pair(93800ul, 120000ul));
  EXPECT_EQ(ImportCutShort(cut)->announcedFrames, 120000u);
  EXPECT_FALSE(ImportCutShort(WriteFile(dir.File("whole.wav"), whole)));

  const ImportResult kept = ImportToWav(cut, output, {.salvage = true}, {});
  ASSERT_EQ(kept.result, LongOperationResult::Done) << ImportFailureText(kept);
  ASSERT_TRUE(kept.cut);
  EXPECT_EQ(std::pair(kept.cut->KeptSeconds(), kept.cut->AnnouncedSeconds()), std::pair(2.345, 3.0));
  EXPECT_EQ(ReadImportedWav(output).samples,
            std::vector<std::int32_t>(stored.begin(), stored.begin() + 93800));

  const float nan = std::nanf("");
  const ImportResult nans = ImportToWav(WriteFloatSound(dir.File("nan.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                                        1, 44100, {0.5f, nan, -nan, 0.25f}),
                                        output, {}, {});
  EXPECT_EQ(std::pair(nans.notANumber, nans.clipped), std::pair(2ul, 0ul));
  EXPECT_EQ(ReadImportedWav(output).samples, (std::vector<std::int32_t>{4194304, 0, 0, 2097152}));
  // Resampled, neither spreads over the filter's length: one infinity is one clipped sample
  // (and its ringing), not hundreds.
  std::vector<float> held(2000, 0.9f);
  held[1000] = std::numeric_limits<float>::infinity();
  held[1500] = nan;
  const ImportResult resampled =
      ImportToWav(WriteFloatSound(dir.File("inf.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 44100, held),
                  output, Options(ImportMix, 24, 48000), {});
  EXPECT_EQ(resampled.notANumber, 1u);
  EXPECT_TRUE(resampled.clipped >= 1 && resampled.clipped <= 4) << resampled.clipped;
}

TEST(ImportStopTest, AStopLeavesTheOldOutputAndReportsTheFrames) {
  TempDir dir;
  const std::string input =
      WriteSound(dir.File("in.wav"), Wav16, 2, 44100, 16, std::vector<std::int32_t>(400000, 5));
  const std::string output = WriteFile(dir.File("out.wav"), "old");
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
  const auto stopSecond = [&](std::uint64_t position, std::uint64_t total) {
    reports.emplace_back(position, total);
    return reports.size() < 2;
  };
  const ImportResult result = ImportToWav(input, output, {}, stopSecond);
  EXPECT_EQ(std::tuple(result.result, result.message, ReadFile(output)),
            std::tuple(LongOperationResult::Cancelled, MessageId::None, "old"));
  EXPECT_EQ(FolderNames(dir), (std::vector<std::string>{"in.wav", "out.wav"}));
  // Blocks of 65536 frames out of the 200000 the file announces.
  EXPECT_EQ(reports,
            (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{65536, 200000}, {131072, 200000}}));
}

}  // namespace
}  // namespace vocara::test
