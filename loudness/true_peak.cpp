#include "loudness/true_peak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "engine/simd.h"
#include "loudness/decibels.h"

namespace loudness {

namespace {

// libebur128 1.2.6 oversamples rates below 96 kHz four times with a 49-tap windowed sinc split
// into four phases. It drops coefficients of this magnitude or less: the sinc's zeros, which
// leave phase 0 the sample 6 frames back alone, and the window's two ends. Phases 1 to 3 keep 12
// taps each, tap t weighing the sample t frames before the newest.
constexpr int kTaps = 49;
constexpr int kFactor = 4;
constexpr int kPhases = 3;
constexpr int kPhaseTaps = 12;
constexpr double kDroppedCoefficient = 0.000001;

// Covers the single-precision rounding of a 12-term sum of products: its error is at most
// 12·2^-24 / (1 - 12·2^-24) = 7.2e-7 of the sum of the products' magnitudes.
constexpr double kRoundingMargin = 1.0 + 1e-6;

struct Interpolator {
  float taps[kPhases][kPhaseTaps] = {};
  // No interpolated value exceeds the largest sample it reaches times this: the largest sum of
  // one phase's coefficient magnitudes, with the rounding margin.
  double reach = 1.0;
  // The largest magnitude of one phase's coefficient sum: what a constant comes out as.
  double level = 1.0;
};

Interpolator makeInterpolator() {
  Interpolator interpolator;
  double magnitudeSums[kPhases] = {};
  double sums[kPhases] = {};
  for (int j = 0; j < kTaps; ++j) {
    // The sinc and Hann window formed exactly as libebur128 forms them, in double.
    const double m = static_cast<double>(j) - static_cast<double>(kTaps - 1) / 2.0;
    double c = 1.0;
    if (std::fabs(m) > kDroppedCoefficient) {
      c = std::sin(m * std::numbers::pi / kFactor) / (m * std::numbers::pi / kFactor);
    }
    c *= 0.5 * (1 - std::cos(2 * std::numbers::pi * j / (kTaps - 1)));
    const int phase = j % kFactor;
    if (phase == 0 || std::fabs(c) <= kDroppedCoefficient) continue;
    interpolator.taps[phase - 1][j / kFactor] = static_cast<float>(c);
    magnitudeSums[phase - 1] += std::fabs(static_cast<float>(c));
    sums[phase - 1] += static_cast<float>(c);
  }
  for (double sum : magnitudeSums) {
    interpolator.reach = std::max(interpolator.reach, sum * kRoundingMargin);
  }
  interpolator.level = 0.0;
  for (double sum : sums) interpolator.level = std::max(interpolator.level, std::fabs(sum));
  return interpolator;
}

const Interpolator& interpolator() {
  static const Interpolator made = makeInterpolator();
  return made;
}

// The largest magnitude of phases 1 to 3 for frames [begin, end) of channels [firstChannel,
// endChannel). Every path sums the products in the same order, so all give the same bits.
float interpolatedPeakPlainly(const float* samples, std::size_t begin, std::size_t end,
                              std::size_t firstChannel = 0, std::size_t endChannel = kChannels) {
  const Interpolator& in = interpolator();
  float peak = 0.0f;
  for (std::size_t n = begin; n < end; ++n) {
    for (std::size_t channel = firstChannel; channel < endChannel; ++channel) {
      const float* newest = samples + n * kChannels + channel;
      for (int phase = 0; phase < kPhases; ++phase) {
        float sum = in.taps[phase][0] * newest[0];
        for (int t = 1; t < kPhaseTaps; ++t) {
          sum += in.taps[phase][t] * newest[-t * static_cast<std::ptrdiff_t>(kChannels)];
        }
        peak = std::max(peak, std::fabs(sum));
      }
    }
  }
  return peak;
}

#if defined(SONBALANCER_SSE2)

// Two frames of both channels a vector.
float interpolatedPeakTwoWide(const float* samples, std::size_t frames) {
  const Interpolator& in = interpolator();
  const __m128 magnitudeBits = _mm_castsi128_ps(_mm_set1_epi32(0x7FFF'FFFF));
  constexpr std::size_t kLaneFrames = 2;
  const std::size_t vectorEnd = frames / kLaneFrames * kLaneFrames;
  __m128 peaks = _mm_setzero_ps();
  for (std::size_t n = 0; n < vectorEnd; n += kLaneFrames) {
    const float* newest = samples + n * kChannels;
    __m128 reached[kPhaseTaps];
    for (int t = 0; t < kPhaseTaps; ++t) {
      reached[t] = _mm_loadu_ps(newest - t * static_cast<std::ptrdiff_t>(kChannels));
    }
    for (int phase = 0; phase < kPhases; ++phase) {
      __m128 sum = _mm_mul_ps(_mm_set1_ps(in.taps[phase][0]), reached[0]);
      for (int t = 1; t < kPhaseTaps; ++t) {
        sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(in.taps[phase][t]), reached[t]));
      }
      peaks = _mm_max_ps(peaks, _mm_and_ps(sum, magnitudeBits));
    }
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, peaks);
  const float peak = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
  return std::max(peak, interpolatedPeakPlainly(samples, vectorEnd, frames));
}

// Phases 1 to 3 of two vectors of Floats at once, whose newest values start at newest[0] and
// newest[1], each value `step` floats after the one before it: their largest magnitudes are
// taken into `peaks`, lane by lane. Each sum waits on its last addition, so the six sums of the
// two vectors' three phases go side by side. Every width does each lane's operations in the
// same order. Bits is a vector of as many 32-bit integers.
template <typename Floats, typename Bits>
[[gnu::always_inline]] inline void addTwoVectorPeaks(const float* const (&newest)[2],
                                                     std::ptrdiff_t step, Floats& peaks) {
  const Interpolator& in = interpolator();
  constexpr std::size_t kVectors = 2;
  Floats sums[kVectors][kPhases];
#pragma GCC unroll 2
  for (std::size_t v = 0; v < kVectors; ++v) {
    Floats reached;
    std::memcpy(&reached, newest[v], sizeof reached);
#pragma GCC unroll 3
    for (int phase = 0; phase < kPhases; ++phase) sums[v][phase] = in.taps[phase][0] * reached;
  }
#pragma GCC unroll 11
  for (int t = 1; t < kPhaseTaps; ++t) {
    Floats reached[kVectors];
#pragma GCC unroll 2
    for (std::size_t v = 0; v < kVectors; ++v) {
      std::memcpy(&reached[v], newest[v] - t * step, sizeof reached[v]);
    }
#pragma GCC unroll 3
    for (int phase = 0; phase < kPhases; ++phase) {
#pragma GCC unroll 2
      for (std::size_t v = 0; v < kVectors; ++v) {
        sums[v][phase] = sums[v][phase] + in.taps[phase][t] * reached[v];
      }
    }
  }
#pragma GCC unroll 2
  for (std::size_t v = 0; v < kVectors; ++v) {
#pragma GCC unroll 3
    for (int phase = 0; phase < kPhases; ++phase) {
      Bits bits;
      std::memcpy(&bits, &sums[v][phase], sizeof bits);
      bits &= 0x7FFF'FFFF;
      Floats magnitude;
      std::memcpy(&magnitude, &bits, sizeof magnitude);
      peaks = peaks < magnitude ? magnitude : peaks;
    }
  }
}

#if defined(SONBALANCER_AVX2)
using EightBits = std::int32_t __attribute__((vector_size(8 * sizeof(std::int32_t))));

// Four frames of both channels a vector, on processors that have AVX2, two vectors at a time
// where there are eight frames.
__attribute__((target("avx2"))) float interpolatedPeakFourWide(const float* samples,
                                                               std::size_t frames) {
  const Interpolator& in = interpolator();
  const __m256 magnitudeBits = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFF'FFFF));
  constexpr std::size_t kLaneFrames = 4;
  const auto history = [](int t) { return -t * static_cast<std::ptrdiff_t>(kChannels); };
  __m256 peaks = _mm256_setzero_ps();
  std::size_t n = 0;
  for (; n + 2 * kLaneFrames <= frames; n += 2 * kLaneFrames) {
    const float* const newest[2] = {samples + n * kChannels,
                                    samples + (n + kLaneFrames) * kChannels};
    addTwoVectorPeaks<__m256, EightBits>(newest, kChannels, peaks);
  }
  for (; n + kLaneFrames <= frames; n += kLaneFrames) {
    const float* newest = samples + n * kChannels;
    for (int phase = 0; phase < kPhases; ++phase) {
      __m256 sum = _mm256_mul_ps(_mm256_set1_ps(in.taps[phase][0]), _mm256_loadu_ps(newest));
      for (int t = 1; t < kPhaseTaps; ++t) {
        sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_set1_ps(in.taps[phase][t]),
                                               _mm256_loadu_ps(newest + history(t))));
      }
      peaks = _mm256_max_ps(peaks, _mm256_and_ps(sum, magnitudeBits));
    }
  }
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, peaks);
  const float peak = *std::max_element(lanes, lanes + 8);
  return std::max(peak, interpolatedPeakPlainly(samples, n, frames));
}

