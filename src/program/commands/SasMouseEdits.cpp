#include "program/commands/SasMouseEdits.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "engine/sas/SasRangeOps.h"

namespace vocara {
namespace {

constexpr double LargestTargetAmplitude = 4294967295.0;
// Less than 3 pixels away: the squared distance below 9.
constexpr double HitDistanceSquared = 9.0;

// The gain of column j of n for the factor F.
double RangeGain(int shape, double j, double n, double factor) {
  switch (shape) {
    case 0:
      return ((n - j) * factor + j) / n;
    case 2:
      return (j * factor + (n - j)) / n;
    default:
      return factor;
  }
}

}  // namespace

std::uint16_t PitchKeepingTimeCorrection(std::uint16_t targetPitch, double cents) {
  // Truncated first, then limited: a NaN or a value far outside the range ends at a limit.
  const double pitch = std::trunc(cents);
  const int limited = !(pitch > 0.0)              ? 0
                      : pitch >= HighestEditPitch ? HighestEditPitch
                                                  : static_cast<int>(pitch);
  return static_cast<std::uint16_t>((targetPitch & TimeCorrectionOffBit) | limited);
}

std::uint32_t TruncatedTargetAmplitude(double amplitude) {
  if (!(amplitude > 0.0)) return 0;
  if (amplitude >= LargestTargetAmplitude) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(amplitude);
}

std::uint32_t ClippedTargetAmplitude(double wanted, const SasFrame& frame, const SasFrame* next) {
  const double amplitude = frame.Amplitude();
  if (!(amplitude > 0.0)) return 0;
  return TruncatedTargetAmplitude(ClipLimitedFactor(wanted / amplitude, frame, next) * amplitude);
}

int TimeLinkAt(const std::vector<TimeLink>& links, const LinkPlot& plot, int x, int y) {
  if (links.size() < 3 || plot.frameLength == 0) return -1;
  const double h = static_cast<double>(plot.bottom) - plot.top;
  if (h <= 0.0) return -1;
  const double dy = static_cast<double>(y) - plot.top;
  const auto onPage = [&](std::int64_t column) { return column >= 0 && column <= plot.columns; };
  for (std::size_t i = 1; i + 1 < links.size(); ++i) {
    const std::int64_t source = std::int64_t{links[i].source / plot.frameLength} - plot.firstFrame;
    const std::int64_t target = std::int64_t{links[i].target / plot.frameLength} - plot.firstFrame;
    // A link far off the page is never taken for one under the mouse.
    if (!onPage(source) && !onPage(target)) continue;
    const double xs = static_cast<double>(source);
    const double xt = static_cast<double>(target);
    // The segment's column at the click row, then the horizontal distance turned into the
    // perpendicular one: dx^2 h^2 / (h^2 + (xs - xt)^2).
    const double column = xt + std::trunc((xs - xt) * dy / h);
    const double dx = column - x;
    if (dx * dx * h * h / (h * h + (xs - xt) * (xs - xt)) < HitDistanceSquared) return static_cast<int>(i);
  }
  return -1;
}

void RangePitchWeights(int shape, std::span<double> weights) {
  const double n = static_cast<double>(weights.size());
  for (std::size_t i = 0; i < weights.size(); ++i) {
    const double j = static_cast<double>(i);
    const double r = n - j;
    const double bell = (1.0 - std::cos(2.0 * std::numbers::pi * j / n)) * 0.5;
    double w = 1.0;
    switch (shape) {
      case 0:
        w = r / n;
        break;
      case 2:
        w = j / n;
        break;
      case 3:
        w = bell * r / n;
        break;
      case 4:
        w = bell;
        break;
      case 5:
        w = bell * j / n;
        break;
      default:
        break;
    }
    weights[i] = w;
  }
}

void ScaleRangeAmplitudes(std::span<SasFrame> frames, const SasFrame* following, int shape, double factor) {
  const double n = static_cast<double>(frames.size());
  double limit = 1.0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const SasFrame& frame = frames[i];
    const SasFrame* next = i + 1 < frames.size() ? &frames[i + 1] : following;
    const double wanted = frame.targetAmplitude * RangeGain(shape, static_cast<double>(i), n, factor);
    const double amplitude = frame.Amplitude();
    const double allowed = amplitude > 0.0 ? ClipLimitedFactor(wanted / amplitude, frame, next) : 0.0;
    if (wanted != 0.0) {
      const double ratio = amplitude * allowed / wanted;
      if (ratio > 0.0 && ratio < limit) limit = ratio;
    }
  }
  for (std::size_t i = 0; i < frames.size(); ++i) {
    SasFrame& frame = frames[i];
    frame.targetAmplitude = TruncatedTargetAmplitude(
        frame.targetAmplitude * RangeGain(shape, static_cast<double>(i), n, factor) * limit);
  }
}

}  // namespace vocara
