// The integrated loudness of 44100 Hz stereo audio as BS.1770 defines it and libebur128 1.2.6
// counts it without its histogram: the K-weighted mean square of 400 ms blocks taken every
// 100 ms, gated at -70 LUFS and then at 10 LU below the mean of the blocks kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "loudness/k_weighting.h"
#include "loudness/sample_block.h"

namespace loudness {

// Feeds two interleaved channels in pieces of any size, as one stream. A block is counted once
// its last 100 ms are fed (the first after 400 ms); frames after the last whole 100 ms count for
// nothing. Keeps one number per 100 ms above -70 LUFS (288 kB an hour).
class LoudnessMeter {
 public:
  // `frames` frames of little-endian 16-bit samples (4 bytes a frame) at any byte address.
  void addPcm16(const std::uint8_t* bytes, std::size_t frames);
  // `frames` frames of samples whose full scale is 1.0.
  void addFloat(const float* samples, std::size_t frames);
  // A whole track of little-endian 16-bit frames, for a meter fed nothing before and nothing
  // after: its parts are filtered side by side. The figures are addPcm16's within the rounding
  // of a double. Returns the track's sample peak (full scale 1.0), read on the way.
  float addWholePcm16(const std::uint8_t* bytes, std::size_t frames);

  // In LUFS; -infinity when no block passes the gates: silence, or less than 400 ms fed.
  double integratedLufs() const;
  // The mean squares of the 3 s short-term blocks taken every second (the first after 3 s)
  // that pass the -70 LUFS gate, in order: what the loudness range is taken from.
  const std::vector<double>& shortTermBlocks() const { return shortTermBlocks_; }

 private:
  friend class TrackMeter;
  friend double programmeLoudnessLufs(const std::vector<const LoudnessMeter*>& meters);
  void add(const SampleBlock& block) { addFrames(block.samples(), block.frames()); }
  void addFrames(const float* samples, std::size_t frames);
  // Counts a whole 100 ms segment whose K-weighted squares add up to `squares`.
  void completeSegment(double squares);

  SampleBlock block_;
  KWeightingFilter filter_;
  std::size_t segmentFrames_ = 0;
  double segmentSquares_ = 0.0;
  // The squares of the last three whole 100 ms segments, the newest last, and how many there were.
  double earlierSegments_[3] = {};
  std::size_t wholeSegments_ = 0;
  // The mean squares of the blocks above the absolute gate, in order.
  std::vector<double> gatedBlocks_;
  // A short-term block spans 30 segments of 100 ms; their squares are kept as a ring written at
  // wholeSegments_ % kShortTermSegments.
  static constexpr std::size_t kShortTermSegments = 30;
  double recentSegments_[kShortTermSegments] = {};
  std::vector<double> shortTermBlocks_;
};

// The integrated loudness in LUFS of the audio of all meters as one programme (an album): their
// blocks gated together. -infinity when none passes the gates or there are no meters; null
// meters are left out.
double programmeLoudnessLufs(const std::vector<const LoudnessMeter*>& meters);

}  // namespace loudness
