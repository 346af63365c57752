// Comparing levels in decibels, where -infinity (silence) must meet -infinity exactly.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "loudness/decibels.h"

namespace testing_support {

// Ours against libebur128's: what float arithmetic against its double sums leaves, far inside
// the 0.01 dB and 0.01 LU the layer promises.
inline constexpr double kPeakToleranceDb = 0.0001;
inline constexpr double kLoudnessToleranceLu = 0.0001;

inline void expectSameLevel(double ours, double reference, double tolerance) {
  if (std::isinf(reference)) {
    EXPECT_EQ(ours, reference);
  } else {
    EXPECT_NEAR(ours, reference, tolerance);
  }
}

// A tone at a quarter of the sample rate, both channels (the right inverted): with phase pi/4
// every sample is amplitude/sqrt(2) while the waveform between them reaches the amplitude.
inline std::vector<float> quarterRateTone(std::size_t frames, double amplitude, double phase) {
  std::vector<float> samples(frames * 2);
  for (std::size_t n = 0; n < frames; ++n) {
    const double value =
        amplitude * std::sin(std::numbers::pi / 2 * static_cast<double>(n) + phase);
    samples[2 * n] = static_cast<float>(value);
    samples[2 * n + 1] = static_cast<float>(-value);
  }
  return samples;
}

}  // namespace testing_support
