// The range operations stream the frame area: each block of at most 1280 records is read into
// one buffer, changed there and written back where it came from. The buffer has room for one
// record more, the frame that follows the block, because amplitude scaling limits each frame by
// its successor's samples too; that frame is read only, never written, and its samples are
// never changed by any operation, so reading it before its own block is processed is exact.
//
// Frames are written in place without the journal: every record stands alone, so a crash part
// way leaves some frames changed and the file sound. Header and link table must agree (the
// link count says where the file ends), so those go out as one journalled change.

#include "engine/sas/SasRangeOps.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "base/FileJournal.h"
#include "base/NumberText.h"
#include "engine/sas/SasChange.h"

namespace vocara {
namespace {

constexpr std::uint32_t BlockRecords = 1280;
// How many records of a private copy go to the disk at a time while an operation streams.
constexpr std::uint32_t WriteAheadRecords = 256 * BlockRecords;

// A percentage of full scale against the frame amplitude (0 .. 4294967295).
double PercentOfFullScale(double percent) { return percent * 4294967295.0 * 0.01; }

// trunc(value) as an amplitude. The clip limit keeps a scaled amplitude below 2^32; parameters
// that bypassed the dialog's ranges (a negative or absurd scale) saturate instead of wrapping.
std::uint32_t TruncatedAmplitude(double value) {
  if (!(value > 0)) return 0;
  if (value >= 4294967295.0) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(value);
}

// A record in the block buffer. Where the processor's layout of SasFrame is the file's
// (little-endian, no padding) the record is copied as it is, inline: the parse and serialise
// calls of the portable path cost a third of a Global Edit over a long file.
inline constexpr bool FileLayout = std::endian::native == std::endian::little && sizeof(SasFrame) == 16 &&
                                   offsetof(SasFrame, targetPitch) == 2 &&
                                   offsetof(SasFrame, minSample) == 4 && offsetof(SasFrame, maxSample) == 8 &&
                                   offsetof(SasFrame, targetAmplitude) == 12;

SasFrame LoadFrame(const std::uint8_t* source) {
  if constexpr (FileLayout) {
    SasFrame frame;
    std::memcpy(&frame, source, sizeof frame);
    return frame;
  } else {
    return SasFrame::ParseFrom(source);
  }
}

void StoreFrame(const SasFrame& frame, std::uint8_t* destination) {
  if constexpr (FileLayout) {
    std::memcpy(destination, &frame, sizeof frame);
  } else {
    frame.SerialiseInto(destination);
  }
}

bool Writable(const SasDocument& document) { return document.file.IsOpen() && !document.readOnly; }

// Runs `process(frame, next)` over the frames first <= i < end, limited to the frame area, and
// writes every block back. `next` is the following frame of the file, null after the last one.
template <typename Process>
bool StreamFrames(SasDocument& document, std::uint32_t first, std::uint32_t end, const FrameChangeSink& sink,
                  Process process) {
  if (!Writable(document)) return false;
  const std::uint32_t frameCount = document.header.frameCount;
  end = std::min(end, frameCount);
  first = std::min(first, end);
  std::array<std::uint8_t, (BlockRecords + 1) * SasFrame::ByteSize> bytes;
  for (std::uint32_t pos = first; pos < end;) {
    const std::uint32_t n = std::min(BlockRecords, end - pos);
    const std::uint32_t held = n + (pos + n < frameCount ? 1 : 0);
    const std::uint64_t offset = SasFramesOffset + SasFrame::ByteSize * std::uint64_t{pos};
    const std::size_t size = std::size_t{held} * SasFrame::ByteSize;
    if (!document.file.Seek(offset) || document.file.Read(bytes.data(), size) != size) return false;

    SasFrame before = LoadFrame(bytes.data());
    for (std::uint32_t i = 0; i < n; ++i) {
      const bool hasNext = i + 1 < held;
      const SasFrame next = hasNext ? LoadFrame(&bytes[(i + 1) * SasFrame::ByteSize]) : SasFrame{};
      SasFrame after = before;
      process(after, hasNext ? &next : nullptr);
      if (after != before) {
        StoreFrame(after, &bytes[i * SasFrame::ByteSize]);
        if (sink) sink(pos + i, before, after);
      }
      before = next;
    }
    if (!document.file.Seek(offset) ||
        !document.file.Write(bytes.data(), std::size_t{n} * SasFrame::ByteSize))
      return false;
    pos += n;
    // A private copy is bound for the disk as a whole: what is done starts on its way now, while
    // the rest is worked on, instead of all of it at the end.
    if (document.privateCopy && (pos - first) % WriteAheadRecords < BlockRecords) {
      const std::uint64_t done = SasFrame::ByteSize * std::uint64_t{std::min(WriteAheadRecords, pos - first)};
      document.file.StartWriting(SasFramesOffset + SasFrame::ByteSize * std::uint64_t{pos} - done, done);
    }
  }
  return document.file.Flush();
}

// Removes the interior links that reach into [lo, hi]: all but those with both ends before lo
// or both after hi. In an ordered table these form one run; a damaged table loses only the
// first run, so links beyond it are never taken on the strength of a disorder.
void RemoveLinksReaching(std::vector<TimeLink>& links, std::uint64_t lo, std::uint64_t hi) {
  if (links.size() < 3) return;
  const auto reaches = [lo, hi](const TimeLink& link) {
    return (link.source >= lo || link.target >= lo) && (link.source <= hi || link.target <= hi);
  };
  const auto last = links.end() - 1;
  const auto from = std::find_if(links.begin() + 1, last, reaches);
  const auto to = std::find_if_not(from, last, reaches);
  links.erase(from, to);
}

// The header with its settings copy and the link table, the file ending behind the table.
bool WriteHeaderAndLinks(SasDocument& document) {
  return SasChangeRecords(document, SasHeaderAndLinkChanges(document));
}

}  // namespace

double ClipLimitedFactor(double f, const SasFrame& frame, const SasFrame* next) {
  constexpr double Highest = 2147483647.0;
  constexpr double Lowest = -2147483648.0;
  if (frame.maxSample * f > Highest) f = Highest / frame.maxSample;
  if (next != nullptr && next->maxSample * f > Highest) f = Highest / next->maxSample;
  if (frame.minSample * f < Lowest) f = Lowest / frame.minSample;
  if (next != nullptr && next->minSample * f < Lowest) f = Lowest / next->minSample;
  return f;
}

SasRangeParams ClampSasRangeParams(const SasRangeFields& fields) {
  SasRangeParams params;
  params.scaleAmplitude = ClampNumber(fields.scaleAmplitude, MinScaleAmplitude, MaxScaleAmplitude);
  const double cents = ClampNumber(fields.transpose, MinTranspose, MaxTranspose);
  params.transpose = std::isnan(cents) ? 0 : static_cast<int>(cents);
  params.disableAbove = ClampNumber(fields.disableAbove, MinRangeThreshold, MaxRangeThreshold);
  params.enableBelow = ClampNumber(fields.enableBelow, MinRangeThreshold, MaxRangeThreshold);
  params.silenceBelow = ClampNumber(fields.silenceBelow, MinRangeThreshold, MaxRangeThreshold);
  return params;
}

bool SasApplyRange(SasDocument& document, std::uint32_t first, std::uint32_t end, unsigned ops,
                   const SasRangeParams& params, const FrameChangeSink& sink) {
  const bool scale = (ops & SasRangeOps::ScaleAmplitude) != 0;
  const bool transpose = (ops & SasRangeOps::Transpose) != 0;
  const bool disable = (ops & SasRangeOps::DisableTimeCorrection) != 0;
  const bool enable = (ops & SasRangeOps::EnableTimeCorrection) != 0;
  const bool silence = (ops & SasRangeOps::Silence) != 0;
  const double factor = params.scaleAmplitude * 0.01;
  const double disableAbove = PercentOfFullScale(params.disableAbove);
  const double enableBelow = PercentOfFullScale(params.enableBelow);
  const double silenceBelow = PercentOfFullScale(params.silenceBelow);

  // Scaling and transposing start from the analysed values, so earlier edits in the range are
  // replaced rather than compounded.
  const auto process = [&](SasFrame& frame, const SasFrame* next) {
    const double amplitude = frame.Amplitude();
    if (scale) frame.targetAmplitude = TruncatedAmplitude(ClipLimitedFactor(factor, frame, next) * amplitude);
    if (transpose) {
      // In 16 bits: a pitch wrapped past 32767 reads as negative and ends at 0.
      const auto shifted =
          static_cast<std::int16_t>(static_cast<std::uint16_t>(frame.sourcePitch + params.transpose));
      const auto pitch = static_cast<std::uint16_t>(std::clamp<std::int16_t>(shifted, 0, HighestTargetPitch));
      frame.targetPitch = static_cast<std::uint16_t>((frame.targetPitch & TimeCorrectionOffBit) | pitch);
    }
    if (disable && amplitude > disableAbove) frame.targetPitch |= TimeCorrectionOffBit;
    if (enable && amplitude < enableBelow) frame.targetPitch &= TargetPitchMask;
    if (silence && amplitude < silenceBelow) frame.targetAmplitude = 0;
  };
  if ((ops & (SasRangeOps::ScaleAmplitude | SasRangeOps::Transpose | SasRangeOps::DisableTimeCorrection |
              SasRangeOps::EnableTimeCorrection | SasRangeOps::Silence)) != 0 &&
      !StreamFrames(document, first, end, sink, process))
    return false;

  if ((ops & SasRangeOps::RemoveLinks) == 0) return true;
  if (!Writable(document)) return false;
  // The same limits as the frames, so the positions compared are those of frames that exist;
  // in 64 bits, since frame index x frameLength passes 32 bits in a long recording.
  const std::uint32_t last = std::min(end, document.header.frameCount);
  const std::uint64_t lo = std::uint64_t{std::min(first, last)} * document.header.frameLength;
  const std::uint64_t hi = std::uint64_t{last} * document.header.frameLength;
  RemoveLinksReaching(document.links, lo, hi);
  return WriteHeaderAndLinks(document);
}

bool SasSetTimeCorrection(SasDocument& document, std::uint32_t first, std::uint32_t end, bool off,
                          const FrameChangeSink& sink) {
  return StreamFrames(document, first, end, sink, [off](SasFrame& frame, const SasFrame*) {
    if (off) {
      frame.targetPitch |= TimeCorrectionOffBit;
    } else {
      frame.targetPitch &= TargetPitchMask;
    }
  });
}

SasRange SasFindRange(const SasDocument& document, int cursorColumn, double selectThresholdPercent) {
  const double threshold = PercentOfFullScale(selectThresholdPercent);
  const std::int64_t shown =
      std::min<std::int64_t>(document.shownFrameCount, std::numeric_limits<std::int32_t>::max());
  const std::int64_t first = std::clamp<std::int64_t>(document.firstFrame, 0, shown);
  // The columns that hold frames: those the page read loaded, none past the last frame.
  const std::int64_t columns =
      std::min<std::int64_t>(std::clamp(document.pageCount, 0, SasPageCapacity), shown - first);
  const auto loud = [&](std::int64_t k) {
    return document.page[static_cast<std::size_t>(k)].Amplitude() >= threshold;
  };
  const std::int64_t x = cursorColumn;
  if (x < 0 || x >= columns || !loud(x)) {
    const auto at = static_cast<std::int32_t>(first + std::clamp<std::int64_t>(x, 0, columns));
    return {at, at};
  }
  // Leftwards the first quieter column is taken into the range, rightwards it ends it.
  std::int64_t left = x;
  while (left > 0 && loud(left)) --left;
  std::int64_t right = x + 1;
  while (right < columns && loud(right)) ++right;
  return {static_cast<std::int32_t>(first + left), static_cast<std::int32_t>(first + right)};
}

bool SasWriteFrames(SasDocument& document, std::span<const std::pair<std::uint32_t, SasFrame>> frames) {
  if (!Writable(document)) return false;
  const std::uint64_t frameCount = document.header.frameCount;
  std::array<std::uint8_t, BlockRecords * SasFrame::ByteSize> bytes;
  std::size_t i = 0;
  while (i < frames.size()) {
    const std::uint64_t index = frames[i].first;
    if (index >= frameCount) {
      ++i;
      continue;
    }
    std::size_t n = 0;
    while (i + n < frames.size() && n < BlockRecords && frames[i + n].first == index + n &&
           index + n < frameCount) {
      StoreFrame(frames[i + n].second, &bytes[n * SasFrame::ByteSize]);
      ++n;
    }
    if (!document.file.Seek(SasFramesOffset + SasFrame::ByteSize * index) ||
        !document.file.Write(bytes.data(), n * SasFrame::ByteSize))
      return false;
    i += n;
  }
  return document.file.Flush();
}

}  // namespace vocara