// One channel's samples of at most kStretchFrames frames and their history, side by side.
using ChannelValues = float[kHistoryFrames + kStretchFrames];

__attribute__((target("avx2"))) void copyChannel(const float* samples, std::size_t frames,
                                                 std::size_t channel, ChannelValues& values) {
  // Four frames a step: the channel's four samples gathered into one half of a vector.
  const float* oldest = samples - kHistoryFrames * kChannels;
  const __m256i gather = channel == 0 ? _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7)
                                      : _mm256_setr_epi32(1, 3, 5, 7, 0, 2, 4, 6);
  const std::size_t count = kHistoryFrames + frames;
  std::size_t copied = 0;
  for (; copied + 4 <= count; copied += 4) {
    const __m256 four =
        _mm256_permutevar8x32_ps(_mm256_loadu_ps(oldest + copied * kChannels), gather);
    _mm_storeu_ps(values + copied, _mm256_castps256_ps128(four));
  }
  for (; copied < count; ++copied) values[copied] = oldest[copied * kChannels + channel];
}

// One channel of at most kStretchFrames frames, eight frames a vector, from a copy of that
// channel's samples and their history side by side.
__attribute__((target("avx2"))) float channelPeakEightWide(const float* samples, std::size_t frames,
                                                           std::size_t channel) {
  ChannelValues values;
  copyChannel(samples, frames, channel, values);
  constexpr std::size_t kLaneFrames = 8;
  __m256 peaks = _mm256_setzero_ps();
  std::size_t n = 0;
  for (; n + 2 * kLaneFrames <= frames; n += 2 * kLaneFrames) {
    const float* const newest[2] = {values + kHistoryFrames + n,
                                    values + kHistoryFrames + n + kLaneFrames};
    addTwoVectorPeaks<__m256, EightBits>(newest, 1, peaks);
  }
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, peaks);
  const float peak = *std::max_element(lanes, lanes + 8);
  return std::max(peak, interpolatedPeakPlainly(samples, n, frames, channel, channel + 1));
}

