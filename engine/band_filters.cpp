#include "engine/band_filters.h"

#include <algorithm>
#include <cstring>

#include "engine/pcm_access.h"
#include "engine/simd.h"

namespace engine {

namespace {

constexpr std::int16_t limitBand(int value) {
  return static_cast<std::int16_t>(std::clamp(value, -kBandLimit, kBandLimit));
}

// A block is split in three walks: the scaling of every input value and the band arithmetic
// run many values to an instruction, leaving the serial walk of the filters with nothing but
// the recurrences. The scaled values are kept in a small array beside the block.
using ScaledBlock = std::int16_t[kBlockBytes / kSampleBytes];

// Where the block after this one lies in the three planes, and its length (0 at the last).
struct NextBlock {
  const std::uint8_t* input;
  const std::uint8_t* low;
  const std::uint8_t* high;
  std::uint32_t bytes;
};

NextBlock nextBlock(const std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t end) {
  const std::uint8_t* const low = samples + targetLength + end;
  return {samples + end, low, low + targetLength,
          std::min(kBlockBytes, wholeFrameBytes(targetLength) - end)};
}

// filterBlock: the slow and fast states of both channels over the scaled values of `bytes`
// bytes of frames; the slow states go to the low-band plane, the fast states to the high-band
// plane for now.

#if defined(SONBALANCER_SSE2)

// One low-pass of both channels in the low halves of two 64-bit lanes (left, right), the high
// halves 0. Values and states are held offset by 2^15, so u = state + 2^15 and v = x + 2^15 lie
// in [0, 2^16). With c = n / 2^s and m = 2^s − n, state + trunc((x − state)·c) is
// floor((state·m + x·n + bias) / 2^s), the bias 2^s − 1 where x < state as in lowPassed; the
// offset adds 2^15·(m + n) = 2^15·2^s inside, so
//   u' = floor((u·m + v·n + bias) / 2^s),
// every term unsigned and the sum below 2^47. The state's own chain is one multiply, one add
// and one shift; v·n and the bias are ready beside it.
struct LanePass {
  __m128i numerator;   // n in each lane
  __m128i complement;  // m = 2^s − n
  __m128i bias;        // 2^s − 1
  int shift;
};

LanePass lanePass(ExactCoefficient c) {
  const int complement = (1 << c.shift) - static_cast<int>(c.numerator);
  return {_mm_set_epi32(0, static_cast<int>(c.numerator), 0, static_cast<int>(c.numerator)),
          _mm_set_epi32(0, complement, 0, complement),
          _mm_set_epi32(0, (1 << c.shift) - 1, 0, (1 << c.shift) - 1), c.shift};
}

constexpr int kStateOffset = 1 << 15;

inline __m128i lanesLowPassed(__m128i state, __m128i x, const LanePass& pass) {
  const __m128i towardZero = _mm_and_si128(_mm_cmpgt_epi32(state, x), pass.bias);
  const __m128i input = _mm_add_epi64(_mm_mul_epu32(x, pass.numerator), towardZero);
  return _mm_srli_epi64(_mm_add_epi64(_mm_mul_epu32(state, pass.complement), input), pass.shift);
}

// The offset states of both channels as a left and a right 16-bit value.
inline void storeLanePair(std::uint8_t* at, __m128i state) {
  const __m128i pair = _mm_shuffle_epi32(_mm_sub_epi32(state, _mm_set1_epi32(kStateOffset)), 0x08);
  const int bits = _mm_cvtsi128_si32(_mm_packs_epi32(pair, pair));
  std::memcpy(at, &bits, sizeof bits);
}

inline __m128i offsetLanes(std::int64_t left, std::int64_t right) {
  return _mm_set_epi32(0, static_cast<int>(right + kStateOffset), 0,
                       static_cast<int>(left + kStateOffset));
}

void filterBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* lowAt,
                 std::uint8_t* fastAt, FrameFilter& filter, const NextBlock& next) {
  const LanePass slowPass = lanePass(kExactSlowCoefficient);
  const LanePass fastPass = lanePass(kExactFastCoefficient);
  __m128i slow = offsetLanes(filter.left.slow, filter.right.slow);
  __m128i fast = offsetLanes(filter.left.fast, filter.right.fast);
  const __m128i flipSign = _mm_set1_epi16(static_cast<std::int16_t>(0x8000));
  for (std::uint32_t k = 0; k < bytes; k += kFrameBytes) {
    // The filters leave the memory idle for long enough to bring in the next block's input and
    // plane lines, which the walk would otherwise wait for.
    if (k % kCacheLineBytes == 0 && k < next.bytes)
      prefetchPlanes(next.input, next.low, next.high, k);
    int pair;
    std::memcpy(&pair, scaled + k / kSampleBytes, sizeof pair);
    // Flipping the sign bit of a 16-bit value adds 2^15 and leaves it unsigned.
    const __m128i values = _mm_xor_si128(_mm_cvtsi32_si128(pair), flipSign);
    const __m128i x =
        _mm_unpacklo_epi32(_mm_unpacklo_epi16(values, _mm_setzero_si128()), _mm_setzero_si128());
    slow = lanesLowPassed(slow, x, slowPass);
    fast = lanesLowPassed(fast, x, fastPass);
    storeLanePair(lowAt + k, slow);
    storeLanePair(fastAt + k, fast);
  }
  alignas(16) std::int32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), slow);
  filter.left.slow = lanes[0] - kStateOffset;
  filter.right.slow = lanes[2] - kStateOffset;
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), fast);
  filter.left.fast = lanes[0] - kStateOffset;
  filter.right.fast = lanes[2] - kStateOffset;
}

