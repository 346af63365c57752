#include "batch/replay_gain.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "batch/mp3_completeness.h"
#include "batch/native_path.h"
#include "batch/result_names.h"
#include "loudness/album_loudness.h"

namespace batch {

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

void writeAlbumReplayGain(JobState& job, JobStatus& window, SystemServices& system) {
  if (!job.options.albumReplayGain) return;
  for (const auto& [folder, album] : job.albums) {
    if (album.tracks.empty()) continue;
    if (album.partial) {
      job.log.print(
          "Album ReplayGain of %s not written: some of its tracks were not processed by this "
          "job\n\n",
          folder.c_str());
      continue;
    }
    std::vector<const loudness::AlbumMeter*> meters;
    double peakDbtp = -HUGE_VAL;
    for (const AlbumTrack& track : album.tracks) {
      meters.push_back(track.programme.get());
      peakDbtp = std::max(peakDbtp, track.programme->truePeakDbtp());
    }
    ReplayGainTags tags;
    tags.albumGain = replayGainText(loudness::albumLoudnessLufs(meters));
    tags.albumPeak = replayGainPeakText(peakDbtp);
    std::size_t written = 0;
    // The tagged copies are made in the work folder of the output folder, which the job holds
    // until its end.
    const OutputFolder* held = job.outputFolders.find(folder);
    for (const AlbumTrack& track : album.tracks) {
      if (system.stopRequested()) break;
      const std::string tagged = held ? temporaryResultPath(held->workFolderPath, "mp3") : "";
      if (!tagged.empty() && addReplayGainTags(track.mp3Path, tagged, tags, track.frames, system) &&
          std::rename(tagged.c_str(), track.mp3Path.c_str()) == 0) {
        ++written;
        continue;
      }
      system.deleteFile(tagged);
      // A copy cut short by a stop is no fault of the MP3's; the stop line tells of it.
      if (system.stopRequested()) break;
      job.log.print("Album ReplayGain could not be written into %s ! It keeps its track tags.\n\n",
                    track.mp3Path.c_str());
      window.notice(fromNativePath(track.mp3Path) + ": its album ReplayGain tags could not be written");
      job.jobFilesFailed = true;
    }
    job.log.print("Album ReplayGain of %s: gain %s, peak %s, written into %zu of %zu MP3 files\n\n",
                  folder.c_str(), tags.albumGain.c_str(), tags.albumPeak.c_str(), written,
                  album.tracks.size());
    if (system.stopRequested()) break;
  }
  job.log.commit();
}

}  // namespace batch