#endif

#if defined(SONBALANCER_AVX512)
SONBALANCER_AVX512_WALKS_BEGIN

using SixteenBits = std::int32_t __attribute__((vector_size(16 * sizeof(std::int32_t))));

// Eight frames of both channels a vector, two vectors a step; what is left, four frames a
// vector.
__attribute__((target("avx512f"))) float interpolatedPeakEightWide(const float* samples,
                                                                   std::size_t frames) {
  constexpr std::size_t kLaneFrames = 8;
  __m512 peaks = _mm512_setzero_ps();
  std::size_t n = 0;
  for (; n + 2 * kLaneFrames <= frames; n += 2 * kLaneFrames) {
    const float* const newest[2] = {samples + n * kChannels,
                                    samples + (n + kLaneFrames) * kChannels};
    addTwoVectorPeaks<__m512, SixteenBits>(newest, kChannels, peaks);
  }
  const float rest = n < frames ? interpolatedPeakFourWide(samples + n * kChannels, frames - n) : 0;
  return std::max(_mm512_reduce_max_ps(peaks), rest);
}

// One channel, sixteen frames a vector, from a copy of that channel's samples; what is left,
// eight frames a vector.
__attribute__((target("avx512f"))) float channelPeakSixteenWide(const float* samples,
                                                                std::size_t frames,
                                                                std::size_t channel) {
  constexpr std::size_t kLaneFrames = 16;
  static_assert(kStretchFrames == 2 * kLaneFrames, "a whole stretch is one step");
  if (frames < kStretchFrames) return channelPeakEightWide(samples, frames, channel);
  ChannelValues values;
  copyChannel(samples, frames, channel, values);
  const float* const newest[2] = {values + kHistoryFrames, values + kHistoryFrames + kLaneFrames};
  __m512 peaks = _mm512_setzero_ps();
  addTwoVectorPeaks<__m512, SixteenBits>(newest, 1, peaks);
  return _mm512_reduce_max_ps(peaks);
}

