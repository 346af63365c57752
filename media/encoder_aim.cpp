#include "media/encoder_aim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "loudness/true_peak_ceiling.h"

namespace media {

bool mp3OnTarget(const DecodedFigures& decoded, double targetLufs, bool sourceBounded) {
  // The margin the WAV keeps under the ceiling for finer meters holds for the MP3 too.
  if (decoded.truePeakDbtp > loudness::kAimedTruePeakDbtp) return false;
  const double missingLu = targetLufs - decoded.integratedLufs;
  return std::fabs(missingLu) <= kMp3LoudnessToleranceLu || (missingLu > 0.0 && sourceBounded);
}

EncoderAim nextEncoderAim(double targetLufs, double sourceLufs, double sourcePeakDbtp,
                          const DecodedFigures& decoded) {
  const double lossLu = sourceLufs - decoded.integratedLufs;
  // An encoding that lowered the peaks (a bass line's, say) gives the copy no more room: the
  // copy keeps the result's own ceiling at the most.
  const double overshootDb = std::max(0.0, decoded.truePeakDbtp - sourcePeakDbtp);
  EncoderAim aim;
  aim.targetLufs = targetLufs + lossLu;
  aim.truePeakDbtp = loudness::kAimedTruePeakDbtp - overshootDb;
  aim.extraLimitingDb = std::max(0.0, lossLu) + overshootDb;
  return aim;
}

std::string shortRecoveryText(double shortReleaseSeconds) {
  if (!(shortReleaseSeconds > 0.0)) return {};
  char text[40];
  std::snprintf(text, sizeof text, ", recovering in %.0f ms", shortReleaseSeconds * 1000.0);
  return text;
}

}  // namespace media
