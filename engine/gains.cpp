#include "engine/gains.h"

#include <algorithm>
#include <cstdlib>

namespace engine {

namespace {

// The allowance measures against full scale, but a lowered gain aims a little lower, at the
// headroom, so that the peak lands just inside 16 bits.
constexpr float kFullScale = 32767.0f;
constexpr float kHeadroom = 32700.0f;
constexpr float kFarApartRatio = 4.0f;
constexpr float kCloseRatio = 0.25f;

bool farFromMiddle(float gain, float middleGain) {
  return gain > double{kFarApartRatio} * middleGain || gain < double{kCloseRatio} * middleGain;
}

void writeGainLines(const Gains& gains, ProcessLog& log) {
  log.print("Left channel low freq: %f\n", gains.left.low);
  log.print("Right channel low freq: %f\n", gains.right.low);
  log.print("Left channel middle freq: %f\n", gains.left.middle);
  log.print("Right channel middle freq: %f\n", gains.right.middle);
  log.print("Left channel high freq: %f\n", gains.left.high);
  log.print("Right channel high freq: %f\n\n", gains.right.high);
}

struct ChannelLevelGains {
  LevelGain low;
  LevelGain middle;
  LevelGain high;
};

ChannelLevelGains channelLevelGains(const ChannelScan& scan, const BandRule& lowRule) {
  return {levelGain(bandLevel(scan.low), lowRule),
          levelGain(bandLevel(scan.middle), kMiddleBandRule),
          levelGain(bandLevel(scan.high), kHighBandRule)};
}

ChannelGains boundChannelByPeaks(const ChannelLevelGains& gains, const ChannelScan& scan) {
  return {boundByPeaks(gains.low, scan.low), boundByPeaks(gains.middle, scan.middle),
          boundByPeaks(gains.high, scan.high)};
}

}  // namespace

int bandLevel(const BandPeaks& band) {
  return std::max<int>(band.quasiPeakMax, std::abs(int{band.quasiPeakMin}));
}

LevelGain levelGain(int level, const BandRule& rule) {
  if (level <= rule.threshold) return {rule.cap, true};
  const auto gain = static_cast<float>(double{rule.target} / level);
  return {gain, gain > 1.0f};
}

std::int64_t peakAllowance(float gain) {
  return static_cast<std::int64_t>(double{kFullScale} / gain);
}

float boundByPeaks(const LevelGain& levelGain, const BandPeaks& band) {
  float gain = levelGain.gain;
  if (!levelGain.boosts) return gain;
  // Both divisors are positive: they exceed an allowance of at least 0.
  std::int64_t allowance = peakAllowance(gain);
  if (allowance < band.peakMax) {
    gain = static_cast<float>(double{kHeadroom} / band.peakMax);
    // Formed from the stored single-precision gain, the one the application pass will use.
    allowance = peakAllowance(gain);
  }
  const int peakMinMagnitude = std::abs(int{band.peakMin});
  if (peakMinMagnitude > allowance) {
    gain = static_cast<float>(double{kHeadroom} / peakMinMagnitude);
  }
  return gain;
}

Gains correctionGains(const ScanRecord& record, const TrackFlags& flags, ProcessLog& log) {
  log.write("Step 3: Setting correction parameters...\n");
  const BandRule& lowRule = flags.noBassline ? kLowBandRuleNoBassline : kLowBandRule;
  const ChannelLevelGains left = channelLevelGains(record.left, lowRule);
  const ChannelLevelGains right = channelLevelGains(record.right, lowRule);

  if (log.isOn()) {
    log.write("Before max peak considerations:\n");
    writeGainLines({{left.low.gain, left.middle.gain, left.high.gain},
                    {right.low.gain, right.middle.gain, right.high.gain}},
                   log);
  }

  const Gains gains{boundChannelByPeaks(left, record.left),
                    boundChannelByPeaks(right, record.right)};

  if (log.isOn()) {
    log.write("After max peak considerations");
    log.write(flags.ignoreClicks ? " (Clicks and pops not taken into account):\n" : ":\n");
    writeGainLines(gains, log);
  }
  return gains;
}

bool bandsFarApart(const Gains& gains) {
  return farFromMiddle(gains.left.low, gains.left.middle) ||
         farFromMiddle(gains.right.low, gains.right.middle) ||
         farFromMiddle(gains.left.high, gains.left.middle) ||
         farFromMiddle(gains.right.high, gains.right.middle);
}

}  // namespace engine
