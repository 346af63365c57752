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

void LoudnessMeter::addWholePcm16(const std::uint8_t* bytes, std::size_t frames) {
  // The track's first part is filtered beside its last, which overlap by at least this much:
  // the last part's filter starts from silence there, and its slowest poles, a pair at 0.9946,
  // keep less than 10^-36 of that start by the time its figures are used.
  constexpr std::size_t kSettlingSegments = 4;
  const std::size_t segments = frames / kSegmentFrames;
  const std::size_t sideBySide = (segments + kSettlingSegments + 1) / 2;
  if (segments < 2 * kSettlingSegments + 2) {
    addPcm16(bytes, frames);
    return;
  }
  const std::size_t lastPart = segments - sideBySide;
  std::vector<double> firstSquares(sideBySide);
  std::vector<double> lastSquares(sideBySide);
  KWeightingFilter lastFilter;
  filterSegmentsSideBySide(bytes, bytes + lastPart * kSegmentFrames * kPcm16FrameBytes,
                           sideBySide, kSegmentFrames, filter_, lastFilter, firstSquares.data(),
                           lastSquares.data());
  for (double squares : firstSquares) completeSegment(squares);
  // The last part's segments from where the first part's end.
  for (std::size_t segment = sideBySide; segment < segments; ++segment) {
    completeSegment(lastSquares[segment - lastPart]);
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
