#include "batch/loudness_match.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "engine/pcm_access.h"
#include "loudness/decibels.h"
#include "loudness/track_measurement.h"
#include "loudness/true_peak.h"
#include "media/encoder_aim.h"
#include "platform/peak_limiter_plugin.h"

namespace batch {

namespace {

// Taken off again when the rounded samples still peak above the aimed ceiling.
constexpr double kRetryStepDb = 0.05;
constexpr int kMostScalings = 6;

// A limited result this close to the target is on it: a tenth of the tolerance a listener
// or a streaming service allows, and within the meters' own spread.
constexpr double kLimitedToleranceLu = 0.05;
// Each try runs the limiter once over the track and measures the result.
constexpr int kMostLimitings = 8;
// The least loudness one more dB of gain is taken to add under the limiter, so that a try on a
// nearly flat stretch cannot send the next gain far past the bound.
constexpr double kLeastLoudnessSlope = 0.1;
// Recovery after a limited peak, tried in turn while the target stays out of reach within the
// most limiting. The first is long enough that the gain does not follow the waveform of the
// bass (distortion), short enough that a lone transient does not duck the beat after it. The
// shorter ones let a sparse hit go sooner, so that more of its body keeps its loudness: sparse
// drums that fall a dB short at the first reach the target, at the cost of some roughness on
// the loudest bass notes, which only such tracks take.
constexpr double kLimiterReleasesSeconds[] = {kLimiterReleaseSeconds, 0.02, 0.01, 0.005};

// 16-bit values to and from full scale 1.0: -32768 is full scale, as the meters take it.
constexpr double kPcm16FullScale = 32768.0;

std::int16_t roundedSample(double value) {
  // std::lround rounds halves away from zero, so positive and negative halves stay mirrored.
  return static_cast<std::int16_t>(std::clamp<long>(std::lround(value),
                                                    std::numeric_limits<std::int16_t>::min(),
                                                    std::numeric_limits<std::int16_t>::max()));
}

// In double: a float factor would move samples near full scale by more than half a step.
void scale(const std::uint8_t* original, std::uint8_t* result, std::uint32_t byteCount,
           double gainDb) {
  const double factor = std::pow(10.0, gainDb / 20.0);
  for (std::uint32_t at = 0; at + 1 < byteCount; at += 2) {
    engine::storeSample(result + at, roundedSample(engine::loadSample(original + at) * factor));
  }
}

// Writes the whole frames of original scaled by gainDb, through the limiter at thresholdDb,
// into result, rounded to 16 bits. False when the limiter cannot be started.
bool limit(const std::uint8_t* original, std::uint8_t* result, std::uint32_t byteCount,
           double gainDb, double thresholdDb, double releaseSeconds) {
  const std::unique_ptr<platform::PeakLimiterPlugin> limiter =
      platform::PeakLimiterPlugin::open(thresholdDb, releaseSeconds);
  if (!limiter) return false;
  constexpr std::size_t kBlock = platform::PeakLimiterPlugin::kBlockFrames;
  const std::size_t frames = byteCount / engine::kFrameBytes;
  const double factor = std::pow(10.0, gainDb / 20.0) / kPcm16FullScale;
  std::size_t latency = 0;
  // The plugin's output lags its input by its look-ahead: silence is fed after the last frame
  // until the last frame has come out.
  for (std::size_t fed = 0; fed < frames + latency; fed += kBlock) {
    for (std::size_t i = 0; i < kBlock; ++i) {
      float left = 0.0f;
      float right = 0.0f;
      if (fed + i < frames) {
        const std::uint8_t* frame = original + (fed + i) * engine::kFrameBytes;
        left = static_cast<float>(engine::loadSample(frame) * factor);
        right = static_cast<float>(engine::loadSample(frame + engine::kRightOffset) * factor);
      }
      limiter->input(0)[i] = left;
      limiter->input(1)[i] = right;
    }
    limiter->run(kBlock);
    if (fed == 0) latency = limiter->latencyFrames();
    for (std::size_t i = 0; i < kBlock; ++i) {
      if (fed + i < latency || fed + i - latency >= frames) continue;
      std::uint8_t* frame = result + (fed + i - latency) * engine::kFrameBytes;
      engine::storeSample(frame, roundedSample(limiter->output(0)[i] * kPcm16FullScale));
      engine::storeSample(frame + engine::kRightOffset,
                          roundedSample(limiter->output(1)[i] * kPcm16FullScale));
    }
  }
  return true;
}

struct Scaled {
  double gainDb = 0.0;
  double truePeakDbtp = 0.0;
};

// The linear gain: gainDb, lowered until the rounded samples keep the aimed ceiling.
Scaled scaleUnderCeiling(const std::uint8_t* original, std::uint8_t* result,
                         std::uint32_t byteCount, double gainDb, double aimedCeiling) {
  double truePeak = 0.0;
  for (int scaling = 0; scaling < kMostScalings; ++scaling) {
    scale(original, result, byteCount, gainDb);
    truePeak = loudness::truePeakDbtpOfPcm16(result, byteCount);
    if (!(truePeak > aimedCeiling)) break;
    gainDb -= truePeak - aimedCeiling + kRetryStepDb;
  }
  return {gainDb, truePeak};
}

struct Limited {
  double gainDb = 0.0;
  double thresholdDb = 0.0;
  double releaseSeconds = kLimiterReleaseSeconds;
  double limitingDb = 0.0;
  double truePeakDbtp = 0.0;
  double integratedLufs = 0.0;
  // The gain was held at the most limiting allowed.
  bool bounded = false;
};

// The gain that brings the limited result to the target, found by measuring it, with at most
// mostLimitingDb taken off the highest peak; nothing when the limiter cannot be started. The
// last try stands when the tries run out.
std::optional<Limited> limitToTarget(const std::uint8_t* original, std::uint8_t* result,
                                     std::uint32_t byteCount, double targetLufs, double wantedDb,
                                     double truePeakDbtp, double aimedCeiling,
                                     double mostLimitingDb, double releaseSeconds) {
  Limited limited;
  limited.releaseSeconds = releaseSeconds;
  double threshold = aimedCeiling;
  double gainDb = wantedDb;
  std::optional<Limited> previous;
  for (int tries = 0; tries < kMostLimitings; ++tries) {
    const double mostGainDb = threshold + mostLimitingDb - truePeakDbtp;
    limited.bounded = gainDb >= mostGainDb;
    gainDb = std::min(gainDb, mostGainDb);
    if (!limit(original, result, byteCount, gainDb, threshold, releaseSeconds)) return std::nullopt;
    const loudness::TrackMeasures measures = loudness::measurePcm16(result, byteCount);
    limited.gainDb = gainDb;
    limited.thresholdDb = threshold;
    limited.limitingDb = truePeakDbtp + gainDb - threshold;
    limited.truePeakDbtp = loudness::decibels(measures.truePeak);
    limited.integratedLufs = measures.integratedLufs;
    // The plugin oversamples more coarsely than the meters: a peak it let through lowers its
    // threshold by as much.
    const bool over = limited.truePeakDbtp > aimedCeiling;
    if (over) threshold -= limited.truePeakDbtp - aimedCeiling + kRetryStepDb;
    const double missingLu = targetLufs - limited.integratedLufs;
    if (!over && (std::fabs(missingLu) <= kLimitedToleranceLu || (missingLu > 0.0 && limited.bounded))) {
      return limited;
    }
    // Limiting takes back part of each added dB: the next gain follows the slope of the last
    // two tries (1 dB a dB at first, when the result is approached from below).
    double slope = 1.0;
    if (previous && previous->gainDb != gainDb) {
      slope = std::clamp((limited.integratedLufs - previous->integratedLufs) /
                             (gainDb - previous->gainDb),
                         kLeastLoudnessSlope, 1.0);
    }
    previous = limited;
    gainDb += missingLu / slope;
  }
  return limited;
}

// limitToTarget at each release in turn, until one reaches the target under the ceiling. Of
// those that keep the ceiling, the loudest stands, a longer release before a shorter one that
// is not louder by more than the tolerance; its bytes are in result.
std::optional<Limited> limitToTargetAtSomeRelease(const std::uint8_t* original,
                                                  std::uint8_t* result, std::uint32_t byteCount,
                                                  double targetLufs, double wantedDb,
                                                  double truePeakDbtp, double aimedCeiling,
                                                  double mostLimitingDb) {
  std::optional<Limited> best;
  // What result holds.
  std::optional<Limited> last;
  for (double release : kLimiterReleasesSeconds) {
    std::optional<Limited> tried =
        limitToTarget(original, result, byteCount, targetLufs, wantedDb, truePeakDbtp, aimedCeiling,
                      mostLimitingDb, release);
    if (!tried) break;
    last = tried;
    if (tried->truePeakDbtp > aimedCeiling) continue;
    if (!best || tried->integratedLufs > best->integratedLufs + kLimitedToleranceLu) best = tried;
    if (!tried->bounded || targetLufs - tried->integratedLufs <= kLimitedToleranceLu) break;
  }
  if (!best || best->releaseSeconds == last->releaseSeconds) return last;
  if (!limit(original, result, byteCount, best->gainDb, best->thresholdDb, best->releaseSeconds)) {
    return std::nullopt;
  }
  return best;
}

// original brought to targetLufs under aimedCeiling into result, as matchLoudness says, the
// limiter taking up to extraLimitingDb beyond kMostLimitingDb; limiterMissing tells whether
// it could not be started.
LoudnessMatch matchInto(const std::uint8_t* original, std::uint8_t* result, std::uint32_t byteCount,
                        double targetLufs, double aimedCeiling, double extraLimitingDb,
                        bool& limiterMissing) {
  LoudnessMatch match;
  const loudness::TrackMeasures figures = loudness::measurePcm16(original, byteCount);
  const double truePeakDbtp = loudness::decibels(figures.truePeak);
  match.truePeakDbtp = truePeakDbtp;
  if (!std::isfinite(figures.integratedLufs) || !std::isfinite(truePeakDbtp)) return match;
  const double wantedDb = targetLufs - figures.integratedLufs;
  std::optional<Limited> limited;
  if (wantedDb > aimedCeiling - truePeakDbtp) {
    limited =
        limitToTargetAtSomeRelease(original, result, byteCount, targetLufs, wantedDb, truePeakDbtp,
                                   aimedCeiling, kMostLimitingDb + extraLimitingDb);
    limiterMissing = !limited;
    // Out of tries above the ceiling: the one gain under it, as without the limiter.
    if (limited && limited->truePeakDbtp > aimedCeiling) limited.reset();
  }
  match.applied = true;
  if (limited) {
    match.gainDb = limited->gainDb;
    match.limitingDb = limited->limitingDb;
    if (limited->releaseSeconds < kLimiterReleaseSeconds) {
      match.shortReleaseSeconds = limited->releaseSeconds;
    }
    match.truePeakDbtp = limited->truePeakDbtp;
    match.integratedLufs = limited->integratedLufs;
    match.bounded = limited->bounded;
    // Short when the bound stopped the gain, or when the tries ran out before the target.
    const double shortLu = targetLufs - limited->integratedLufs;
    match.shortLu =
        shortLu >= 0.005 && (limited->bounded || shortLu > kLimitedToleranceLu) ? shortLu : 0.0;
  } else {
    const Scaled scaled = scaleUnderCeiling(
        original, result, byteCount, std::min(wantedDb, aimedCeiling - truePeakDbtp), aimedCeiling);
    match.gainDb = scaled.gainDb;
    match.truePeakDbtp = scaled.truePeakDbtp;
    match.integratedLufs = figures.integratedLufs + scaled.gainDb;
    // A shortfall below a hundredth is the retry's own step, not a bound the user must know of.
    match.shortLu = wantedDb - scaled.gainDb >= 0.005 ? wantedDb - scaled.gainDb : 0.0;
    match.bounded = match.shortLu > 0.0;
  }
  return match;
}

}  // namespace

LoudnessMatch matchLoudness(std::uint8_t* samples, std::uint32_t targetLength, double targetLufs,
                            engine::ProcessLog& log) {
  std::uint8_t* original = samples + targetLength;
  std::memcpy(original, samples, targetLength);
  bool limiterMissing = false;
  const LoudnessMatch match = matchInto(original, samples, targetLength, targetLufs,
                                        loudness::kAimedTruePeakDbtp, 0.0, limiterMissing);
  if (!match.applied) {
    log.write("Loudness not matched: the result is silent\n\n");
    return match;
  }
  if (limiterMissing) {
    log.write("The true-peak limiter could not be started: peaks are not limited\n\n");
  }
  log.print("Loudness matched to %.1f LUFS: gain %+.2f dB", targetLufs, match.gainDb);
  if (match.limitingDb > 0.0) log.print(", peaks limited by up to %.2f dB", match.limitingDb);
  log.write(media::shortRecoveryText(match.shortReleaseSeconds));
  if (match.shortLu > 0.0) {
    log.print(", %.2f LU short of the target for a true peak of at most %.1f dBTP", match.shortLu,
              loudness::kTruePeakCeilingDbtp);
  }
  log.write("\n\n");
  return match;
}

LoudnessMatch matchCopy(const std::uint8_t* original, std::uint8_t* copy, std::uint32_t byteCount,
                        double targetLufs, double aimedCeilingDbtp, double extraLimitingDb) {
  bool limiterMissing = false;
  return matchInto(original, copy, byteCount, targetLufs, aimedCeilingDbtp, extraLimitingDb,
                   limiterMissing);
}

}  // namespace batch
