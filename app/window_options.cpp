#include "app/window_options.h"

#include <algorithm>
#include <charconv>
#include <thread>

#include "platform/folders.h"

namespace app {

namespace {

const char* const kSubFoldersKey = "/Options/IncludeSubFolders";
const char* const kSkipDoneKey = "/Options/SkipFilesAlreadyDone";
const char* const kLoudnessTargetKey = "/Options/LoudnessTargetLufs";
const char* const kReplayGainKey = "/Options/WriteReplayGainTags";
const char* const kWorkersKey = "/Options/Workers";
const char* const kMp3RateKey = "/Options/Mp3RateKbps";
const char* const kWavTagsKey = "/Options/WriteWavTags";
// Written for "As the Check Box": no rate is negative.
constexpr long kRateOfTheCheckBox = -1;
const char* const kOldMatchLoudnessKey = "/Options/MatchLoudness";
constexpr double kOldMatchLoudnessTargetLufs = -16.0;

bool offered(double target) {
  return std::find(std::begin(kLoudnessTargetsLufs), std::end(kLoudnessTargetsLufs), target) !=
         std::end(kLoudnessTargetsLufs);
}

}  // namespace

unsigned processorCount() { return std::max(1u, std::thread::hardware_concurrency()); }

WindowOptions loadWindowOptions(wxConfigBase& config) {
  WindowOptions options;
  config.Read(kSubFoldersKey, &options.includeSubFolders, false);
  config.Read(kSkipDoneKey, &options.skipFilesAlreadyDone, false);
  config.Read(kReplayGainKey, &options.writeReplayGainTags, false);
  double target = 0.0;
  bool matchLoudness = false;
  if (config.Read(kLoudnessTargetKey, &target)) {
    if (offered(target)) options.loudnessTargetLufs = target;
  } else if (config.Read(kOldMatchLoudnessKey, &matchLoudness) && matchLoudness) {
    options.loudnessTargetLufs = kOldMatchLoudnessTargetLufs;
  }
  config.Read(kWavTagsKey, &options.writeWavTags, false);
  long rate = kRateOfTheCheckBox;
  config.Read(kMp3RateKey, &rate, kRateOfTheCheckBox);
  if (std::find(std::begin(kMp3RatesKbps), std::end(kMp3RatesKbps), rate) !=
      std::end(kMp3RatesKbps)) {
    options.mp3RateKbps = static_cast<int>(rate);
  }
  long workers = 0;
  config.Read(kWorkersKey, &workers, 0L);
  if (workers > 0 && workers <= static_cast<long>(processorCount())) {
    options.workers = static_cast<unsigned>(workers);
  }
  return options;
}

void saveWindowOptions(wxConfigBase& config, const WindowOptions& options) {
  config.Write(kSubFoldersKey, options.includeSubFolders);
  config.Write(kSkipDoneKey, options.skipFilesAlreadyDone);
  config.Write(kReplayGainKey, options.writeReplayGainTags);
  // Off is written too, so that the old "Match Loudness" is no longer read.
  config.Write(kLoudnessTargetKey, options.loudnessTargetLufs.value_or(0.0));
  config.Write(kWorkersKey, static_cast<long>(options.workers));
  config.Write(kMp3RateKey, options.mp3RateKbps ? long{*options.mp3RateKbps} : kRateOfTheCheckBox);
  config.Write(kWavTagsKey, options.writeWavTags);
  config.DeleteEntry(kOldMatchLoudnessKey);
  config.Flush();
}

std::string windowReportName(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char text[32];
  std::strftime(text, sizeof text, "-%Y%m%d-%H%M%S", &local);
  return batch::kWindowReportName + std::string(text);
}

std::string resultsFolderOf(const std::string& path) {
  const std::string folder =
      platform::isFolder(path) ? path : path.substr(0, path.rfind('/') + 1);
  return (folder.empty() || folder.back() == '/' ? folder : folder + "/") + batch::kOutputFolderName;
}

WindowJobRequest windowJobRequest(const std::vector<std::string>& paths, const BoxStates& boxes,
                                  const WindowOptions& options, const std::string& reportName) {
  WindowJobRequest request;
  request.boxes = boxes;
  request.workers = options.workers == 0 ? processorCount() : options.workers;
  batch::LibraryJob& job = request.job;
  job.paths = paths;
  job.listing.recursive = options.includeSubFolders;
  job.options.skipExisting = options.skipFilesAlreadyDone;
  job.options.loudnessTargetLufs = options.loudnessTargetLufs;
  job.options.replayGain = options.writeReplayGainTags && boxes.mp3;
  // Album tags belong to the tracks of a folder, never to a file given on its own.
  for (const std::string& path : paths) {
    if (job.options.replayGain && (job.listing.recursive || platform::isFolder(path))) {
      job.options.albumReplayGain = true;
    }
  }
  job.options.wavTags = options.writeWavTags;
  if (options.mp3RateKbps) {
    job.options.mp3Rate = media::Mp3Rate{};
    job.options.mp3Rate->kbps = *options.mp3RateKbps;
  }
  job.options.numberedTemporaryFiles = true;
  // The process log's figures, for people: a job that keeps a log keeps its report beside it.
  job.options.report = boxes.log;
  job.reportTarget = batch::ReportTarget{".", reportName};
  // The report lists the job's options as batch makes them from it, for either front end.
  job.workers = request.workers;
  return request;
}

}  // namespace app
