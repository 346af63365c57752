#include "batch/loudness_match.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "engine/pcm_access.h"
#include "loudness/decibels.h"
#include "loudness/track_measurement.h"
#include "loudness/true_peak.h"

namespace batch {

namespace {

// Taken off again when the rounded samples still peak above the aimed ceiling.
constexpr double kRetryStepDb = 0.05;
constexpr int kMostScalings = 6;

// In double: a float factor would move samples near full scale by more than half a step.
void scale(const std::uint8_t* original, std::uint8_t* result, std::uint32_t byteCount,
           double gainDb) {
  const double factor = std::pow(10.0, gainDb / 20.0);
  for (std::uint32_t at = 0; at + 1 < byteCount; at += 2) {
    // std::lround rounds halves away from zero, so positive and negative halves stay mirrored.
    const long scaled = std::lround(engine::loadSample(original + at) * factor);
    engine::storeSample(result + at, static_cast<std::int16_t>(std::clamp<long>(
                                         scaled, std::numeric_limits<std::int16_t>::min(),
                                         std::numeric_limits<std::int16_t>::max())));
  }
}

}  // namespace

LoudnessMatch matchLoudness(std::uint8_t* samples, std::uint32_t targetLength, double targetLufs,
                            engine::ProcessLog& log) {
  LoudnessMatch match;
  const loudness::TrackMeasures measured = loudness::measurePcm16(samples, targetLength);
  const double truePeakDbtp = loudness::decibels(measured.truePeak);
  if (!std::isfinite(measured.integratedLufs) || !std::isfinite(truePeakDbtp)) {
    log.write("Loudness not matched: the result is silent\n\n");
    match.truePeakDbtp = truePeakDbtp;
    return match;
  }
  const double aimedCeiling = kLoudnessTruePeakCeilingDbtp - kTruePeakMeterMarginDb;
  const double wantedDb = targetLufs - measured.integratedLufs;
  double gainDb = std::min(wantedDb, aimedCeiling - truePeakDbtp);
  std::uint8_t* original = samples + targetLength;
  std::memcpy(original, samples, targetLength);
  double truePeak = truePeakDbtp;
  for (int scaling = 0; scaling < kMostScalings; ++scaling) {
    scale(original, samples, targetLength, gainDb);
    truePeak = loudness::truePeakDbtpOfPcm16(samples, targetLength);
    if (!(truePeak > aimedCeiling)) break;
    gainDb -= truePeak - aimedCeiling + kRetryStepDb;
  }
  match.applied = true;
  match.gainDb = gainDb;
  match.truePeakDbtp = truePeak;
  // A shortfall below a hundredth is the retry's own step, not a bound the user must know of.
  match.shortLu = wantedDb - gainDb >= 0.005 ? wantedDb - gainDb : 0.0;
  log.print("Loudness matched to %.1f LUFS: gain %+.2f dB", targetLufs, gainDb);
  if (match.shortLu > 0.0) {
    log.print(", %.2f LU short of the target for a true peak of at most %.1f dBTP", match.shortLu,
              kLoudnessTruePeakCeilingDbtp);
  }
  log.write("\n\n");
  return match;
}

}  // namespace batch
