// The six correction gains of one pass: each band of each channel is brought toward a fixed
// target level, capped, and bounded so that the band's true peaks stay within 16 bits.
#pragma once

#include <cstdint>

#include "engine/band_split.h"
#include "engine/process_log.h"
#include "engine/track_flags.h"

namespace engine {

// Target level of a band, the level it must exceed to be measured at all, and the gain used
// when it does not (equal to target / threshold for the low and middle bands).
struct BandRule {
  float target;
  int threshold;
  float cap;
};

constexpr BandRule kLowBandRule{17000.0f, 425, 40.0f};
constexpr BandRule kLowBandRuleNoBassline{9000.0f, 225, 40.0f};
constexpr BandRule kMiddleBandRule{13000.0f, 1300, 10.0f};
constexpr BandRule kHighBandRule{4500.0f, 80, 56.0f};

struct ChannelGains {
  float low = 1.0f;
  float middle = 1.0f;
  float high = 1.0f;
};

struct Gains {
  ChannelGains left;
  ChannelGains right;
};

// A gain as first derived from its band level; boosts is true when it raises the band (above
// 1.0, or the cap), the only case the peak rules look at.
struct LevelGain {
  float gain;
  bool boosts;
};

// The larger of the quasi-peak maximum and the magnitude of the quasi-peak minimum.
int bandLevel(const BandPeaks& band);

// target / level in single precision above the threshold, else the cap.
LevelGain levelGain(int level, const BandRule& rule);

// The largest band magnitude the gain keeps within full scale: trunc(32767 / gain). Above
// 32767 for gains below 1.
std::int64_t peakAllowance(float gain);

// Lowers a boosting gain until the band's peak maximum, then its peak minimum, fit within
// the headroom; a gain that does not boost is returned unchanged.
float boundByPeaks(const LevelGain& levelGain, const BandPeaks& band);

// The correction gains of one pass, without the double-pass decision: the gains before and
// after the peak rules, both logged. The ignore-clicks flag changes only a log line.
Gains correctionGains(const ScanRecord& record, const TrackFlags& flags, ProcessLog& log);

// True when a low or high gain of a channel is more than 4 times, or less than a quarter of,
// that channel's middle gain: the bands are far enough apart to need a second pass.
bool bandsFarApart(const Gains& gains);

}  // namespace engine
