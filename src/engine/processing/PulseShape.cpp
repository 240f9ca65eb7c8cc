#include "engine/processing/PulseShape.h"

#include "base/FileHandle.h"
#include "base/NumberText.h"
#include "base/OutputFile.h"
#include "engine/wav/SampleAccess.h"
#include "engine/wav/WavDocument.h"

namespace vocara {
namespace {

// Room for any element x 1000 with five decimals; a normalised element stays near +-2.
constexpr int PulseLineLength = 40;

std::string PulseLine(double value) {
  std::string line = FormatNumber(value * 1000.0, 5, PulseLineLength, false);
  line += "\r\n";
  return line;
}

}  // namespace

bool AddPulse(PulseShape& shape, WavDocument& document, std::uint32_t cursor) {
  if (cursor <= PulseShapeLead || std::uint64_t{cursor} + PulseShapeLead >= document.sampleCount)
    return false;
  const unsigned blockAlign = document.BlockAlign();
  const std::size_t bytes = std::size_t{PulseShapeLength} * blockAlign;
  std::uint8_t* piece = document.buffer.Piece();
  if (!document.file.Seek(document.dataOffset + std::uint64_t{cursor - PulseShapeLead} * blockAlign) ||
      document.file.Read(piece, bytes) != bytes)
    return false;
  for (int i = 0; i < PulseShapeLength; ++i)
    shape.values[i] += LeftAlignedSample(piece + std::size_t(i) * blockAlign, blockAlign) * PercentPerUnit;
  return true;
}

bool NormalisePulseShape(PulseShape& shape) {
  double sum = 0.0;
  for (const double v : shape.values) sum += v;
  const double mean = sum * 0.016666666666666666;
  double largest = 0.0;
  double smallest = 0.0;
  double squares = 0.0;
  for (double& v : shape.values) {
    v -= mean;
    if (v > largest) largest = v;
    if (v < smallest) smallest = v;
    squares += v * v;
  }
  if (squares == 0.0) return false;
  const double factor = (largest - smallest) / squares;
  for (double& v : shape.values) v *= factor;
  return true;
}

std::string PulseShapeText(const PulseShape& normalised) {
  std::string text;
  for (const double v : normalised.values) text += PulseLine(v);
  return text;
}

MessageId WritePulseShape(const WavDocument& document, const PulseShape& normalised,
                          const std::string& output) {
  OutputFile written;
  if (const MessageId refused = written.Begin(output, {document.path}); refused != MessageId::None)
    return refused;
  bool complete = true;
  // One write per line, as the text export writes its lines.
  for (const double v : normalised.values) {
    const std::string line = PulseLine(v);
    complete = complete && written.File().Write(line.data(), line.size());
  }
  return written.Finish(complete);
}

}  // namespace vocara
