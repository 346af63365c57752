#include "loudness/band_levels.h"

#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "engine/band_filters.h"
#include "engine/pcm_access.h"
#include "engine/simd.h"
#include "loudness/decibels.h"

namespace loudness {

namespace {

constexpr double kFullScale = 32768.0;

#if defined(SONBALANCER_AVX2)
// Eight frames at a time: the values are ordered so that one multiply-add gives the squares of
// two frames of one channel, at most 2^31, which an unsigned 32-bit lane holds. Returns where
// it stopped.
__attribute__((target("avx2"))) std::uint32_t addPlaneFourWide(const std::uint8_t* plane,
                                                               std::uint32_t bytes,
                                                               std::int64_t& left,
                                                               std::int64_t& right) {
  // Per 128-bit half: L0 R0 L1 R1 L2 R2 L3 R3 becomes L0 L1 R0 R1 L2 L3 R2 R3.
  const __m256i pairChannels =
      _mm256_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15, 0, 1, 4, 5, 2, 3, 6, 7,
                       8, 9, 12, 13, 10, 11, 14, 15);
  const __m256i zero = _mm256_setzero_si256();
  // Lanes: left, right, left, right.
  __m256i sums = zero;
  std::uint32_t at = 0;
  for (; at + 32 <= bytes; at += 32) {
    const __m256i frames8 = _mm256_shuffle_epi8(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plane + at)), pairChannels);
    const __m256i squares = _mm256_madd_epi16(frames8, frames8);
    sums = _mm256_add_epi64(sums, _mm256_unpacklo_epi32(squares, zero));
    sums = _mm256_add_epi64(sums, _mm256_unpackhi_epi32(squares, zero));
  }
  alignas(32) std::int64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
  left += lanes[0] + lanes[2];
  right += lanes[1] + lanes[3];
  return at;
}
#endif

#if defined(SONBALANCER_AVX512)
SONBALANCER_AVX512_WALKS_BEGIN
// addPlaneFourWide sixteen frames at a time.
__attribute__((target("avx512f,avx512bw"))) std::uint32_t addPlaneEightWide(
    const std::uint8_t* plane, std::uint32_t bytes, std::int64_t& left, std::int64_t& right) {
  // Per 128-bit quarter: L0 R0 L1 R1 L2 R2 L3 R3 becomes L0 L1 R0 R1 L2 L3 R2 R3.
  const __m512i pairChannels =
      _mm512_broadcast_i32x4(_mm_setr_epi8(0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15));
  const __m512i zero = _mm512_setzero_si512();
  // Lanes: left, right, left, right, ...
  __m512i sums = zero;
  std::uint32_t at = 0;
  for (; at + 64 <= bytes; at += 64) {
    const __m512i frames16 = _mm512_shuffle_epi8(_mm512_loadu_si512(plane + at), pairChannels);
    const __m512i squares = _mm512_madd_epi16(frames16, frames16);
    sums = _mm512_add_epi64(sums, _mm512_unpacklo_epi32(squares, zero));
    sums = _mm512_add_epi64(sums, _mm512_unpackhi_epi32(squares, zero));
  }
  alignas(64) std::int64_t lanes[8];
  _mm512_store_si512(lanes, sums);
  left += lanes[0] + lanes[2] + lanes[4] + lanes[6];
  right += lanes[1] + lanes[3] + lanes[5] + lanes[7];
  return at;
}
SONBALANCER_AVX512_WALKS_END
#endif

void addPlane(const std::uint8_t* plane, std::uint32_t bytes, std::int64_t& left,
              std::int64_t& right) {
  std::uint32_t at = 0;
#if defined(SONBALANCER_AVX512)
  if (engine::hasAvx512()) at = addPlaneEightWide(plane, bytes, left, right);
#endif
#if defined(SONBALANCER_AVX2)
  if (engine::hasAvx2()) at += addPlaneFourWide(plane + at, bytes - at, left, right);
#endif
#if defined(SONBALANCER_SSE2)
  // Four frames at a time: each square is at most 2^30, so a frame's square fits 32 bits and
  // is widened before it is added up.
  const __m128i leftOnly = _mm_set1_epi32(0x0000FFFF);
  const __m128i zero = _mm_setzero_si128();
  __m128i leftSums = zero;
  __m128i rightSums = zero;
  for (; at + 16 <= bytes; at += 16) {
    const __m128i frames4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane + at));
    const __m128i leftSquares = _mm_madd_epi16(frames4, _mm_and_si128(frames4, leftOnly));
    const __m128i rightSquares = _mm_madd_epi16(frames4, _mm_andnot_si128(leftOnly, frames4));
    leftSums = _mm_add_epi64(leftSums, _mm_unpacklo_epi32(leftSquares, zero));
    leftSums = _mm_add_epi64(leftSums, _mm_unpackhi_epi32(leftSquares, zero));
    rightSums = _mm_add_epi64(rightSums, _mm_unpacklo_epi32(rightSquares, zero));
    rightSums = _mm_add_epi64(rightSums, _mm_unpackhi_epi32(rightSquares, zero));
  }
  alignas(16) std::int64_t lanes[2];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), leftSums);
  left += lanes[0] + lanes[1];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), rightSums);
  right += lanes[0] + lanes[1];
#endif
  for (; at + engine::kFrameBytes <= bytes; at += engine::kFrameBytes) {
    const std::int64_t l = engine::loadSample(plane + at);
    const std::int64_t r = engine::loadSample(plane + at + engine::kRightOffset);
    left += l * l;
    right += r * r;
  }
}

}  // namespace

