// Signed 16-bit little-endian values at byte offsets of the sample buffer, read and written
// whatever the alignment and the host's byte order.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace engine {

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
