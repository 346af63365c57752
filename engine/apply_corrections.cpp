#include "engine/apply_corrections.h"

#include "engine/pcm_access.h"
#include "engine/simd.h"

namespace engine {

namespace {

WorkingGains workingGains(const ChannelGains& gains) {
  return {gains.low, gains.middle, gains.high};
}

void lowerGains(WorkingGains& gains, double factor) {
  gains.low *= factor;
  gains.middle *= factor;
  gains.high *= factor;
}

// The output value of one channel's sum, truncated toward zero within ±32766. Beyond that the
// value is clamped and, unless ignoreClicks, the channel's gains are lowered for the rest of
// the pass so that the same band values would give ±32764.
inline std::int16_t limitSum(double sum, WorkingGains& gains, bool ignoreClicks) {
  if (sum > kClampLevel) {
    if (!ignoreClicks) lowerGains(gains, kResetLevel / sum);
    return static_cast<std::int16_t>(kClampLevel);
  }
  if (sum < -kClampLevel) {
    if (!ignoreClicks) lowerGains(gains, -kResetLevel / sum);
    return static_cast<std::int16_t>(-kClampLevel);
  }
  return static_cast<std::int16_t>(sum);
}

// The low and middle products are added first, the high one last; the order is part of the
// result's exact bits.
inline double recombine(const WorkingGains& gains, std::int16_t low, std::int16_t middle,
                        std::int16_t high) {
  return (gains.low * low + gains.middle * middle) + gains.high * high;
}

// Frame by frame in plain double arithmetic over the frames of [begin, end). Every frame that
// the limiter may act on goes this way, so that a lowered gain applies from the next value on.
template <bool kIgnoreClicks>
void applyFramesPlainly(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                        std::uint32_t end, WorkingGains& left, WorkingGains& right) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  for (std::uint32_t k = begin; k < end; k += kFrameBytes) {
    const double leftSum = recombine(left, loadSample(lowPlane + k), loadSample(samples + k),
                                     loadSample(highPlane + k));
    storeSample(samples + k, limitSum(leftSum, left, kIgnoreClicks));
    const double rightSum =
        recombine(right, loadSample(lowPlane + k + kRightOffset),
                  loadSample(samples + k + kRightOffset), loadSample(highPlane + k + kRightOffset));
    storeSample(samples + k + kRightOffset, limitSum(rightSum, right, kIgnoreClicks));
  }
}

#if defined(SONBALANCER_SSE2)

// Two frames at a time, each frame's left and right values as the two lanes of a double
// vector. The lanes do exactly the scalar operations: the 16-bit values convert to double
// exactly, and each lane's products and sums are the same IEEE double operations in the same
// order. Only when a sum may be clamped does the pair go the plain way.
constexpr std::uint32_t kPairBytes = 8;
constexpr std::uint32_t kPrefetchBytes = 4096;

struct LaneGains {
  __m128d low;
  __m128d middle;
  __m128d high;
};

// Lane 0 holds the left gain, lane 1 the right one.
LaneGains laneGains(const WorkingGains& left, const WorkingGains& right) {
  return {_mm_set_pd(right.low, left.low), _mm_set_pd(right.middle, left.middle),
          _mm_set_pd(right.high, left.high)};
}

struct FramePair {
  __m128d first;
  __m128d second;
};

inline FramePair loadPair(const std::uint8_t* at) {
  const __m128i values = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at));
  // Each 16-bit value moved to the top of a 32-bit lane and shifted back down, sign and all.
  const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(values, values), 16);
  return {_mm_cvtepi32_pd(wide), _mm_cvtepi32_pd(_mm_shuffle_epi32(wide, 0xEE))};
}

inline __m128d recombineLanes(const LaneGains& gains, __m128d low, __m128d middle, __m128d high) {
  return _mm_add_pd(_mm_add_pd(_mm_mul_pd(gains.low, low), _mm_mul_pd(gains.middle, middle)),
                    _mm_mul_pd(gains.high, high));
}

