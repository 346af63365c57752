// A frame's two channels as the two lanes of a small vector, so that the left and right
// values go through the same arithmetic in one instruction. Lane 0 is left, lane 1 right; the
// lanes compute exactly what the scalar operations would.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/pcm_access.h"

namespace engine {

using FrameInt16 = std::int16_t __attribute__((vector_size(4)));
using FrameInt32 = std::int32_t __attribute__((vector_size(8)));
using FrameDouble = double __attribute__((vector_size(16)));

inline FrameInt32 loadFrame(const std::uint8_t* at) {
  FrameInt16 frame;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&frame, at, sizeof frame);
  } else {
    frame = FrameInt16{loadSample(at), loadSample(at + 2)};
  }
  return __builtin_convertvector(frame, FrameInt32);
}

// Each lane must lie within 16 bits.
inline void storeFrame(std::uint8_t* at, FrameInt32 frame) {
  const FrameInt16 narrow = __builtin_convertvector(frame, FrameInt16);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &narrow, sizeof narrow);
  } else {
    storeSample(at, narrow[0]);
    storeSample(at + 2, narrow[1]);
  }
}

inline FrameDouble toDouble(FrameInt32 frame) {
  return __builtin_convertvector(frame, FrameDouble);
}

// Truncates toward zero, like the conversion of a double to an integer.
inline FrameInt32 truncated(FrameDouble frame) {
  return __builtin_convertvector(frame, FrameInt32);
}

inline FrameDouble bothLanes(float value) { return FrameDouble{value, value}; }

}  // namespace engine