#else

void filterBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* lowAt,
                 std::uint8_t* fastAt, FrameFilter& filter, const NextBlock&) {
  FrameFilter state = filter;
  for (std::uint32_t k = 0; k < bytes; k += kFrameBytes) {
    const std::int64_t left = scaled[k / kSampleBytes];
    const std::int64_t right = scaled[k / kSampleBytes + 1];
    state.left.slow = lowPassed(state.left.slow, left, kExactSlowCoefficient);
    state.left.fast = lowPassed(state.left.fast, left, kExactFastCoefficient);
    state.right.slow = lowPassed(state.right.slow, right, kExactSlowCoefficient);
    state.right.fast = lowPassed(state.right.fast, right, kExactFastCoefficient);
    // Each new state lies between the old state and x, so it stays within 16 bits.
    storeSample(lowAt + k, static_cast<std::int16_t>(state.left.slow));
    storeSample(lowAt + k + kRightOffset, static_cast<std::int16_t>(state.right.slow));
    storeSample(fastAt + k, static_cast<std::int16_t>(state.left.fast));
    storeSample(fastAt + k + kRightOffset, static_cast<std::int16_t>(state.right.fast));
  }
  filter = state;
}

#endif

#if defined(SONBALANCER_SSE2)

#if defined(SONBALANCER_AVX2)
// scaleBlock's operations on eight values at a time. Returns where it stopped.
__attribute__((target("avx2"))) std::uint32_t scaleBlockEightWide(const std::uint8_t* at,
                                                                  std::uint32_t bytes,
                                                                  std::int16_t* scaled) {
  const __m256d inputScale = _mm256_set1_pd(kInputScale);
  std::uint32_t k = 0;
  for (; k + 16 <= bytes; k += 16) {
    const __m256i wide =
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + k)));
    const __m128i first = _mm256_cvttpd_epi32(
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(wide)), inputScale));
    const __m128i second = _mm256_cvttpd_epi32(
        _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(wide, 1)), inputScale));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(scaled + k / kSampleBytes),
                     _mm_packs_epi32(first, second));
  }
  return k;
}
#endif

#if defined(SONBALANCER_AVX512)
SONBALANCER_AVX512_WALKS_BEGIN
// scaleBlock's operations on sixteen values at a time. Returns where it stopped.
__attribute__((target("avx512f"))) std::uint32_t scaleBlockSixteenWide(const std::uint8_t* at,
                                                                       std::uint32_t bytes,
                                                                       std::int16_t* scaled) {
  const __m512d inputScale = _mm512_set1_pd(kInputScale);
  std::uint32_t k = 0;
  for (; k + 32 <= bytes; k += 32) {
    const __m512i wide =
        _mm512_cvtepi16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + k)));
    const __m256i first = _mm512_cvttpd_epi32(
        _mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(wide)), inputScale));
    const __m256i second = _mm512_cvttpd_epi32(
        _mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(wide, 1)), inputScale));
    // Each product lies within 16 bits, so narrowing keeps it.
    const __m512i both = _mm512_inserti64x4(_mm512_castsi256_si512(first), second, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(scaled + k / kSampleBytes),
                        _mm512_cvtepi32_epi16(both));
  }
  return k;
}
SONBALANCER_AVX512_WALKS_END
#endif

