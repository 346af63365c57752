// The K-weighting of BS.1770 at 44100 Hz as libebur128 1.2.6 forms it: a high shelf and a high
// pass from their analogue prototypes, multiplied into one fourth-order filter run in double.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "loudness/sample_block.h"

namespace loudness {

// Direct form II: v = x - a1·v1 - a2·v2 - a3·v3 - a4·v4, y = b0·v + b1·v1 + ... + b4·v4.
struct KWeighting {
  double b[5];
  double a[5];
};

// The coefficients at 44100 Hz.
const KWeighting& kWeighting();

// The filter's memory for both channels, from silence.
class KWeightingFilter {
 public:
  // Filters `frames` interleaved stereo frames (full scale 1.0) and returns the sum of the
  // squares of both channels' outputs.
  double filterSquares(const float* samples, std::size_t frames);

 private:
  // v1 to v4 of each channel.
  double state_[kChannels][4] = {};
};

// One filter alone waits on its last output at every frame; this many, side by side, keep the
// processor busy.
inline constexpr std::size_t kSideBySideParts = 4;
using PartSquares = std::array<double*, kSideBySideParts>;

// kSideBySideParts stretches of little-endian 16-bit stereo frames, each filtered from silence
// as `segments` segments of `segmentFrames` frames, side by side: the sum of the squares of
// both channels' outputs of each segment of part p goes to squares[p]. Each segment's figure
// is filterSquares' over that segment, summed per channel and then added; every path (eight
// lanes, four, two, plain) gives the same bits. Returns the largest magnitude among the 16-bit
// samples of the parts, which the walk reads anyway.
std::int32_t filterPartsSideBySide(const std::array<const std::uint8_t*, kSideBySideParts>& parts,
                                   std::size_t segments, std::size_t segmentFrames,
                                   const PartSquares& squares);

}  // namespace loudness
