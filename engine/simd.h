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

// Whether the eight-lane walks can run on this processor; asked once. Those on 16-bit values
// also take its byte and word instructions, which every such processor has.
inline bool hasAvx512() {
  static const bool supported =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
  return supported;
}

}  // namespace engine

// Around the eight-lane walks: GCC 12's AVX-512 intrinsics start their results from an undefined
// vector, which it takes for an uninitialised read once they are inlined (fixed in GCC 13).
#define SONBALANCER_AVX512_WALKS_BEGIN                                  \
  _Pragma("GCC diagnostic push")                                        \
      _Pragma("GCC diagnostic ignored \"-Wmaybe-uninitialized\"")     \
          _Pragma("GCC diagnostic ignored \"-Wuninitialized\"")
#define SONBALANCER_AVX512_WALKS_END _Pragma("GCC diagnostic pop")
#endif
#endif
#endif
