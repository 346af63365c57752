#include "loudness/loudness_range.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace loudness {

namespace {

constexpr double kLoudnessOffset = -0.691;
// -20 dB as an energy ratio.
constexpr double kRelativeGateFactor = 0.01;
constexpr double kLowPercentile = 0.10;
constexpr double kHighPercentile = 0.95;

// Formed as libebur128 forms it, so that equal energies give equal figures.
double loudnessOf(double energy) {
  return 10 * (std::log(energy) / std::log(10.0)) + kLoudnessOffset;
}

}  // namespace

double loudnessRangeLu(std::vector<double> energies) {
  if (energies.empty()) return 0.0;
  std::sort(energies.begin(), energies.end());
  double sum = 0.0;
  for (double energy : energies) sum += energy;
  const double gate = kRelativeGateFactor * (sum / static_cast<double>(energies.size()));
  const auto first = std::lower_bound(energies.begin(), energies.end(), gate);
  const std::size_t kept = static_cast<std::size_t>(energies.end() - first);
  if (kept == 0) return 0.0;
  // The percentiles are the blocks nearest to them, with halves rounded up.
  auto at = [&](double percentile) {
    return first[static_cast<std::size_t>(static_cast<double>(kept - 1) * percentile + 0.5)];
  };
  return loudnessOf(at(kHighPercentile)) - loudnessOf(at(kLowPercentile));
}

}  // namespace loudness