// Four values at a time in double lanes: 16-bit value × 0.85f is exact in double, so the
// truncating conversion gives the same as the scalar product.
void scaleBlock(const std::uint8_t* at, std::uint32_t bytes, ScaledBlock& scaled) {
  const __m128d inputScale = _mm_set1_pd(kInputScale);
  std::uint32_t k = 0;
#if defined(SONBALANCER_AVX512)
  if (hasAvx512()) k = scaleBlockSixteenWide(at, bytes, scaled);
#endif
#if defined(SONBALANCER_AVX2)
  if (hasAvx2()) k += scaleBlockEightWide(at + k, bytes - k, scaled + k / kSampleBytes);
#endif
  for (; k + 8 <= bytes; k += 8) {
    const __m128i values = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(at + k));
    const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(values, values), 16);
    const __m128i first = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(wide), inputScale));
    const __m128i second =
        _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(wide, 0xEE)), inputScale));
    const __m128i both = _mm_unpacklo_epi64(first, second);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(scaled + k / kSampleBytes),
                     _mm_packs_epi32(both, both));
  }
  for (; k < bytes; k += 2)
    scaled[k / kSampleBytes] = static_cast<std::int16_t>(scaledInputExactly(loadSample(at + k)));
}

// middle = fast − slow and high = x − fast, each held within ±32766, eight values at a time.
// The saturating subtraction stops at −32768 … 32767, and holding that within ±32766 gives
// what holding the exact difference would.
void bandsOfBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* middleAt,
                  const std::uint8_t* lowAt, std::uint8_t* highAt) {
  const __m128i upperLimit = _mm_set1_epi16(kBandLimit);
  const __m128i lowerLimit = _mm_set1_epi16(-kBandLimit);
  std::uint32_t k = 0;
  for (; k + 16 <= bytes; k += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scaled + k / kSampleBytes));
    const __m128i slow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lowAt + k));
    const __m128i fast = _mm_loadu_si128(reinterpret_cast<const __m128i*>(highAt + k));
    const __m128i middle = _mm_subs_epi16(fast, slow);
    const __m128i high = _mm_subs_epi16(x, fast);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(middleAt + k),
                     _mm_min_epi16(_mm_max_epi16(middle, lowerLimit), upperLimit));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(highAt + k),
                     _mm_min_epi16(_mm_max_epi16(high, lowerLimit), upperLimit));
  }
  for (; k < bytes; k += 2) {
    const int fast = loadSample(highAt + k);
    storeSample(middleAt + k, limitBand(fast - loadSample(lowAt + k)));
    storeSample(highAt + k, limitBand(scaled[k / kSampleBytes] - fast));
  }
}

#else

void scaleBlock(const std::uint8_t* at, std::uint32_t bytes, ScaledBlock& scaled) {
  for (std::uint32_t k = 0; k < bytes; k += 2) {
    scaled[k / kSampleBytes] = static_cast<std::int16_t>(scaledInputExactly(loadSample(at + k)));
  }
}

void bandsOfBlock(const ScaledBlock& scaled, std::uint32_t bytes, std::uint8_t* middleAt,
                  const std::uint8_t* lowAt, std::uint8_t* highAt) {
  for (std::uint32_t k = 0; k < bytes; k += 2) {
    const int fast = loadSample(highAt + k);
    storeSample(middleAt + k, limitBand(fast - loadSample(lowAt + k)));
    storeSample(highAt + k, limitBand(scaled[k / kSampleBytes] - fast));
  }
}

#endif

#if defined(SONBALANCER_AVX2)

// lanesLowPassed in four lanes: the left and right states of two blocks.
struct WideLanePass {
  __m256i numerator;
  __m256i complement;
  __m256i bias;
  int shift;
};

__attribute__((target("avx2"))) WideLanePass wideLanePass(ExactCoefficient c) {
  const int complement = (1 << c.shift) - static_cast<int>(c.numerator);
  return {_mm256_set1_epi64x(c.numerator), _mm256_set1_epi64x(complement),
          _mm256_set1_epi64x((std::int64_t{1} << c.shift) - 1), c.shift};
}

