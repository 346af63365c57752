// Levels in decibels relative to full scale, as every figure of this layer is given.
#pragma once

#include <cmath>
#include <limits>

namespace loudness {

// 20·log10 of an amplitude where full scale is 1.0; -infinity for silence (0 or less).
inline double decibels(double amplitude) {
  return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -std::numeric_limits<double>::infinity();
}

}  // namespace loudness