// Truncates toward zero; every lane must already lie within ±32766, so the narrowing pack
// never saturates.
inline void storePair(std::uint8_t* at, __m128d first, __m128d second) {
  const __m128i wide = _mm_unpacklo_epi64(_mm_cvttpd_epi32(first), _mm_cvttpd_epi32(second));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_packs_epi32(wide, wide));
}

template <bool kIgnoreClicks>
void applyFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                 std::uint32_t end, WorkingGains& left, WorkingGains& right) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  const std::uint32_t prefetchEnd = wholeFrameBytes(targetLength);
  const std::uint32_t pairsEnd = begin + ((end - begin) & ~(kPairBytes - 1));
  const __m128d clampLevel = _mm_set1_pd(kClampLevel);
  const __m128d negativeClampLevel = _mm_set1_pd(-kClampLevel);
  const __m128d magnitudeBits = _mm_castsi128_pd(_mm_set1_epi64x(0x7FFF'FFFF'FFFF'FFFF));
  LaneGains gains = laneGains(left, right);
  for (std::uint32_t k = begin; k < pairsEnd; k += kPairBytes) {
    if (k % kCacheLineBytes == 0 && k + kPrefetchBytes < prefetchEnd) {
      prefetchPlanes(samples, lowPlane, highPlane, k + kPrefetchBytes);
    }
    const FramePair low = loadPair(lowPlane + k);
    const FramePair middle = loadPair(samples + k);
    const FramePair high = loadPair(highPlane + k);
    __m128d first = recombineLanes(gains, low.first, middle.first, high.first);
    __m128d second = recombineLanes(gains, low.second, middle.second, high.second);
    if constexpr (kIgnoreClicks) {
      // The gains never change, so a sum beyond the clamp level is simply held at it.
      first = _mm_min_pd(_mm_max_pd(first, negativeClampLevel), clampLevel);
      second = _mm_min_pd(_mm_max_pd(second, negativeClampLevel), clampLevel);
    } else {
      // Sums are never NaN, so a largest magnitude not above the clamp level means no value
      // of the pair is clamped and the gains stay as they are.
      const __m128d largest =
          _mm_max_pd(_mm_and_pd(first, magnitudeBits), _mm_and_pd(second, magnitudeBits));
      if (_mm_movemask_pd(_mm_cmpgt_pd(largest, clampLevel)) != 0) {
        applyFramesPlainly<false>(samples, targetLength, k, k + kPairBytes, left, right);
        gains = laneGains(left, right);
        continue;
      }
    }
    storePair(samples + k, first, second);
  }
  applyFramesPlainly<kIgnoreClicks>(samples, targetLength, pairsEnd, end, left, right);
}

#if defined(SONBALANCER_AVX2)

// Four frames at a time in four-lane double vectors, on processors that have them: the same
// lanes, products and sums as the pairs above, in the same order, so every bit is as theirs.
constexpr std::uint32_t kQuadBytes = 16;

__attribute__((target("avx2"))) inline __m256d quadLanes(double left, double right) {
  return _mm256_set_pd(right, left, right, left);
}

struct QuadGains {
  __m256d low;
  __m256d middle;
  __m256d high;
};

__attribute__((target("avx2"))) QuadGains quadGains(const WorkingGains& left,
                                                    const WorkingGains& right) {
  return {quadLanes(left.low, right.low), quadLanes(left.middle, right.middle),
          quadLanes(left.high, right.high)};
}

struct FrameQuad {
  __m256d first;
  __m256d second;
};

__attribute__((target("avx2"))) inline FrameQuad loadQuad(const std::uint8_t* at) {
  const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  return {_mm256_cvtepi32_pd(_mm_cvtepi16_epi32(values)),
          _mm256_cvtepi32_pd(_mm_cvtepi16_epi32(_mm_unpackhi_epi64(values, values)))};
}

__attribute__((target("avx2"))) inline __m256d recombineQuad(const QuadGains& gains, __m256d low,
                                                             __m256d middle, __m256d high) {
  return _mm256_add_pd(
      _mm256_add_pd(_mm256_mul_pd(gains.low, low), _mm256_mul_pd(gains.middle, middle)),
      _mm256_mul_pd(gains.high, high));
}

__attribute__((target("avx2"))) inline void storeQuad(std::uint8_t* at, __m256d first,
                                                      __m256d second) {
  const __m128i values = _mm_packs_epi32(_mm256_cvttpd_epi32(first), _mm256_cvttpd_epi32(second));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), values);
}

