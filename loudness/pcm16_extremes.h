// The largest magnitude among 16-bit samples that a vector walk reads eight at a time, kept as
// the lanes' extremes and folded once at the end.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/simd.h"

#if defined(SONBALANCER_SSE2)
namespace loudness {

struct Pcm16Extremes {
  __m128i largest = _mm_setzero_si128();
  __m128i smallest = _mm_setzero_si128();

  void add(__m128i values) {
    largest = _mm_max_epi16(largest, values);
    smallest = _mm_min_epi16(smallest, values);
  }
  std::int32_t magnitude() const {
    alignas(16) std::int16_t high[8];
    alignas(16) std::int16_t low[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(high), largest);
    _mm_store_si128(reinterpret_cast<__m128i*>(low), smallest);
    std::int32_t magnitude = 0;
    for (int lane = 0; lane < 8; ++lane) {
      magnitude = std::max({magnitude, std::int32_t{high[lane]}, -std::int32_t{low[lane]}});
    }
    return magnitude;
  }
};

}  // namespace loudness
#endif