__attribute__((target("avx2"))) inline __m256i wideLanesLowPassed(__m256i state, __m256i x,
                                                                  const WideLanePass& pass) {
  const __m256i towardZero = _mm256_and_si256(_mm256_cmpgt_epi32(state, x), pass.bias);
  const __m256i input = _mm256_add_epi64(_mm256_mul_epu32(x, pass.numerator), towardZero);
  return _mm256_srli_epi64(_mm256_add_epi64(_mm256_mul_epu32(state, pass.complement), input),
                           pass.shift);
}

// The filters of two blocks in four lanes (the left and right channels of each), each band's
// squares summed as they come.
struct FourLaneSplit {
  __m256i slow;
  __m256i fast;
  __m256i lowSums;
  __m256i middleSums;
  __m256i highSums;
};

// One frame of each block: the low band is the slow state, the middle band fast − slow and the
// high band x − fast, each of those two held within ±kBandLimit. Only the low 32 bits of each
// 64-bit lane carry a band's value; the signed multiply reads no more.
__attribute__((target("avx2"), always_inline)) inline void splitFourLanes(
    FourLaneSplit& split, __m256i x, const WideLanePass& slowPass, const WideLanePass& fastPass) {
  const __m256i offset = _mm256_set1_epi32(kStateOffset);
  const __m256i upperLimit = _mm256_set1_epi32(kBandLimit);
  const __m256i lowerLimit = _mm256_set1_epi32(-kBandLimit);
  split.slow = wideLanesLowPassed(split.slow, x, slowPass);
  split.fast = wideLanesLowPassed(split.fast, x, fastPass);
  const __m256i low = _mm256_sub_epi32(split.slow, offset);
  const __m256i middle = _mm256_min_epi32(
      _mm256_max_epi32(_mm256_sub_epi32(split.fast, split.slow), lowerLimit), upperLimit);
  const __m256i high =
      _mm256_min_epi32(_mm256_max_epi32(_mm256_sub_epi32(x, split.fast), lowerLimit), upperLimit);
  split.lowSums = _mm256_add_epi64(split.lowSums, _mm256_mul_epi32(low, low));
  split.middleSums = _mm256_add_epi64(split.middleSums, _mm256_mul_epi32(middle, middle));
  split.highSums = _mm256_add_epi64(split.highSums, _mm256_mul_epi32(high, high));
}

