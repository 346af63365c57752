#include "loudness/integrated_loudness.h"

#include <algorithm>
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
  static const double absoluteGate = energyOf(kAbsoluteGateLufs);
  while (frames > 0) {
    const std::size_t count = std::min(frames, kSegmentFrames - segmentFrames_);
    segmentSquares_ += filter_.filterSquares(samples, count);
    samples += count * kChannels;
    frames -= count;
    segmentFrames_ += count;
    if (segmentFrames_ < kSegmentFrames) break;
    recentSegments_[wholeSegments_ % kShortTermSegments] = segmentSquares_;
    if (++wholeSegments_ >= kShortTermSegments &&
        (wholeSegments_ - kShortTermSegments) % kShortTermHopSegments == 0) {
      double squares = 0.0;
      for (double segment : recentSegments_) squares += segment;
      const double energy = squares / static_cast<double>(kSegmentFrames * kShortTermSegments);
      if (energy >= absoluteGate) shortTermBlocks_.push_back(energy);
    }
    if (wholeSegments_ >= kBlockSegments) {
      const double energy =
          (earlierSegments_[0] + earlierSegments_[1] + earlierSegments_[2] + segmentSquares_) /
          kGatingBlockFrames;
      if (energy >= absoluteGate) gatedBlocks_.push_back(energy);
    }
    earlierSegments_[0] = earlierSegments_[1];
    earlierSegments_[1] = earlierSegments_[2];
    earlierSegments_[2] = segmentSquares_;
    segmentSquares_ = 0.0;
    segmentFrames_ = 0;
  }
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