SONBALANCER_AVX512_WALKS_END
#endif

float interpolatedPeak(const float* samples, std::size_t frames) {
#if defined(SONBALANCER_AVX512)
  if (engine::hasAvx512()) return interpolatedPeakEightWide(samples, frames);
#endif
#if defined(SONBALANCER_AVX2)
  if (engine::hasAvx2()) return interpolatedPeakFourWide(samples, frames);
#endif
  return interpolatedPeakTwoWide(samples, frames);
}

#else

float interpolatedPeak(const float* samples, std::size_t frames) {
  return interpolatedPeakPlainly(samples, 0, frames);
}

#endif

// The largest magnitude of phases 1 to 3 for `frames` frames (at most kStretchFrames) of one
// channel.
float channelPeak(const float* samples, std::size_t frames, std::size_t channel) {
#if defined(SONBALANCER_AVX512)
  if (engine::hasAvx512()) return channelPeakSixteenWide(samples, frames, channel);
#endif
#if defined(SONBALANCER_AVX2)
  if (engine::hasAvx2()) return channelPeakEightWide(samples, frames, channel);
#endif
  return interpolatedPeakPlainly(samples, 0, frames, channel, channel + 1);
}

// The lowest and highest sample of each channel in `frames` frames from `first`.
struct ChannelRanges {
  float low[kChannels];
  float high[kChannels];
};

#if defined(SONBALANCER_AVX512)
SONBALANCER_AVX512_WALKS_BEGIN
// Eight frames a vector, the channels alternating in its lanes; the last frames in a vector of
// their own whose other lanes are left out.
__attribute__((target("avx512f"))) ChannelRanges channelRangesEightWide(const float* first,
                                                                        std::size_t frames) {
  constexpr std::size_t kLaneFrames = 8;
  __m512 low = _mm512_set1_ps(std::numeric_limits<float>::infinity());
  __m512 high = _mm512_set1_ps(-std::numeric_limits<float>::infinity());
  std::size_t n = 0;
  for (; n + kLaneFrames <= frames; n += kLaneFrames) {
    const __m512 values = _mm512_loadu_ps(first + n * kChannels);
    low = _mm512_min_ps(low, values);
    high = _mm512_max_ps(high, values);
  }
  if (n < frames) {
    const auto rest = static_cast<__mmask16>((1u << ((frames - n) * kChannels)) - 1);
    const __m512 values = _mm512_maskz_loadu_ps(rest, first + n * kChannels);
    low = _mm512_mask_min_ps(low, rest, low, values);
    high = _mm512_mask_max_ps(high, rest, high, values);
  }
  // Halved down to one frame: each lane keeps its channel.
  const __m256 lowEight =
      _mm256_min_ps(_mm512_castps512_ps256(low),
                    _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(low), 1)));
  const __m256 highEight =
      _mm256_max_ps(_mm512_castps512_ps256(high),
                    _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(high), 1)));
  const __m128 lowFour =
      _mm_min_ps(_mm256_castps256_ps128(lowEight), _mm256_extractf128_ps(lowEight, 1));
  const __m128 highFour =
      _mm_max_ps(_mm256_castps256_ps128(highEight), _mm256_extractf128_ps(highEight, 1));
  alignas(16) float lows[4];
  alignas(16) float highs[4];
  _mm_store_ps(lows, _mm_min_ps(lowFour, _mm_movehl_ps(lowFour, lowFour)));
  _mm_store_ps(highs, _mm_max_ps(highFour, _mm_movehl_ps(highFour, highFour)));
  return {{lows[0], lows[1]}, {highs[0], highs[1]}};
}
SONBALANCER_AVX512_WALKS_END
#endif

#if defined(SONBALANCER_SSE2)

