// The Options menu's choices, each the window's form of a command option, kept in the
// toolkit's per-user configuration between runs; and the job request that a drop, a dialog or
// the command line makes with them.
#pragma once

#include <wx/config.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "app/window_job.h"
#include "media/mp3_step.h"

namespace app {

// The loudness targets offered, in LUFS, as the menu lists them after "Off".
inline constexpr double kLoudnessTargetsLufs[] = {-14.0, -16.0, -18.0, -23.0};
// The MP3 rates offered, in kbit/s, as the menu lists them after "As the Check Box";
// media::Mp3Rate::kSameRate is "Same as the Source".
inline constexpr int kMp3RatesKbps[] = {128, 192, 256, 320, media::Mp3Rate::kSameRate};

struct WindowOptions {
  // --recursive
  bool includeSubFolders = false;
  // --skip-existing
  bool skipFilesAlreadyDone = false;
  // --loudness-target; unset: Off.
  std::optional<double> loudnessTargetLufs;
  // --replaygain; only with the MP3 box ticked, as the command refuses it with --no-mp3.
  bool writeReplayGainTags = false;
  // --jobs; 0: one a processor.
  unsigned workers = 0;
  // --mp3-bitrate; unset: the check box's 128k or 192k.
  std::optional<int> mp3RateKbps;
  // --wav-tags
  bool writeWavTags = false;
};

// The processors, at least 1: the most workers offered and the automatic count.
unsigned processorCount();

// Missing or unusable keys give the first run's choices. The "Match Loudness" of earlier
// versions reads as a target of -16 LUFS.
WindowOptions loadWindowOptions(wxConfigBase& config);
// Written and flushed at once, so that a program that is killed keeps the choice too.
void saveWindowOptions(wxConfigBase& config, const WindowOptions& options);

// The job over paths (file-system bytes, whole) that the command would run with the same
// choices: the same set-up, listing, options and report options. Its report, when the log box
// is ticked, goes into the working folder under a name of its own, from reportName.
WindowJobRequest windowJobRequest(const std::vector<std::string>& paths, const BoxStates& boxes,
                                  const WindowOptions& options, const std::string& reportName);

// The report's name of a job started at time: "sonbalancer-report-20261210-073712".
std::string windowReportName(std::time_t time);

// Where the results of a job over path go: the sonbalanced folder beside a file, in a folder.
std::string resultsFolderOf(const std::string& path);

}  // namespace app