// The filters of two blocks side by side, so that nothing is written. The frames are taken four
// of each block at a time and interleaved into the lanes in the vector, since the walk is bound
// by how many instructions it issues rather than by its recurrences.
__attribute__((target("avx2"))) void addBandSquaresFourWide(
    const ScaledBlock& firstScaled, const ScaledBlock& secondScaled, std::uint32_t bytes,
    FrameFilter& firstFilter, FrameFilter& secondFilter, std::int64_t (&sums)[2][3]) {
  const WideLanePass slowPass = wideLanePass(kExactSlowCoefficient);
  const WideLanePass fastPass = wideLanePass(kExactFastCoefficient);
  FourLaneSplit split;
  split.slow = _mm256_set_epi64x(
      secondFilter.right.slow + kStateOffset, secondFilter.left.slow + kStateOffset,
      firstFilter.right.slow + kStateOffset, firstFilter.left.slow + kStateOffset);
  split.fast = _mm256_set_epi64x(
      secondFilter.right.fast + kStateOffset, secondFilter.left.fast + kStateOffset,
      firstFilter.right.fast + kStateOffset, firstFilter.left.fast + kStateOffset);
  split.lowSums = split.middleSums = split.highSums = _mm256_setzero_si256();
  const __m128i flipSign = _mm_set1_epi16(static_cast<std::int16_t>(0x8000));
  std::uint32_t k = 0;
  for (; k + 4 * kFrameBytes <= bytes; k += 4 * kFrameBytes) {
    // A frame's two values make a 32-bit pair: the pairs of the two blocks alternate.
    const __m128i first =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(firstScaled + k / kSampleBytes));
    const __m128i second =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(secondScaled + k / kSampleBytes));
    const __m128i earlier = _mm_xor_si128(_mm_unpacklo_epi32(first, second), flipSign);
    const __m128i later = _mm_xor_si128(_mm_unpackhi_epi32(first, second), flipSign);
    splitFourLanes(split, _mm256_cvtepu16_epi64(earlier), slowPass, fastPass);
    splitFourLanes(split, _mm256_cvtepu16_epi64(_mm_srli_si128(earlier, 8)), slowPass, fastPass);
    splitFourLanes(split, _mm256_cvtepu16_epi64(later), slowPass, fastPass);
    splitFourLanes(split, _mm256_cvtepu16_epi64(_mm_srli_si128(later, 8)), slowPass, fastPass);
  }
  for (; k < bytes; k += kFrameBytes) {
    int firstPair;
    int secondPair;
    std::memcpy(&firstPair, firstScaled + k / kSampleBytes, sizeof firstPair);
    std::memcpy(&secondPair, secondScaled + k / kSampleBytes, sizeof secondPair);
    const __m256i x =
        _mm256_cvtepu16_epi64(_mm_xor_si128(_mm_set_epi32(0, 0, secondPair, firstPair), flipSign));
    splitFourLanes(split, x, slowPass, fastPass);
  }
  const __m256i bandSums[3] = {split.lowSums, split.middleSums, split.highSums};
  alignas(32) std::int64_t lanes[4];
  for (int band = 0; band < 3; ++band) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), bandSums[band]);
    sums[0][band] += lanes[0] + lanes[2];
    sums[1][band] += lanes[1] + lanes[3];
  }
  alignas(32) std::int64_t slowLanes[4];
  alignas(32) std::int64_t fastLanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(slowLanes), split.slow);
  _mm256_store_si256(reinterpret_cast<__m256i*>(fastLanes), split.fast);
  FrameFilter* const filters[2] = {&firstFilter, &secondFilter};
  for (int block = 0; block < 2; ++block) {
    filters[block]->left = {slowLanes[2 * block] - kStateOffset,
                            fastLanes[2 * block] - kStateOffset};
    filters[block]->right = {slowLanes[2 * block + 1] - kStateOffset,
                             fastLanes[2 * block + 1] - kStateOffset};
  }
}

#endif

#if defined(SONBALANCER_AVX512)

SONBALANCER_AVX512_WALKS_BEGIN

// splitFourLanes in eight lanes: the left and right channels of four stretches.
struct EightLanePass {
  __m512i numerator;
  __m512i complement;
  __m512i bias;
  unsigned shift;
};

__attribute__((target("avx512f"))) EightLanePass eightLanePass(ExactCoefficient c) {
  const int complement = (1 << c.shift) - static_cast<int>(c.numerator);
  return {_mm512_set1_epi64(c.numerator), _mm512_set1_epi64(complement),
          _mm512_set1_epi64((std::int64_t{1} << c.shift) - 1), static_cast<unsigned>(c.shift)};
}

__attribute__((target("avx512f"), always_inline)) inline __m512i eightLanesLowPassed(
    __m512i state, __m512i x, const EightLanePass& pass) {
  // The bias is added last: its test and the state's product then wait on the state alike.
  const __m512i towardZero =
      _mm512_and_si512(_mm512_srai_epi64(_mm512_sub_epi64(x, state), 63), pass.bias);
  const __m512i products = _mm512_add_epi64(_mm512_mul_epu32(state, pass.complement),
                                            _mm512_mul_epu32(x, pass.numerator));
  return _mm512_srli_epi64(_mm512_add_epi64(products, towardZero), pass.shift);
}

struct EightLaneSplit {
  __m512i slow;
  __m512i fast;
  __m512i lowSums;
  __m512i middleSums;
  __m512i highSums;
};

__attribute__((target("avx512f"), always_inline)) inline void splitEightLanes(
    EightLaneSplit& split, __m512i x, const EightLanePass& slowPass,
    const EightLanePass& fastPass) {
  const __m512i offset = _mm512_set1_epi32(kStateOffset);
  const __m512i upperLimit = _mm512_set1_epi32(kBandLimit);
  const __m512i lowerLimit = _mm512_set1_epi32(-kBandLimit);
  split.slow = eightLanesLowPassed(split.slow, x, slowPass);
  split.fast = eightLanesLowPassed(split.fast, x, fastPass);
  const __m512i low = _mm512_sub_epi32(split.slow, offset);
  const __m512i middle = _mm512_min_epi32(
      _mm512_max_epi32(_mm512_sub_epi32(split.fast, split.slow), lowerLimit), upperLimit);
  const __m512i high =
      _mm512_min_epi32(_mm512_max_epi32(_mm512_sub_epi32(x, split.fast), lowerLimit), upperLimit);
  split.lowSums = _mm512_add_epi64(split.lowSums, _mm512_mul_epi32(low, low));
  split.middleSums = _mm512_add_epi64(split.middleSums, _mm512_mul_epi32(middle, middle));
  split.highSums = _mm512_add_epi64(split.highSums, _mm512_mul_epi32(high, high));
}