ChannelRanges channelRanges(const float* first, std::size_t frames) {
#if defined(SONBALANCER_AVX512)
  if (engine::hasAvx512()) return channelRangesEightWide(first, frames);
#endif
  // Two frames a vector: lanes 0 and 2 hold the left channel, 1 and 3 the right. Two vectors a
  // step, into two pairs of extremes, so that each minimum and maximum waits on its own.
  const std::size_t vectorEnd = frames / 2 * 2;
  __m128 low = _mm_castpd_ps(_mm_load1_pd(reinterpret_cast<const double*>(first)));
  __m128 high = low;
  __m128 otherLow = low;
  __m128 otherHigh = low;
  std::size_t n = 0;
  for (; n + 4 <= vectorEnd; n += 4) {
    const __m128 values = _mm_loadu_ps(first + n * kChannels);
    const __m128 others = _mm_loadu_ps(first + (n + 2) * kChannels);
    low = _mm_min_ps(low, values);
    high = _mm_max_ps(high, values);
    otherLow = _mm_min_ps(otherLow, others);
    otherHigh = _mm_max_ps(otherHigh, others);
  }
  low = _mm_min_ps(low, otherLow);
  high = _mm_max_ps(high, otherHigh);
  if (n < vectorEnd) {
    const __m128 values = _mm_loadu_ps(first + n * kChannels);
    low = _mm_min_ps(low, values);
    high = _mm_max_ps(high, values);
  }
  alignas(16) float lows[4];
  alignas(16) float highs[4];
  _mm_store_ps(lows, low);
  _mm_store_ps(highs, high);
  ChannelRanges ranges;
  for (std::size_t channel = 0; channel < kChannels; ++channel) {
    ranges.low[channel] = std::min(lows[channel], lows[channel + 2]);
    ranges.high[channel] = std::max(highs[channel], highs[channel + 2]);
    for (std::size_t n = vectorEnd; n < frames; ++n) {
      ranges.low[channel] = std::min(ranges.low[channel], first[n * kChannels + channel]);
      ranges.high[channel] = std::max(ranges.high[channel], first[n * kChannels + channel]);
    }
  }
  return ranges;
}

#else

ChannelRanges channelRanges(const float* first, std::size_t frames) {
  ChannelRanges ranges;
  for (std::size_t channel = 0; channel < kChannels; ++channel) {
    ranges.low[channel] = ranges.high[channel] = first[channel];
    for (std::size_t n = 1; n < frames; ++n) {
      ranges.low[channel] = std::min(ranges.low[channel], first[n * kChannels + channel]);
      ranges.high[channel] = std::max(ranges.high[channel], first[n * kChannels + channel]);
    }
  }
  return ranges;
}

#endif

// No value interpolated for `frames` frames from `first`, which reach back kHistoryFrames
// before it, exceeds this. Each channel's samples lie within r of their mid-range m, so a
// phase gives at most |m| times its coefficient sum plus r times its coefficient magnitudes,
// plus the rounding of the float sum (the rounding margin of those magnitudes times the largest
// sample, |m| + r). Near the crests of the smooth waveforms of music this is far below the
// largest sample times the magnitudes alone. One bound a channel.
std::array<double, kChannels> rangeReach(const float* first, std::size_t frames) {
  const Interpolator& in = interpolator();
  const ChannelRanges ranges =
      channelRanges(first - kHistoryFrames * kChannels, frames + kHistoryFrames);
  std::array<double, kChannels> bounds;
  for (std::size_t channel = 0; channel < kChannels; ++channel) {
    const double low = ranges.low[channel];
    const double high = ranges.high[channel];
    const double middle = std::fabs((high + low) / 2.0);
    const double radius = (high - low) / 2.0;
    bounds[channel] = middle * in.level + radius * in.reach +
                      (middle + radius) * in.reach * (kRoundingMargin - 1.0);
  }
  return bounds;
}

}  // namespace

TruePeakMeter::TruePeakMeter(double ceilingDbtp)
    // A millionth under the ceiling: a block that the float rounding of the ceiling would put
    // just under it is still interpolated.
    : floor_(static_cast<float>(std::pow(10.0, ceilingDbtp / 20.0) * (1.0 - 1e-6))) {}

void TruePeakMeter::add(const SampleBlock& block) {
  samplePeak_ = std::max(samplePeak_, block.peak());
  // Phase 0 gives the samples themselves, so they count as interpolated values.
  truePeak_ = std::max(truePeak_, block.peak());
  // Exact shortcut: no value interpolated from a stretch's reach can exceed the maximum so far
  // or the floor below which the figure is not asked for. Whole
  // blocks are ruled out first; in a block that cannot be, only the stretches near the
  // waveform's crests are interpolated, and of those only the channels whose range could reach.
  const double reach = interpolator().reach;
  if (cannotExceed(static_cast<double>(block.reachPeak()) * reach)) return;
  for (std::size_t k = 0; k * kStretchFrames < block.frames(); ++k) {
    if (cannotExceed(static_cast<double>(block.stretchReachPeak(k)) * reach)) continue;
    const std::size_t begin = k * kStretchFrames;
    addStretch(block.samples() + begin * kChannels,
               std::min(kStretchFrames, block.frames() - begin));
  }
}

