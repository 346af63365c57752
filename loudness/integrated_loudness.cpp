#include "loudness/integrated_loudness.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace loudness {

namespace {

// 100 ms at 44100 Hz, rounded as libebur128 rounds it; a block is four of them.
constexpr std::size_t kSegmentFrames = 4410;
constexpr std::size_t kBlockSegments = 4;
constexpr double kGatingBlockFrames = static_cast<double>(kSegmentFrames * kBlockSegments);
// A short-term block is taken every second, as libebur128 takes them for the loudness range.
constexpr std::size_t kShortTermHopSegments = 10;

// BS.1770 gives loudness as -0.691 + 10·log10 of the weighted mean square.
constexpr double kLoudnessOffset = -0.691;
constexpr double kAbsoluteGateLufs = -70.0;
constexpr double kRelativeGateLu = -10.0;

double energyOf(double lufs) { return std::pow(10.0, (lufs - kLoudnessOffset) / 10.0); }

// Formed as libebur128 forms it.
double loudnessOf(double energy) {
  return 10 * (std::log(energy) / std::log(10.0)) + kLoudnessOffset;
}

}  // namespace

void LoudnessMeter::addFrames(const float* samples, std::size_t frames) {
  while (frames > 0) {
    const std::size_t count = std::min(frames, kSegmentFrames - segmentFrames_);
    segmentSquares_ += filter_.filterSquares(samples, count);
    samples += count * kChannels;
    frames -= count;
    segmentFrames_ += count;
    if (segmentFrames_ < kSegmentFrames) break;
    completeSegment(segmentSquares_);
    segmentSquares_ = 0.0;
    segmentFrames_ = 0;
  }
}

void LoudnessMeter::completeSegment(double squares) {
  static const double absoluteGate = energyOf(kAbsoluteGateLufs);
  recentSegments_[wholeSegments_ % kShortTermSegments] = squares;
  if (++wholeSegments_ >= kShortTermSegments &&
      (wholeSegments_ - kShortTermSegments) % kShortTermHopSegments == 0) {
    double shortTerm = 0.0;
    for (double segment : recentSegments_) shortTerm += segment;
    const double energy = shortTerm / static_cast<double>(kSegmentFrames * kShortTermSegments);
    if (energy >= absoluteGate) shortTermBlocks_.push_back(energy);
  }
  if (wholeSegments_ >= kBlockSegments) {
    const double energy =
        (earlierSegments_[0] + earlierSegments_[1] + earlierSegments_[2] + squares) /
        kGatingBlockFrames;
    if (energy >= absoluteGate) gatedBlocks_.push_back(energy);
  }
  earlierSegments_[0] = earlierSegments_[1];
  earlierSegments_[1] = earlierSegments_[2];
  earlierSegments_[2] = squares;
}

float LoudnessMeter::addWholePcm16(const std::uint8_t* bytes, std::size_t frames) {
  // The track is filtered as parts side by side, each part after the first from silence this
  // many segments before the first one it gives: its slowest poles, a pair at 0.9946, keep less
  // than 10^-36 of that start by then.
  constexpr std::size_t kSettlingSegments = 4;
  constexpr std::size_t kParts = kSideBySideParts;
  const std::size_t segments = frames / kSegmentFrames;
  if (segments < kParts * (kSettlingSegments + 2)) {
    addPcm16(bytes, frames);
    return pcm16SamplePeak(bytes, frames);
  }
  // Every part is this long; the last starts where it must to end with the track.
  const std::size_t partSegments =
      (segments + (kParts - 1) * kSettlingSegments + kParts - 1) / kParts;
  std::array<std::size_t, kParts> starts{};
  // The first segment each part gives, and the end.
  std::array<std::size_t, kParts + 1> given{};
  for (std::size_t part = 1; part < kParts; ++part) {
    given[part] = part * partSegments - (part - 1) * kSettlingSegments;
    starts[part] = given[part] - kSettlingSegments;
  }
  starts[kParts - 1] = segments - partSegments;
  given[kParts] = segments;
  std::vector<double> squares(kParts * partSegments);
  std::array<const std::uint8_t*, kParts> parts{};
  PartSquares partSquares{};
  for (std::size_t part = 0; part < kParts; ++part) {
    parts[part] = bytes + starts[part] * kSegmentFrames * kPcm16FrameBytes;
    partSquares[part] = squares.data() + part * partSegments;
  }
  // The parts together hold every whole segment.
  const std::int32_t magnitude =
      filterPartsSideBySide(parts, partSegments, kSegmentFrames, partSquares);
  for (std::size_t part = 0; part < kParts; ++part) {
    for (std::size_t segment = given[part]; segment < given[part + 1]; ++segment) {
      completeSegment(partSquares[part][segment - starts[part]]);
    }
  }
  const std::size_t wholeFrames = segments * kSegmentFrames;
  return std::max(static_cast<float>(magnitude) * kPcm16Scale,
                  pcm16SamplePeak(bytes + wholeFrames * kPcm16FrameBytes, frames - wholeFrames));
}

void LoudnessMeter::addPcm16(const std::uint8_t* bytes, std::size_t frames) {
  block_.walkPcm16(bytes, frames, [this](const SampleBlock& block) { add(block); });
}

void LoudnessMeter::addFloat(const float* samples, std::size_t frames) {
  addFrames(samples, frames);
}

double LoudnessMeter::integratedLufs() const { return programmeLoudnessLufs({this}); }

double programmeLoudnessLufs(const std::vector<const LoudnessMeter*>& meters) {
  static const double relativeGateFactor = std::pow(10.0, kRelativeGateLu / 10.0);
  constexpr double kSilence = -std::numeric_limits<double>::infinity();
  double sum = 0.0;
  std::size_t count = 0;
  for (const LoudnessMeter* meter : meters) {
    if (meter == nullptr) continue;
    for (double energy : meter->gatedBlocks_) sum += energy;
    count += meter->gatedBlocks_.size();
  }
  if (count == 0) return kSilence;
  const double relativeGate = sum / static_cast<double>(count) * relativeGateFactor;
  sum = 0.0;
  count = 0;
  for (const LoudnessMeter* meter : meters) {
    if (meter == nullptr) continue;
    for (double energy : meter->gatedBlocks_) {
      if (energy >= relativeGate) {
        sum += energy;
        ++count;
      }
    }
  }
  // The relative gate lies 10 LU below a mean of blocks it cannot all exclude.
  return loudnessOf(sum / static_cast<double>(count));
}

}  // namespace loudness
