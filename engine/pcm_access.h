// The frame layout of the sample buffer, and signed 16-bit little-endian values at its byte
// offsets, read and written whatever the alignment and the host's byte order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace engine {

// A frame is a left and a right 16-bit value, the left one first.
inline constexpr std::uint32_t kSampleBytes = 2;
inline constexpr std::uint32_t kFrameBytes = 2 * kSampleBytes;
// Offset of the right value within its frame.
inline constexpr std::uint32_t kRightOffset = kSampleBytes;

// The bytes of the whole frames within a length: a trailing partial frame is never walked.
template <typename Length>
constexpr Length wholeFrameBytes(Length bytes) {
  return bytes & ~static_cast<Length>(kFrameBytes - 1);
}

inline std::int16_t loadSample(const std::uint8_t* at) {
  if constexpr (std::endian::native == std::endian::little) {
    std::int16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
  } else {
    return static_cast<std::int16_t>(at[0] | (at[1] << 8));
  }
}

inline void storeSample(std::uint8_t* at, std::int16_t value) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(at, &value, sizeof value);
  } else {
    const auto bits = static_cast<std::uint16_t>(value);
    at[0] = static_cast<std::uint8_t>(bits & 0xFF);
    at[1] = static_cast<std::uint8_t>(bits >> 8);
  }
}

}  // namespace engine