void TruePeakMeter::addStretch(const float* first, std::size_t frames) {
  const std::array<double, kChannels> bounds = rangeReach(first, frames);
  const bool left = !cannotExceed(bounds[0]);
  const bool right = !cannotExceed(bounds[1]);
  if (left && right) {
    truePeak_ = std::max(truePeak_, interpolatedPeak(first, frames));
  } else if (left || right) {
    truePeak_ = std::max(truePeak_, channelPeak(first, frames, left ? 0 : 1));
  }
}

void TruePeakMeter::addPcm16(const std::uint8_t* bytes, std::size_t frames) {
  block_.walkPcm16(bytes, frames, [this](const SampleBlock& block) { add(block); });
}

// The sample peak is read ahead, and each block's stretch peaks from the 16-bit samples: of a
// block, only the frames from the first stretch that could reach to the last, with their
// history, are converted. A stretch is passed over only when it cannot exceed the peak so far,
// which starts at the whole track's sample peak (its history judged by the whole stretch before
// it), so the figures are addPcm16's.
void TruePeakMeter::addWholePcm16(const std::uint8_t* bytes, std::size_t frames) {
  addWholePcm16(bytes, frames, pcm16SamplePeak(bytes, frames));
}

void TruePeakMeter::addWholePcm16(const std::uint8_t* bytes, std::size_t frames, float samplePeak) {
  samplePeak_ = std::max(samplePeak_, samplePeak);
  truePeak_ = std::max(truePeak_, samplePeak_);
  const double reach = interpolator().reach;
  // Silence before the first frame.
  float stretchPeaks[1 + kBlockStretches] = {};
  float converted[(kHistoryFrames + kSampleBlockFrames) * kChannels];
  for (std::size_t start = 0; start < frames; start += kSampleBlockFrames) {
    const std::size_t blockFrames = std::min(kSampleBlockFrames, frames - start);
    const std::size_t stretches = (blockFrames + kStretchFrames - 1) / kStretchFrames;
    pcm16StretchPeaks(bytes + start * kPcm16FrameBytes, blockFrames, stretchPeaks + 1);
    // Stretch k of the block, with the one before it.
    auto mayReach = [&](std::size_t k) {
      const float reachPeak = std::max(stretchPeaks[k + 1], stretchPeaks[k]);
      return !cannotExceed(static_cast<double>(reachPeak) * reach);
    };
    std::size_t first = 0;
    while (first < stretches && !mayReach(first)) ++first;
    if (first < stretches) {
      std::size_t last = stretches - 1;
      while (!mayReach(last)) --last;
      const std::size_t begin = start + first * kStretchFrames;
      const std::size_t end = std::min(start + (last + 1) * kStretchFrames, frames);
      const std::size_t history = std::min(begin, kHistoryFrames);
      std::fill(converted, converted + (kHistoryFrames - history) * kChannels, 0.0f);
      pcm16ToFloat(bytes + (begin - history) * kPcm16FrameBytes,
                   (history + end - begin) * kChannels,
                   converted + (kHistoryFrames - history) * kChannels);
      for (std::size_t k = first; k <= last; ++k) {
        if (!mayReach(k)) continue;
        const std::size_t offset = (k - first) * kStretchFrames;
        addStretch(converted + (kHistoryFrames + offset) * kChannels,
                   std::min(kStretchFrames, end - begin - offset));
      }
    }
    stretchPeaks[0] = stretchPeaks[stretches];
  }
}

void TruePeakMeter::addFloat(const float* samples, std::size_t frames) {
  block_.walkFloat(samples, frames, [this](const SampleBlock& block) { add(block); });
}

double TruePeakMeter::truePeakDbtp() const { return decibels(truePeak_); }

double truePeakDbtpOfPcm16(const std::uint8_t* bytes, std::size_t byteCount) {
  const std::size_t frames = byteCount / kPcm16FrameBytes;
  TruePeakMeter meter;
  meter.addWholePcm16(bytes, frames);
  return meter.truePeakDbtp();
}

}  // namespace loudness
