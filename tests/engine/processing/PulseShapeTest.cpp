// The pulse shape: which cursor positions add which samples, what the normalisation keeps and
// removes, and the exported text to the byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/processing/PulseShape.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"
#include "support/TempDir.h"
#include "support/WavFiles.h"

namespace vocara::test {
namespace {

constexpr std::uint32_t Count = 100;

// Sample i holds (i - 50) x 300 in 16 bits (x 256 more in 24 bits): every position is distinct.
std::string Ramp(unsigned blockAlign) {
  std::vector<std::int32_t> values(Count);
  for (std::uint32_t i = 0; i < Count; ++i)
    values[i] = (static_cast<std::int32_t>(i) - 50) * 300 * (blockAlign == 3 ? 256 : 1);
  return CanonicalWav(Format(static_cast<std::uint16_t>(blockAlign)), Samples(blockAlign, values));
}

class PulseShapeTest : public ::testing::Test {
 protected:
  void Open(unsigned blockAlign) {
    wavPath = WriteFile(dir.File("ramp" + std::to_string(blockAlign) + ".wav"), Ramp(blockAlign));
    ASSERT_EQ(WavOpenDocument(wav, wavPath).message, MessageId::None);
  }
  TempDir dir;
  WavDocument wav;
  std::string wavPath;
};

TEST_F(PulseShapeTest, OnlyCursorsWithThirtySamplesBeforeAndAfterAdd) {
  Open(2);
  struct Case {
    std::uint32_t cursor;
    bool adds;
  } cases[] = {{0, false}, {30, false}, {31, true}, {69, true}, {70, false}, {4000000000u, false}};
  for (const Case& c : cases) {
    PulseShape shape;
    EXPECT_EQ(AddPulse(shape, wav, c.cursor), c.adds) << c.cursor;
    for (int i = 0; i < PulseShapeLength; ++i) {
      const std::int32_t sample = static_cast<std::int32_t>(c.cursor) - 30 + i;
      const double expected = c.adds ? (sample - 50) * 300 * 65536 * PercentPerUnit : 0.0;
      ASSERT_EQ(shape.values[i], expected) << c.cursor << " element " << i;
    }
  }
}

TEST_F(PulseShapeTest, NormalisationRemovesMeanAndScale) {
  PulseShape spike;
  spike.values[0] = 60.0;  // mean 1: elements 59 and -1, range 60, squares 3540
  ASSERT_TRUE(NormalisePulseShape(spike));
  EXPECT_DOUBLE_EQ(spike.values[0], 1.0);
  EXPECT_DOUBLE_EQ(spike.values[59], -1.0 / 59.0);

  PulseShape flat;
  flat.values.fill(2.5);
  EXPECT_FALSE(NormalisePulseShape(flat));
  EXPECT_EQ(flat.values[7], 0.0);
}

TEST_F(PulseShapeTest, TextHasFiveDecimalsUntrimmedAndCrLf) {
  PulseShape shape;
  shape.values[0] = 0.0667;
  shape.values[1] = -1.2345678;
  shape.values[2] = 0.5;
  const std::string text = PulseShapeText(shape);
  EXPECT_EQ(text.substr(0, 43), "66.70000\r\n-1234.56780\r\n500.00000\r\n0.00000\r\n");
  EXPECT_EQ(text.size(), 10u + 13u + 11u + 57u * 9u);
}

TEST_F(PulseShapeTest, RepeatedPulseAndSampleWidthLeaveTheFileAlone) {
  Open(2);
  PulseShape once;
  AddPulse(once, wav, 40);
  AddPulse(once, wav, 60);
  PulseShape twice = once;
  AddPulse(twice, wav, 40);
  AddPulse(twice, wav, 60);
  WavDocument wide;
  ASSERT_EQ(WavOpenDocument(wide, WriteFile(dir.File("wide.wav"), Ramp(3))).message, MessageId::None);
  PulseShape fromWide;
  AddPulse(fromWide, wide, 40);
  AddPulse(fromWide, wide, 60);
  for (PulseShape* shape : {&once, &twice, &fromWide}) ASSERT_TRUE(NormalisePulseShape(*shape));

  EXPECT_EQ(WritePulseShape(wav, once, dir.File("once.txt")), MessageId::None);
  EXPECT_EQ(WritePulseShape(wav, twice, dir.File("twice.txt")), MessageId::None);
  EXPECT_EQ(WritePulseShape(wide, fromWide, dir.File("wide.txt")), MessageId::None);
  EXPECT_EQ(ReadFile(dir.File("once.txt")), PulseShapeText(once));
  EXPECT_EQ(ReadFile(dir.File("twice.txt")), ReadFile(dir.File("once.txt")));
  EXPECT_EQ(ReadFile(dir.File("wide.txt")), ReadFile(dir.File("once.txt")));
}

TEST_F(PulseShapeTest, OpenRecordingIsRefusedByIdentity) {
  Open(2);
  PulseShape shape;
  AddPulse(shape, wav, 50);
  ASSERT_TRUE(NormalisePulseShape(shape));
  EXPECT_EQ(WritePulseShape(wav, shape, dir.Path().string() + "/./ramp2.wav"),
            MessageId::OpenedFileCanNotBeOverwritten);
  EXPECT_EQ(ReadFile(wavPath), Ramp(2));
  EXPECT_EQ(WritePulseShape(wav, shape, dir.File("no/such/folder.txt")), MessageId::InvalidFileHandle);
}

}  // namespace
}  // namespace vocara::test
