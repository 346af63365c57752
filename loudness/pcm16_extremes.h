// The largest magnitude among 16-bit samples that a vector walk reads eight at a time, kept as
// the lanes' extremes and folded once at the end.
#pragma once

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
  std::int32_t magnitude() const;
};

}  // namespace loudness
#endif