void BandSquares::addBands(const std::uint8_t* mid, const std::uint8_t* low,
                           const std::uint8_t* high, std::uint32_t bytes) {
  const std::uint8_t* planes[3] = {low, mid, high};
  for (int band = 0; band < 3; ++band)
    addPlane(planes[band], bytes, sums_[0][band], sums_[1][band]);
  frames_ += bytes / engine::kFrameBytes;
}

void BandSquares::addSums(const std::int64_t (&sums)[2][3], std::uint64_t frames) {
  for (int channel = 0; channel < 2; ++channel) {
    for (int band = 0; band < 3; ++band) sums_[channel][band] += sums[channel][band];
  }
  frames_ += frames;
}

void BandSquares::addPlanes(const std::uint8_t* samples, std::uint32_t targetLength,
                            std::uint32_t begin, std::uint32_t end) {
  addBands(samples + begin, samples + targetLength + begin,
           samples + 2 * std::size_t{targetLength} + begin, end - begin);
}

StereoBands BandSquares::levels() const {
  auto level = [&](int channel, int band) {
    if (frames_ == 0) return decibels(0.0);
    return decibels(
        std::sqrt(static_cast<double>(sums_[channel][band]) / static_cast<double>(frames_)) /
        kFullScale);
  };
  auto channel = [&](int c) { return BandLevels{level(c, 0), level(c, 1), level(c, 2)}; };
  return StereoBands{channel(0), channel(1)};
}

StereoBands bandLevelsOfPlanes(const std::uint8_t* samples, std::uint32_t targetLength) {
  BandSquares squares;
  squares.addPlanes(samples, targetLength, 0, engine::wholeFrameBytes(targetLength));
  return squares.levels();
}

namespace {

// The states at the start of each of kParts parts of partBytes bytes from the start of pcm: the
// first part's as a pass's split starts them, each other part's proven by the frames before it.
// False where one is not proven.
template <std::size_t kParts>
bool joinStates(const std::uint8_t* pcm, std::uint32_t partBytes,
                std::array<engine::FrameFilter, kParts>& states) {
  if (partBytes < engine::kJoinProofBytes) return false;
  states[0] = engine::firstFrameStates(pcm);
  for (std::size_t part = 1; part < kParts; ++part) {
    const std::uint32_t join = static_cast<std::uint32_t>(part) * partBytes;
    const std::optional<engine::FrameFilter> proven =
        engine::provenFilterState(pcm, join - engine::kJoinProofBytes, join);
    if (!proven) return false;
    states[part] = *proven;
  }
  return true;
}

}  // namespace

StereoBands bandLevelsOfSplit(const std::uint8_t* pcm, std::uint32_t byteCount) {
  BandSquares squares;
  const std::uint32_t length = engine::wholeFrameBytes(byteCount);
  if (length == 0) return squares.levels();
  // A block and its two planes, laid out as the split lays out a track of one block.
  static_assert(engine::kBlockBytes % engine::kFrameBytes == 0);
  alignas(64) std::uint8_t scratch[3 * engine::kBlockBytes];
  const auto splitAlone = [&](std::uint32_t begin, std::uint32_t end, engine::FrameFilter& states) {
    while (begin < end) {
      const std::uint32_t bytes = engine::blockEndAfter(begin, end) - begin;
      std::memcpy(scratch, pcm + begin, bytes);
      engine::splitBlock(scratch, bytes, 0, bytes, states);
      squares.addBands(scratch, scratch + bytes, scratch + 2 * bytes, bytes);
      begin += bytes;
    }
  };
  constexpr std::uint32_t kBytes = engine::kBlockBytes;
  // The parts after the first are split beside it from joins whose states their frames prove;
  // whatever is left after the last part follows it alone.
  std::int64_t sideBySide[2][3] = {};
  constexpr std::size_t kFour = engine::kFourStretches;
  const std::uint32_t quarter = length / kFour / kBytes * kBytes;
  std::array<engine::FrameFilter, kFour> quarterStates;
  if (engine::canAddFourSideBySide() && joinStates(pcm, quarter, quarterStates)) {
    for (std::uint32_t begin = 0; begin < quarter; begin += kBytes) {
      engine::addBandSquaresFourSideBySide({pcm + begin, pcm + quarter + begin,
                                            pcm + 2 * quarter + begin, pcm + 3 * quarter + begin},
                                           kBytes, quarterStates, sideBySide);
    }
    squares.addSums(sideBySide, kFour * quarter / engine::kFrameBytes);
    splitAlone(kFour * quarter, length, quarterStates[kFour - 1]);
    return squares.levels();
  }
  const std::uint32_t half = length / 2 / kBytes * kBytes;
  std::array<engine::FrameFilter, 2> halfStates;
  // The first blocks of the halves tell whether this processor can.
  if (!joinStates(pcm, half, halfStates) ||
      !engine::addBandSquaresSideBySide(pcm, pcm + half, kBytes, halfStates[0], halfStates[1],
                                        sideBySide)) {
    engine::FrameFilter states = engine::firstFrameStates(pcm);
    splitAlone(0, length, states);
    return squares.levels();
  }
  for (std::uint32_t begin = kBytes; begin < half; begin += kBytes) {
    engine::addBandSquaresSideBySide(pcm + begin, pcm + half + begin, kBytes, halfStates[0],
                                     halfStates[1], sideBySide);
  }
  squares.addSums(sideBySide, 2 * half / engine::kFrameBytes);
  splitAlone(2 * half, length, halfStates[1]);
  return squares.levels();
}

}  // namespace loudness