template <bool kIgnoreClicks>
__attribute__((target("avx2"))) void applyFramesFourWide(std::uint8_t* samples,
                                                         std::uint32_t targetLength,
                                                         std::uint32_t begin, std::uint32_t end,
                                                         WorkingGains& left, WorkingGains& right) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  const std::uint32_t prefetchEnd = wholeFrameBytes(targetLength);
  const std::uint32_t quadsEnd = begin + (end - begin) / kQuadBytes * kQuadBytes;
  const __m256d clampLevel = _mm256_set1_pd(kClampLevel);
  const __m256d negativeClampLevel = _mm256_set1_pd(-kClampLevel);
  const __m256d magnitudeBits = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFF'FFFF'FFFF'FFFF));
  QuadGains gains = quadGains(left, right);
  for (std::uint32_t k = begin; k < quadsEnd; k += kQuadBytes) {
    if (k % kCacheLineBytes == 0 && k + kPrefetchBytes < prefetchEnd) {
      prefetchPlanes(samples, lowPlane, highPlane, k + kPrefetchBytes);
    }
    const FrameQuad low = loadQuad(lowPlane + k);
    const FrameQuad middle = loadQuad(samples + k);
    const FrameQuad high = loadQuad(highPlane + k);
    __m256d first = recombineQuad(gains, low.first, middle.first, high.first);
    __m256d second = recombineQuad(gains, low.second, middle.second, high.second);
    if constexpr (kIgnoreClicks) {
      first = _mm256_min_pd(_mm256_max_pd(first, negativeClampLevel), clampLevel);
      second = _mm256_min_pd(_mm256_max_pd(second, negativeClampLevel), clampLevel);
    } else {
      const __m256d largest =
          _mm256_max_pd(_mm256_and_pd(first, magnitudeBits), _mm256_and_pd(second, magnitudeBits));
      if (_mm256_movemask_pd(_mm256_cmp_pd(largest, clampLevel, _CMP_GT_OQ)) != 0) {
        applyFramesPlainly<false>(samples, targetLength, k, k + kQuadBytes, left, right);
        gains = quadGains(left, right);
        continue;
      }
    }
    storeQuad(samples + k, first, second);
  }
  applyFramesPlainly<kIgnoreClicks>(samples, targetLength, quadsEnd, end, left, right);
}

#endif

#else

template <bool kIgnoreClicks>
void applyFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                 std::uint32_t end, WorkingGains& left, WorkingGains& right) {
  applyFramesPlainly<kIgnoreClicks>(samples, targetLength, begin, end, left, right);
}

#endif

}  // namespace

CorrectionWalk startCorrections(const Gains& gains, bool ignoreClicks, ProcessLog& log) {
  log.write("Step 4: Applying corrections...\n\n");
  return {workingGains(gains.left), workingGains(gains.right), ignoreClicks};
}

void applyCorrectionsTo(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                        std::uint32_t end, CorrectionWalk& walk) {
#if defined(SONBALANCER_AVX2)
  if (hasAvx2()) {
    if (walk.ignoreClicks) {
      applyFramesFourWide<true>(samples, targetLength, begin, end, walk.left, walk.right);
    } else {
      applyFramesFourWide<false>(samples, targetLength, begin, end, walk.left, walk.right);
    }
    return;
  }
#endif
  if (walk.ignoreClicks) {
    applyFrames<true>(samples, targetLength, begin, end, walk.left, walk.right);
  } else {
    applyFrames<false>(samples, targetLength, begin, end, walk.left, walk.right);
  }
}

void applyCorrections(std::uint8_t* samples, std::uint32_t targetLength, const Gains& gains,
                      bool ignoreClicks, ProcessLog& log) {
  CorrectionWalk walk = startCorrections(gains, ignoreClicks, log);
  applyCorrectionsTo(samples, targetLength, 0, wholeFrameBytes(targetLength), walk);
}

}  // namespace engine
