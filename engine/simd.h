// Whether the hand-vectorised paths are built: wherever SSE2 is (every x86-64 processor),
// unless the portable build asks for the plain paths, which a port to another processor runs
// and which the test command keeps right, as it keeps the two-lane paths right beside the
// four-lane ones.
#pragma once

#if defined(__SSE2__) && !defined(SONBALANCER_PORTABLE)
#define SONBALANCER_SSE2 1
#include <emmintrin.h>

#include <cstdint>

namespace engine {

// The walks ask for memory ahead once per cache line of frames.
inline constexpr std::uint32_t kCacheLineBytes = 64;

// Brings in the line at `at` bytes into each of the three planes of a split track.
inline void prefetchPlanes(const std::uint8_t* middle, const std::uint8_t* low,
                           const std::uint8_t* high, std::uint32_t at) {
  _mm_prefetch(reinterpret_cast<const char*>(middle + at), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(low + at), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(high + at), _MM_HINT_T0);
}

// Four frames of each of four blocks, a frame being a 32-bit pair of 16-bit values and each
// block's frames in one vector, regrouped frame by frame: frames[k] holds frame k of every
// block, in the blocks' order.
inline void framesSideBySide(const __m128i (&blocks)[4], __m128i (&frames)[4]) {
  const __m128i early = _mm_unpacklo_epi32(blocks[0], blocks[1]);
  const __m128i earlyOthers = _mm_unpacklo_epi32(blocks[2], blocks[3]);
  const __m128i late = _mm_unpackhi_epi32(blocks[0], blocks[1]);
  const __m128i lateOthers = _mm_unpackhi_epi32(blocks[2], blocks[3]);
  frames[0] = _mm_unpacklo_epi64(early, earlyOthers);
  frames[1] = _mm_unpackhi_epi64(early, earlyOthers);
  frames[2] = _mm_unpacklo_epi64(late, lateOthers);
  frames[3] = _mm_unpackhi_epi64(late, lateOthers);
}

}  // namespace engine

// Some walks also have a four-lane form, chosen at run time on processors with AVX2.
#if !defined(SONBALANCER_NO_AVX2)
#define SONBALANCER_AVX2 1
#include <immintrin.h>

namespace engine {

// Whether the four-lane walks can run on this processor; asked once.
inline bool hasAvx2() {
  static const bool supported = __builtin_cpu_supports("avx2");
  return supported;
}

}  // namespace engine

// The measurements' widest walks also have an eight-lane form for processors with AVX-512,
// unless the build keeps it out so that the test command can hold the four-lane walks right on
// such a processor.
#if !defined(SONBALANCER_NO_AVX512)
#define SONBALANCER_AVX512 1

namespace engine {

// Whether the eight-lane walks can run on this processor; asked once. They fall back on the
// four-lane walks for what is left over, and those on 16-bit values take the byte and word
// instructions.
inline bool hasAvx512() {
  static const bool supported =
      hasAvx2() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return supported;
}

}  // namespace engine

// Around the eight-lane walks: GCC 12's AVX-512 intrinsics start their results from an undefined
// vector, which it takes for an uninitialised read once they are inlined (fixed in GCC 13).
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#define SONBALANCER_AVX512_WALKS_BEGIN                                                       \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"") \
      _Pragma("GCC diagnostic ignored \"-Wuninitialized\"")
#define SONBALANCER_AVX512_WALKS_END _Pragma("GCC diagnostic pop")
#else
#define SONBALANCER_AVX512_WALKS_BEGIN
#define SONBALANCER_AVX512_WALKS_END
#endif
#endif
#endif
#endif
