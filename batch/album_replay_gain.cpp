#include "batch/album_replay_gain.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "batch/native_path.h"
#include "batch/pipeline.h"
#include "batch/result_names.h"
#include "loudness/album_loudness.h"
#include "media/replay_gain.h"

namespace batch {

void writeAlbumReplayGain(JobState& job, JobStatus& window, media::SystemServices& system) {
  if (!job.options.albumReplayGain) return;
  for (const auto& [folder, album] : job.albums) {
    if (album.tracks.empty()) continue;
    if (album.partial) {
      job.log.print(
          "Album ReplayGain of %s not written: some of its tracks were not processed by this "
          "job\n\n",
          folder.c_str());
      // The album changed, so the album tags its other tracks carry no longer hold.
      job.manifests.dropAlbumTags(folder);
      tellOfUnwrittenRecords(job, window, folder);
      // Output folders end with the separator.
      window.notice(fromNativePath(folder.substr(0, folder.size() - 1)) +
                    ": its album ReplayGain tags were not written, as some of its tracks were up "
                    "to date; the next run with --skip-existing makes the whole album again");
      job.jobFilesFailed = true;
      continue;
    }
    std::vector<const loudness::AlbumMeter*> meters;
    double peakDbtp = -HUGE_VAL;
    for (const AlbumTrack& track : album.tracks) {
      meters.push_back(track.programme.get());
      peakDbtp = std::max(peakDbtp, track.programme->truePeakDbtp());
    }
    media::ReplayGainTags tags;
    tags.albumGain = media::replayGainText(loudness::albumLoudnessLufs(meters));
    tags.albumPeak = media::replayGainPeakText(peakDbtp);
    std::size_t written = 0;
    std::vector<std::string> tagged;
    for (const AlbumTrack& track : album.tracks) {
      if (system.stopRequested()) break;
      if (media::addReplayGainTags(track.mp3Path, tags, track.frames)) {
        ++written;
        tagged.insert(tagged.end(), track.resultPaths.begin(), track.resultPaths.end());
        continue;
      }
      job.log.print("Album ReplayGain could not be written into %s ! It keeps its track tags.\n\n",
                    track.mp3Path.c_str());
      window.notice(fromNativePath(track.mp3Path) +
                    ": its album ReplayGain tags could not be written");
      job.jobFilesFailed = true;
    }
    // An album that some tracks lack is made whole by a later job.
    if (written == album.tracks.size()) job.manifests.recordAlbumTags(folder, tagged);
    job.log.print("Album ReplayGain of %s: gain %s, peak %s, written into %zu of %zu MP3 files\n\n",
                  folder.c_str(), tags.albumGain.c_str(), tags.albumPeak.c_str(), written,
                  album.tracks.size());
    if (system.stopRequested()) break;
  }
  job.log.commit();
}

}  // namespace batch