// One frame of each block: their 32-bit pairs of values side by side.
__attribute__((target("avx512f"), always_inline)) inline void splitFrame(
    EightLaneSplit& split, __m128i pairs, const EightLanePass& slowPass,
    const EightLanePass& fastPass) {
  // Flipping the sign bit of a 16-bit value adds 2^15 and leaves it unsigned.
  const __m128i offsetValues =
      _mm_xor_si128(pairs, _mm_set1_epi16(static_cast<std::int16_t>(0x8000)));
  splitEightLanes(split, _mm512_cvtepu16_epi64(offsetValues), slowPass, fastPass);
}

// Four frames of each block, one block a vector, regrouped frame by frame.
__attribute__((target("avx512f"), always_inline)) inline void splitFourFrames(
    EightLaneSplit& split, const __m128i (&blocks)[kFourStretches], const EightLanePass& slowPass,
    const EightLanePass& fastPass) {
  __m128i frames[4];
  framesSideBySide(blocks, frames);
  for (const __m128i& frame : frames) splitFrame(split, frame, slowPass, fastPass);
}

// The lanes of each state, left and right of each stretch in turn, offset as the walk holds them.
template <typename Member>
__attribute__((target("avx512f"))) __m512i offsetStates(
    const std::array<FrameFilter, kFourStretches>& filters, Member member) {
  alignas(64) std::int64_t lanes[2 * kFourStretches];
  for (std::size_t s = 0; s < kFourStretches; ++s) {
    lanes[2 * s] = filters[s].left.*member + kStateOffset;
    lanes[2 * s + 1] = filters[s].right.*member + kStateOffset;
  }
  return _mm512_load_si512(lanes);
}

// addBandSquaresFourWide's walk over four scaled blocks: a frame of each block in a vector.
__attribute__((target("avx512f"))) void addBandSquaresEightWide(
    const std::array<ScaledBlock, kFourStretches>& scaled, std::uint32_t bytes,
    std::array<FrameFilter, kFourStretches>& filters, std::int64_t (&sums)[2][3]) {
  const EightLanePass slowPass = eightLanePass(kExactSlowCoefficient);
  const EightLanePass fastPass = eightLanePass(kExactFastCoefficient);
  EightLaneSplit split;
  split.slow = offsetStates(filters, &ChannelState::slow);
  split.fast = offsetStates(filters, &ChannelState::fast);
  split.lowSums = split.middleSums = split.highSums = _mm512_setzero_si512();
  std::uint32_t k = 0;
  for (; k + 4 * kFrameBytes <= bytes; k += 4 * kFrameBytes) {
    __m128i blocks[kFourStretches];
    for (std::size_t s = 0; s < kFourStretches; ++s) {
      blocks[s] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(scaled[s] + k / kSampleBytes));
    }
    splitFourFrames(split, blocks, slowPass, fastPass);
  }
  for (; k < bytes; k += kFrameBytes) {
    int pairs[kFourStretches];
    for (std::size_t s = 0; s < kFourStretches; ++s) {
      std::memcpy(&pairs[s], scaled[s] + k / kSampleBytes, sizeof pairs[s]);
    }
    splitFrame(split, _mm_setr_epi32(pairs[0], pairs[1], pairs[2], pairs[3]), slowPass, fastPass);
  }
  const __m512i bandSums[3] = {split.lowSums, split.middleSums, split.highSums};
  alignas(64) std::int64_t lanes[2 * kFourStretches];
  for (int band = 0; band < 3; ++band) {
    _mm512_store_si512(lanes, bandSums[band]);
    for (std::size_t s = 0; s < kFourStretches; ++s) {
      sums[0][band] += lanes[2 * s];
      sums[1][band] += lanes[2 * s + 1];
    }
  }
  alignas(64) std::int64_t slowLanes[2 * kFourStretches];
  alignas(64) std::int64_t fastLanes[2 * kFourStretches];
  _mm512_store_si512(slowLanes, split.slow);
  _mm512_store_si512(fastLanes, split.fast);
  for (std::size_t s = 0; s < kFourStretches; ++s) {
    filters[s].left = {slowLanes[2 * s] - kStateOffset, fastLanes[2 * s] - kStateOffset};
    filters[s].right = {slowLanes[2 * s + 1] - kStateOffset, fastLanes[2 * s + 1] - kStateOffset};
  }
}

