#include "media/replay_gain.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "media/mp3_completeness.h"

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

std::vector<std::string> replayGainCopyArguments(const std::string& inputPath,
                                                 const std::string& outputPath,
                                                 const ReplayGainTags& tags) {
  std::vector<std::string> arguments = {
      "ffmpeg",         "-nostdin", "-v", "error", "-f",   "mp3",           "-i",
      inputPath,        "-map",     "0",  "-c",    "copy", "-map_metadata", "0",
      "-id3v2_version", "3"};
  const std::pair<const char*, const std::string*> named[] = {
      {"REPLAYGAIN_TRACK_GAIN", &tags.trackGain},
      {"REPLAYGAIN_TRACK_PEAK", &tags.trackPeak},
      {"REPLAYGAIN_ALBUM_GAIN", &tags.albumGain},
      {"REPLAYGAIN_ALBUM_PEAK", &tags.albumPeak}};
  for (const auto& [name, value] : named) {
    if (!value->empty())
      arguments.insert(arguments.end(), {"-metadata", std::string(name) + "=" + *value});
  }
  arguments.insert(arguments.end(), {"-f", "mp3", outputPath});
  return arguments;
}

bool addReplayGainTags(const std::string& inputPath, const std::string& outputPath,
                       const ReplayGainTags& tags, std::uint64_t frames, SystemServices& system) {
  const platform::ChildOutcome copy =
      system.runChild(replayGainCopyArguments(inputPath, outputPath, tags));
  const bool whole = platform::childSucceeded(copy) && mp3HoldsWholeTrack(outputPath, frames);
  if (!whole) system.deleteFile(outputPath);
  return whole;
}

}  // namespace media
