// Loudness matching of a computed result: one gain that brings its integrated loudness to the
// job's target under a true-peak ceiling, with a true-peak limiter taking the peaks above it.
#pragma once

#include <cstdint>

#include "engine/process_log.h"
#include "loudness/true_peak_ceiling.h"

namespace batch {

// The most the limiter takes off the highest peak; beyond it the result stays short of the
// target. Sparse drum hits need about 10 dB to reach -14 LUFS (6 dB left them 1 LU short); more
// is heard on sustained sound as lost punch and flattened drums.
inline constexpr double kMostLimitingDb = 10.0;
// The limiter's recovery after a limited peak, unless the target calls for a shorter one.
inline constexpr double kLimiterReleaseSeconds = 0.05;

struct LoudnessMatch {
  // False for a silent result, which is left as it is.
  bool applied = false;
  // The gain applied, in dB (negative for a result louder than the target), before the limiter.
  double gainDb = 0.0;
  // How far the limiter lowered the highest peak, in dB (0 to kMostLimitingDb and the retries'
  // steps); 0 when the gain alone kept the ceiling.
  double limitingDb = 0.0;
  // The limiter's recovery where the target needed one shorter than kLimiterReleaseSeconds;
  // 0 otherwise.
  double shortReleaseSeconds = 0.0;
  // How far below the target the result stays for the ceiling, in LU; 0 when it reaches it.
  double shortLu = 0.0;
  // The true peak of the matched result, in dBTP.
  double truePeakDbtp = 0.0;
  // The integrated loudness of the matched result, in LUFS, as this layer measures it.
  double integratedLufs = 0.0;
  // The ceiling or the most limiting allowed held the gain back.
  bool bounded = false;
};

// Brings the little-endian 16-bit stereo result in samples[0, targetLength) to targetLufs with
// its true peak at most the ceiling less the meter margin:
// - when targetLufs - loudness dB keep the peaks under it, by that one gain, each sample
//   rounded to the nearest value (halves away from zero) and held within 16 bits;
// - otherwise by a gain and the true-peak limiter of platform/peak_limiter_plugin.h, the gain
//   raised until the limited result measures within 0.05 LU of the target or the limiter
//   takes kMostLimitingDb off the highest peak; in the latter case shorter recoveries are
//   tried in turn. Same samples in, same bytes out.
// The true peak is measured again after either and the gain (or the limiter's threshold)
// lowered until it holds. When the limiter cannot be started the single gain is bounded by the
// ceiling, as it is without the limiter. samples[targetLength, 2 * targetLength) is used as
// scratch (the engine's buffer holds 3 * targetLength bytes). Writes one log line:
// "Loudness matched to -18.0 LUFS: gain +3.52 dB", with ", peaks limited by up to 2.10 dB"
// when the limiter took peaks (and ", recovering in 10 ms" after it when that was shorter than
// kLimiterReleaseSeconds), and ", 2.30 LU short of the target for a true peak of at most
// -1.0 dBTP" when the ceiling bounds it; before it "The true-peak limiter could not be
// started: peaks are not limited" when it could not; or "Loudness not matched: the result is
// silent".
LoudnessMatch matchLoudness(std::uint8_t* samples, std::uint32_t targetLength, double targetLufs,
                            engine::ProcessLog& log);

// The result matched again for an encoder that takes loudness off and adds peaks: the
// byteCount bytes of original (the result before its match; the bytes matchLoudness leaves at
// samples + targetLength) brought into copy to targetLufs with a true peak of at most
// aimedCeilingDbtp as this layer reads it, the limiter taking up to extraLimitingDb more than
// kMostLimitingDb off the highest peak. Same arithmetic as matchLoudness; nothing is logged.
LoudnessMatch matchCopy(const std::uint8_t* original, std::uint8_t* copy, std::uint32_t byteCount,
                        double targetLufs, double aimedCeilingDbtp, double extraLimitingDb);

}  // namespace batch
