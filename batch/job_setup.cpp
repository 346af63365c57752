#include "batch/job_setup.h"

#include <wx/intl.h>

#include <algorithm>
#include <charconv>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "batch/entry_list.h"
#include "batch/memory_budget.h"
#include "batch/native_path.h"
#include "batch/pipeline.h"
#include "batch/sample_blocks.h"
#include "engine/path_separator.h"
#include "media/converter_commands.h"
#include "platform/child_process.h"
#include "platform/folders.h"
#include "platform/open_files.h"
#include "sonbalancer_version.h"

namespace batch {

namespace {

void writeBanner(ProcessLogFile& log, JobMode mode, const std::vector<std::string>& paths) {
  log.print("SonBalancer V%s - PROCESS LOG FILE\n", sonbalancer::kVersion);
  log.write("------------------------------------\nMODE: ");
  log.write(mode == JobMode::Folder ? "MULTIPLE FILE (FOLDER) PROCESS\n\n"
                                    : "SINGLE FILE PROCESS\n\n");
  for (const std::string& path : paths) log.print("SOURCE PATH: %s\n", path.c_str());
  log.write("\n");
}

void openLog(JobState& job, JobChoices& choices, JobStatus& window, JobMode mode,
             const std::vector<std::string>& paths) {
  // The first step of every job.
  job.jobFilesFailed = false;
  job.log.close();
  if (!choices.logBoxTicked()) return;
  if (!job.log.open()) {
    window.notice("the process log could not be created in the working folder");
    job.jobFilesFailed = true;
    return;
  }
  if (job.log.plainNameRefused()) {
    window.notice(wxString(kProcessLogName) +
                  " is a link or not a file of this user's own, and is left alone: this job's "
                  "log is " +
                  fromNativePath(job.log.name()));
  } else if (job.log.name() != kProcessLogName) {
    window.notice("another job is writing " + wxString(kProcessLogName) + ": this job's log is " +
                  fromNativePath(job.log.name()));
  }
  writeBanner(job.log, mode, paths);
  job.log.commit();
}

void takeJobChoices(JobState& job, JobChoices& choices, const JobOptions& options) {
  job.options = options;
  engine::TrackState& track = job.track;
  job.mp3Requested = choices.mp3BoxTicked() || options.mp3Only;
  job.resultChoices = resultChoicesOf(options, job.mp3Requested, choices);
  track.sampleSpaceLimit = jobMemoryBudget(options.memoryBytes);
  // The window's job, and the command's job before its workers are known, run one entry at a
  // time.
  track.splitOnOwnThread = coreFreeBesideEachWorker(1);
  drawLargeSampleBlocks(track.buffer);
}

// The local time in ISO 8601, with its offset from UTC: "2026-12-09T06:52:11+01:00".
std::string isoLocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  std::string iso = text;
  if (iso.size() >= 5) iso.insert(iso.size() - 2, ":");
  return iso;
}

// The job's options as its report gives them, the same list whichever front end set the job up:
// the choices that shape its results, with the window's check boxes as they stand.
std::vector<std::pair<std::string, std::string>> reportOptionsOf(const JobOptions& options,
                                                                 const EntryListOptions& listing,
                                                                 unsigned workers,
                                                                 JobChoices& choices) {
  auto said = [](bool yes) { return std::string(yes ? "true" : "false"); };
  std::string target;
  if (options.loudnessTargetLufs) {
    // The shortest text that reads back as the same number: "-18", "-16.5".
    char shortest[32];
    const auto written =
        std::to_chars(shortest, shortest + sizeof shortest, *options.loudnessTargetLufs);
    target.assign(shortest, written.ptr);
  }
  std::string mp3Bitrate;
  std::string mp3Vbr;
  if (options.mp3Rate && options.mp3Rate->vbrQuality) {
    mp3Vbr = std::to_string(*options.mp3Rate->vbrQuality);
  } else if (options.mp3Rate) {
    mp3Bitrate = options.mp3Rate->kbps == media::Mp3Rate::kSameRate
                     ? "same"
                     : std::to_string(options.mp3Rate->kbps);
  }
  const std::string shard =
      listing.shardCount > 1
          ? std::to_string(listing.shardIndex) + "/" + std::to_string(listing.shardCount)
          : "";
  return {{"recursive", said(listing.recursive)},
          {"jobs", std::to_string(workers)},
          {"skip_existing", said(options.skipExisting)},
          {"output", listing.outputRoot},
          {"mp3", said(choices.mp3BoxTicked() && !options.analyzeOnly)},
          {"mp3_192k", said(choices.mp3At192kTicked())},
          {"mp3_bitrate", mp3Bitrate},
          {"mp3_vbr", mp3Vbr},
          {"mp3_only", said(options.mp3Only)},
          {"no_bassline", said(choices.noBasslineTicked())},
          {"ignore_clicks", said(choices.ignoreClicksTicked())},
          {"analyze", said(options.analyzeOnly)},
          {"shard", shard},
          {"loudness_target", target},
          {"replaygain", said(options.replayGain)},
          {"wav_tags", said(options.wavTags)}};
}

void beginReport(JobState& job, JobChoices& choices, ReportTarget target,
                 const EntryListOptions& listing, unsigned workers) {
  job.report = report::JobReport{};
  job.report.version = sonbalancer::kVersion;
  job.report.started = isoLocalTime(std::time(nullptr));
  job.report.options = reportOptionsOf(job.options, listing, workers, choices);
  job.report.sourceRoots = job.sourceRoots;
  job.reportTarget = std::move(target);
}

// Fails, closing the log it opened, when the list is empty.
bool startEntries(JobState& job, JobStatus& window, EntryList&& list) {
  job.fileList = std::move(list.paths);
  job.fileCount = static_cast<std::uint32_t>(job.fileList.GetCount());
  if (job.fileCount == 0) {
    job.log.close();
    return false;
  }
  job.reportTracks.assign(job.options.report ? job.fileCount : 0, std::nullopt);
  job.outputFolders.releaseAll();
  job.outputFolders.waitWhenBusy(job.options.busyWaitMs);
  platform::allowOpenFilesForALibrary();
  job.resultNames.clear();
  job.resultNames.keepOffSources(std::move(list.sources));
  job.track.outputFolderPath = list.outputFolders.front();
  job.entryOutputFolders = std::move(list.outputFolders);

  job.running = true;
  job.mediaSeen = false;
  job.engineReached = false;
  job.counts = EntryCounts{};
  job.folderInUseSeen = false;
  job.stopped = false;
  job.currentIndex = 0;
  window.setStateText(wxGetTranslation("RUNNING"));
  return true;
}

// Whether an entry of the list is read by the converter, or, with MP3 files, is music at all.
bool needsConverter(const EntryList& list, bool mp3) {
  for (const wxString& entry : list.paths) {
    const EntryKind kind = entryKindOf(entry);
    if (kind == EntryKind::Converted || (mp3 && kind == EntryKind::DirectWav)) return true;
  }
  return false;
}

}  // namespace

