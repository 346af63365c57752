#include "engine/rate_conversion.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "engine/pcm_access.h"

namespace engine {

namespace {

// Below this factor (sources above 58800 Hz stereo) dropping at most one frame in four cannot
// reach the target length; syncing at every source frame keeps both length and tempo.
constexpr double kLowestScheduledFactor = 0.75;

// The fill after an expansion silences what the walk did not reach, but never the first 15
// frames: they stay as loaded.
constexpr std::uint32_t kUntouchedLeadBytes = 60;

void copyFrame(std::uint8_t* samples, std::uint64_t from, std::uint64_t to) {
  if (from != to) std::memcpy(samples + to, samples + from, kFrameBytes);
}

}  // namespace

ExactFactor::ExactFactor(float factor) {
  if (!std::isfinite(factor) || factor <= 0.0f) return;
  int binaryExponent = 0;
  const float fraction = std::frexp(factor, &binaryExponent);
  // fraction lies in [0.5, 1): scaled by 2^24 it is the float's whole 24-bit significand.
  mantissa_ = static_cast<std::uint64_t>(std::ldexp(fraction, 24));
  exponent_ = binaryExponent - 24;
}

std::uint64_t ExactFactor::scale(std::uint64_t value) const {
  constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
  if (mantissa_ == 0 || value == 0) return 0;
  // Byte counts below 2^32 times a 24-bit significand fit in 56 bits; larger values saturate.
  if (value > kLargest / mantissa_) return kLargest;
  const std::uint64_t product = value * mantissa_;
  if (exponent_ < 0) {
    const int shift = -exponent_;
    return shift >= 64 ? 0 : product >> shift;
  }
  if (exponent_ >= 64 || product > (kLargest >> exponent_)) return kLargest;
  return product << exponent_;
}

bool needsRateConversion(float rateFactor) {
  const double factor = rateFactor;
  return !(factor > 0.95 && factor < 1.05);
}

std::uint64_t convertedLength(std::uint32_t dataLength, float rateFactor) {
  return ExactFactor(rateFactor).scaleToFrame(dataLength);
}

ConversionSchedule conversionSchedule(float rateFactor) {
  // 4 × f is exact in single precision, so its integer part with the low bits cleared is
  // 4 × the integer part of f.
  const float fourTimes = 4.0f * rateFactor;
  std::uint32_t copyStep = 0;
  if (std::isfinite(fourTimes) && fourTimes >= 4.0f) {
    copyStep = fourTimes >= 2147483648.0f ? 0x80000000u : static_cast<std::uint32_t>(fourTimes);
    copyStep = wholeFrameBytes(copyStep);
  }
  ConversionSchedule schedule;
  if (copyStep == 0) {
    schedule.copyStepBytes = kFrameBytes;
    schedule.syncPeriodFrames = rateFactor < kLowestScheduledFactor ? 1 : 4;
  } else {
    schedule.copyStepBytes = copyStep;
    schedule.syncPeriodFrames = copyStep < 9 ? 32 : 64;
  }
  return schedule;
}

void shrinkFrames(std::uint8_t* samples, std::uint32_t dataLength, std::uint32_t targetLength,
                  float rateFactor) {
  const ConversionSchedule schedule = conversionSchedule(rateFactor);
  const ExactFactor factor(rateFactor);
  std::uint64_t write = 0;
  std::uint32_t framesSinceSync = 0;
  for (std::uint64_t read = 0; read + kFrameBytes <= dataLength; read += kFrameBytes) {
    std::uint64_t limit;
    if (++framesSinceSync == schedule.syncPeriodFrames) {
      limit = factor.scaleToFrame(read);
      framesSinceSync = 0;
    } else {
      limit = write + schedule.copyStepBytes;
    }
    // The write position never passes the read position while shrinking, so no frame is
    // overwritten before it is read; the second condition only guards that invariant.
    while (write < limit && write <= read) {
      copyFrame(samples, read, write);
      write += kFrameBytes;
    }
  }
  if (write < targetLength) std::memset(samples + write, 0, targetLength - write);
}

void expandFrames(std::uint8_t* samples, std::uint32_t dataLength, std::uint32_t targetLength,
                  float rateFactor) {
  const ConversionSchedule schedule = conversionSchedule(rateFactor);
  const ExactFactor factor(rateFactor);
  std::uint64_t write = targetLength;
  if (dataLength >= kFrameBytes) {
    if (targetLength < kFrameBytes) return;
    std::uint64_t read = wholeFrameBytes(dataLength) - kFrameBytes;
    std::uint32_t framesSinceSync = 0;
    for (;;) {
      std::uint64_t limit;
      if (++framesSinceSync == schedule.syncPeriodFrames) {
        limit = factor.scaleToFrame(read);
        framesSinceSync = 0;
      } else {
        limit = write >= schedule.copyStepBytes + kFrameBytes ? write - schedule.copyStepBytes
                                                              : kFrameBytes;
      }
      while (write > limit) {
        write -= kFrameBytes;
        copyFrame(samples, read, write);
      }
      if (read == 0) break;
      if (write == 0) return;
      read -= kFrameBytes;
    }
  }
  while (write > kUntouchedLeadBytes) {
    write -= kFrameBytes;
    std::memset(samples + write, 0, kFrameBytes);
  }
}

}  // namespace engine
