// Loudness matching of a computed result: one linear gain that brings its integrated loudness
// to the job's target, bounded by a true-peak ceiling, applied to the 16-bit samples.
#pragma once

#include <cstdint>

#include "engine/process_log.h"

namespace batch {

struct LoudnessMatch {
  // False for a silent result, which is left as it is.
  bool applied = false;
  // The gain applied, in dB (negative for a result louder than the target).
  double gainDb = 0.0;
  // How far below the target the result stays for the ceiling, in LU; 0 when it reaches it.
  double shortLu = 0.0;
  // The true peak of the matched result, in dBTP.
  double truePeakDbtp = 0.0;
};

// Scales the little-endian 16-bit stereo result in samples[0, targetLength) by
// min(targetLufs - loudness, ceiling - true peak) dB, each sample rounded to the nearest value
// (halves away from zero) and held within 16 bits. The true peak is measured again after the
// scaling and the gain lowered until it holds. samples[targetLength, 2 * targetLength) is
// used as scratch (the engine's buffer holds 3 * targetLength bytes). Writes one log line:
// "Loudness matched to -18.0 LUFS: gain +3.52 dB", with ", 2.30 LU short of the target for a
// true peak of at most -1.0 dBTP" when the ceiling bounds it, or "Loudness not matched: the
// result is silent".
LoudnessMatch matchLoudness(std::uint8_t* samples, std::uint32_t targetLength, double targetLufs,
                            engine::ProcessLog& log);

}  // namespace batch
