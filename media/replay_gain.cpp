#include "media/replay_gain.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "media/mp3_completeness.h"
#include "media/track_identity.h"

namespace media {

std::string replayGainText(double integratedLufs) {
  const double gainDb =
      std::isfinite(integratedLufs) ? kReplayGainReferenceLufs - integratedLufs : 0.0;
  char text[32];
  std::snprintf(text, sizeof text, "%+.2f dB", gainDb);
  return text;
}

std::string replayGainPeakText(double truePeakDbtp) {
  const double ratio = std::isfinite(truePeakDbtp) ? std::pow(10.0, truePeakDbtp / 20.0) : 0.0;
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", ratio);
  return text;
}

std::vector<std::pair<std::string, std::string>> replayGainFrames(const ReplayGainTags& tags) {
  const std::pair<const char*, const std::string*> named[] = {
      {"REPLAYGAIN_TRACK_GAIN", &tags.trackGain},
      {"REPLAYGAIN_TRACK_PEAK", &tags.trackPeak},
      {"REPLAYGAIN_ALBUM_GAIN", &tags.albumGain},
      {"REPLAYGAIN_ALBUM_PEAK", &tags.albumPeak}};
  std::vector<std::pair<std::string, std::string>> frames;
  for (const auto& [name, value] : named) {
    if (!value->empty()) frames.emplace_back(name, *value);
  }
  return frames;
}

bool addReplayGainTags(const std::string& mp3Path, const ReplayGainTags& tags,
                       std::uint64_t frames) {
  return writeMp3TextFramesInPlace(mp3Path, replayGainFrames(tags)) &&
         mp3HoldsWholeTrack(mp3Path, frames);
}

}  // namespace media
