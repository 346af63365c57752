#include "engine/apply_corrections.h"

#include "engine/pcm_access.h"

namespace engine {

namespace {

WorkingGains workingGains(const ChannelGains& gains) {
  return {gains.low, gains.middle, gains.high};
}

void lowerGains(WorkingGains& gains, double factor) {
  gains.low *= factor;
  gains.middle *= factor;
  gains.high *= factor;
}

inline std::int16_t limitInline(double sum, WorkingGains& gains, bool ignoreClicks) {
  if (sum > kClampLevel) {
    if (!ignoreClicks) lowerGains(gains, kResetLevel / sum);
    return static_cast<std::int16_t>(kClampLevel);
  }
  if (sum < -kClampLevel) {
    if (!ignoreClicks) lowerGains(gains, -kResetLevel / sum);
    return static_cast<std::int16_t>(-kClampLevel);
  }
  return static_cast<std::int16_t>(sum);
}

// The low and middle products are added first, the high one last; the order is part of the
// result's exact bits.
inline double recombine(const WorkingGains& gains, std::int16_t low, std::int16_t middle,
                        std::int16_t high) {
  return (gains.low * low + gains.middle * middle) + gains.high * high;
}

template <bool kIgnoreClicks>
void applyFrames(std::uint8_t* samples, std::uint32_t targetLength, WorkingGains& left,
                 WorkingGains& right) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  const std::uint32_t walkEnd = targetLength & ~std::uint32_t{3};
  for (std::uint32_t k = 0; k < walkEnd; k += 4) {
    const double leftSum = recombine(left, loadSample(lowPlane + k), loadSample(samples + k),
                                     loadSample(highPlane + k));
    storeSample(samples + k, limitInline(leftSum, left, kIgnoreClicks));
    const double rightSum = recombine(right, loadSample(lowPlane + k + 2),
                                      loadSample(samples + k + 2), loadSample(highPlane + k + 2));
    storeSample(samples + k + 2, limitInline(rightSum, right, kIgnoreClicks));
  }
}

}  // namespace

std::int16_t limitSum(double sum, WorkingGains& gains, bool ignoreClicks) {
  return limitInline(sum, gains, ignoreClicks);
}

void applyCorrections(std::uint8_t* samples, std::uint32_t targetLength, const Gains& gains,
                      bool ignoreClicks, ProcessLog& log) {
  log.write("Step 4: Applying corrections...\n\n");
  WorkingGains left = workingGains(gains.left);
  WorkingGains right = workingGains(gains.right);
  if (ignoreClicks) {
    applyFrames<true>(samples, targetLength, left, right);
  } else {
    applyFrames<false>(samples, targetLength, left, right);
  }
}

}  // namespace engine