SONBALANCER_AVX512_WALKS_END

#endif

}  // namespace

void splitBlock(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                std::uint32_t end, FrameFilter& filter) {
  std::uint8_t* const lowAt = samples + targetLength + begin;
  std::uint8_t* const highAt = samples + 2 * std::size_t{targetLength} + begin;
  ScaledBlock scaled;
  scaleBlock(samples + begin, end - begin, scaled);
  filterBlock(scaled, end - begin, lowAt, highAt, filter, nextBlock(samples, targetLength, end));
  bandsOfBlock(scaled, end - begin, samples + begin, lowAt, highAt);
}

FrameFilter firstFrameStates(const std::uint8_t* samples) {
  const std::int64_t left = loadSample(samples);
  const std::int64_t right = loadSample(samples + kRightOffset);
  return {{left, left}, {right, right}};
}

std::optional<FrameFilter> provenFilterState(const std::uint8_t* samples, std::uint32_t begin,
                                             std::uint32_t end) {
  // Every state lies between the first value, unscaled, and the scaled values since.
  constexpr ChannelState kLowest{-32768, -32768};
  constexpr ChannelState kHighest{32767, 32767};
  FrameFilter lowest{kLowest, kLowest};
  FrameFilter highest{kHighest, kHighest};
  std::uint8_t slowStates[kBlockBytes];
  std::uint8_t fastStates[kBlockBytes];
  for (std::uint32_t blockBegin = begin; blockBegin < end;) {
    const std::uint32_t bytes = blockEndAfter(blockBegin, end) - blockBegin;
    ScaledBlock scaled;
    scaleBlock(samples + blockBegin, bytes, scaled);
    filterBlock(scaled, bytes, slowStates, fastStates, lowest, {});
    filterBlock(scaled, bytes, slowStates, fastStates, highest, {});
    blockBegin += bytes;
  }
  if (lowest == highest) return lowest;
  return std::nullopt;
}

bool addBandSquaresSideBySide([[maybe_unused]] const std::uint8_t* first,
                              [[maybe_unused]] const std::uint8_t* second,
                              [[maybe_unused]] std::uint32_t bytes,
                              [[maybe_unused]] FrameFilter& firstFilter,
                              [[maybe_unused]] FrameFilter& secondFilter,
                              [[maybe_unused]] std::int64_t (&sums)[2][3]) {
#if defined(SONBALANCER_AVX2)
  if (hasAvx2()) {
    ScaledBlock firstScaled;
    ScaledBlock secondScaled;
    scaleBlock(first, bytes, firstScaled);
    scaleBlock(second, bytes, secondScaled);
    addBandSquaresFourWide(firstScaled, secondScaled, bytes, firstFilter, secondFilter, sums);
    return true;
  }
#endif
  return false;
}

bool canAddFourSideBySide() {
#if defined(SONBALANCER_AVX512)
  return hasAvx512();
#else
  return false;
#endif
}

bool addBandSquaresFourSideBySide(
    [[maybe_unused]] const std::array<const std::uint8_t*, kFourStretches>& stretches,
    [[maybe_unused]] std::uint32_t bytes,
    [[maybe_unused]] std::array<FrameFilter, kFourStretches>& filters,
    [[maybe_unused]] std::int64_t (&sums)[2][3]) {
#if defined(SONBALANCER_AVX512)
  if (hasAvx512()) {
    std::array<ScaledBlock, kFourStretches> scaled;
    for (std::size_t s = 0; s < kFourStretches; ++s) scaleBlock(stretches[s], bytes, scaled[s]);
    addBandSquaresEightWide(scaled, bytes, filters, sums);
    return true;
  }
#endif
  return false;
}

}  // namespace engine
