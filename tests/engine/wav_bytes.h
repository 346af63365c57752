// Small builders for WAV files and frames in engine tests; the recording process log comes
// with them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/process_log.h"
#include "tests/engine/recording_log.h"

namespace wav_testing {

inline void appendLe16(std::string& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<char>(value & 0xFF));
  bytes.push_back(static_cast<char>(value >> 8));
}

inline void appendLe32(std::string& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(value >> shift));
}

inline std::uint32_t le32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int index = 3; index >= 0; --index) {
    value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + index]);
  }
  return value;
}

// A format block of 16 bytes: code, channels, rate, byte rate, block align, bits.
inline std::string formatBlock(std::uint16_t formatCode, std::uint16_t channels,
                               std::uint32_t sampleRate, std::uint16_t bitsPerSample) {
  std::string block;
  const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * bitsPerSample / 8);
  appendLe16(block, formatCode);
  appendLe16(block, channels);
  appendLe32(block, sampleRate);
  appendLe32(block, sampleRate * blockAlign);
  appendLe16(block, blockAlign);
  appendLe16(block, bitsPerSample);
  return block;
}

// A chunk: id, size, body and the pad byte of an odd body.
inline std::string chunk(std::string_view id, const std::string& body) {
  std::string bytes(id);
  appendLe32(bytes, static_cast<std::uint32_t>(body.size()));
  bytes += body;
  if (body.size() % 2 == 1) bytes.push_back('\0');
  return bytes;
}

// A RIFF WAVE file of the given chunks.
inline std::string riffWave(const std::string& chunks) {
  std::string bytes = "RIFF";
  appendLe32(bytes, static_cast<std::uint32_t>(4 + chunks.size()));
  return bytes + "WAVE" + chunks;
}

// The usual 44-byte header followed by samples.
inline std::string plainWav(std::uint16_t channels, std::uint32_t sampleRate,
                            const std::string& samples, std::uint16_t bitsPerSample = 16,
                            std::uint16_t formatCode = 1) {
  return riffWave(chunk("fmt ", formatBlock(formatCode, channels, sampleRate, bitsPerSample)) +
                  chunk("data", samples));
}

// Frames whose left value is index + 1 and right value -(index + 1), so that every frame can be
// told apart and none is silent.
inline std::string numberedFrames(std::size_t count) {
  std::string bytes;
  for (std::size_t index = 0; index < count; ++index) {
    const auto value = static_cast<std::int16_t>(index + 1);
    appendLe16(bytes, static_cast<std::uint16_t>(value));
    appendLe16(bytes, static_cast<std::uint16_t>(static_cast<std::int16_t>(-value)));
  }
  return bytes;
}

inline std::vector<std::uint8_t> toBytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

inline std::int16_t sampleAt(const std::uint8_t* bytes, std::size_t offset) {
  return static_cast<std::int16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

// Source frame number held by the frame at frameIndex (see numberedFrames); -1 when silent.
inline long sourceFrameAt(const std::uint8_t* bytes, std::size_t frameIndex) {
  const std::int16_t left = sampleAt(bytes, 4 * frameIndex);
  const std::int16_t right = sampleAt(bytes, 4 * frameIndex + 2);
  if (left == 0 && right == 0) return -1;
  return left - 1;
}

}  // namespace wav_testing