bool coreFreeBesideEachWorker(unsigned workers) {
  return 2 * workers <= std::thread::hardware_concurrency();
}

int setUpJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path) {
  const std::vector<std::string> paths = {toNativePath(path)};
  openLog(job, window, window, mode, paths);
  JobOptions options;
  // The process log's figures, for people: a job that keeps a log keeps its report beside it.
  options.report = window.logBoxTicked();
  takeJobChoices(job, window, options);
  job.sourceRoots = paths;
  job.entriesOnTheirOwn.clear();
  beginReport(job, window, ReportTarget{".", kWindowReportName}, EntryListOptions{}, 1);
  // A folder's plain files, hidden ones left out, or the one file; which of them are music is
  // decided per entry.
  if (!startEntries(job, window, listEntries(paths, EntryListOptions{}))) return 1;
  window.startTimer(kTickIntervalMs);
  window.setFileGauge(0);
  // Every entry writes into the one folder, which is made when missing, checked to be a
  // folder of its own and locked against other jobs; one that cannot be made shows later as
  // failed writes.
  job.entryOutputFolders.clear();
  job.outputFolders.claim(job.track.outputFolderPath);
  return 0;
}

int setUpLibraryJob(JobState& job, JobChoices& choices, JobStatus& window,
                    const LibraryJob& request) {
  const JobMode mode = request.paths.size() == 1 && !platform::isFolder(request.paths.front())
                           ? JobMode::SingleFile
                           : JobMode::Folder;
  EntryList list = listEntries(request.paths, request.listing);
  const bool mp3 = choices.mp3BoxTicked() && !request.options.analyzeOnly;
  if (needsConverter(list, mp3) && platform::findProgram(media::kConverterProgram).empty()) {
    return kConverterMissing;
  }
  openLog(job, choices, window, mode, request.paths);
  takeJobChoices(job, choices, request.options);
  job.sourceRoots = request.paths;
  beginReport(job, choices, request.reportTarget, request.listing, request.workers);
  if (request.options.analyzeOnly) {
    // Nothing is saved and no output folder is made: the converter writes into a folder of
    // the job's own.
    job.mp3Requested = false;
    job.analysisFolder = platform::createPrivateFolder();
    for (std::string& folder : list.outputFolders) folder = job.analysisFolder + engine::kPathSeparator;
  }
  job.entriesOnTheirOwn = entriesOnTheirOwn(list.paths, request.paths, request.listing.recursive);
  // More shards than output folders leave some shards nothing: that is no fault of theirs.
  const bool listedForOtherShards = list.paths.IsEmpty() && !list.sources.empty();
  if (startEntries(job, window, std::move(list))) return 0;
  return listedForOtherShards ? kNoFolderInThisShard : 1;
}

bool startJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path) {
  if (job.running) return false;
  job.chosenPath = path;
  if (setUpJob(job, window, mode, path) == 0) return true;
  window.beep(kBeepFrequencyHz, kBeepDurationMs);
  return false;
}

}  // namespace batch
