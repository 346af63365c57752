// Brings loaded 16-bit stereo frames toward 44100 Hz by dropping or repeating whole frames on a
// fixed schedule, in place: no interpolation, no filter, no second buffer.
#pragma once

#include <cstdint>

#include "engine/pcm_access.h"

namespace engine {

// Longest PCM that a saved WAV can describe: its RIFF size field holds the length plus 36.
constexpr std::uint64_t kMaxTargetLength = wholeFrameBytes(0xFFFFFFFFull - 36);

// The rate factor taken apart once, so that value × factor is formed exactly: a float has 24
// significant bits and a byte count 32, so the product needs 56, more than a double keeps.
class ExactFactor {
 public:
  // An infinite (or NaN) factor, from a rate field of 0, scales everything to 0.
  explicit ExactFactor(float factor);

  // value × factor truncated toward zero; saturates at the largest 64-bit value.
  std::uint64_t scale(std::uint64_t value) const;
  // The same with the two low bits cleared: a byte offset on the frame grid.
  std::uint64_t scaleToFrame(std::uint64_t value) const { return wholeFrameBytes(scale(value)); }

 private:
  std::uint64_t mantissa_ = 0;
  int exponent_ = 0;
};

// Whether the data must be converted: a factor strictly between 0.95 and 1.05 is played at its
// own rate.
bool needsRateConversion(float rateFactor);

// Bytes of the track after conversion: dataLength × rateFactor on the frame grid, in 64 bits
// (it may exceed what a WAV can hold; the caller checks it against kMaxTargetLength).
std::uint64_t convertedLength(std::uint32_t dataLength, float rateFactor);

// Bytes used without conversion: the whole frames of the data.
constexpr std::uint32_t unconvertedLength(std::uint32_t dataLength) {
  return wholeFrameBytes(dataLength);
}

// How frames are repeated or dropped. Between syncs each source frame advances the write
// position by copyStepBytes; every syncPeriodFrames source frames the write position is brought
// back to rateFactor × read position, which keeps the tempo right over the whole track.
struct ConversionSchedule {
  std::uint32_t copyStepBytes = kFrameBytes;
  std::uint32_t syncPeriodFrames = 4;
};

ConversionSchedule conversionSchedule(float rateFactor);

// Shrinks dataLength bytes at samples to targetLength (targetLength < dataLength, a multiple of
// 4). Frames left unwritten below targetLength are zeroed.
void shrinkFrames(std::uint8_t* samples, std::uint32_t dataLength, std::uint32_t targetLength,
                  float rateFactor);

// Expands dataLength bytes at samples to targetLength (targetLength >= dataLength, a multiple of
// 4; samples holds targetLength bytes). Works backwards from the end so that no source frame is
// overwritten before it is read.
void expandFrames(std::uint8_t* samples, std::uint32_t dataLength, std::uint32_t targetLength,
                  float rateFactor);

}  // namespace engine
