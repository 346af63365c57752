#include "batch/job_setup.h"

#include <wx/intl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "batch/entry_list.h"
#include "batch/native_path.h"
#include "platform/folders.h"
#include "engine/path_separator.h"
#include "platform/memory.h"

namespace batch {

namespace {

void writeBanner(ProcessLogFile& log, JobMode mode, const std::vector<std::string>& paths) {
  log.write("SonBalancer V1.70 - PROCESS LOG FILE\n");
  log.write("------------------------------------\nMODE: ");
  log.write(mode == JobMode::Folder ? "MULTIPLE FILE (FOLDER) PROCESS\n\n"
                                    : "SINGLE FILE PROCESS\n\n");
  for (const std::string& path : paths) log.print("SOURCE PATH: %s\n", path.c_str());
  log.write("\n");
}

void openLog(JobState& job, JobWindow& window, JobMode mode,
             const std::vector<std::string>& paths) {
  job.log.close();
  if (!window.logBoxTicked() || !job.log.open()) return;
  if (job.log.name() != kProcessLogName) {
    window.notice("another job is writing " + wxString(kProcessLogName) + ": this job's log is " +
                  fromNativePath(job.log.name()));
  }
  writeBanner(job.log, mode, paths);
  job.log.commit();
}

void takeJobChoices(JobState& job, JobWindow& window, const JobOptions& options) {
  job.options = options;
  engine::TrackState& track = job.track;
  track.mp3Requested = window.mp3BoxTicked() || options.mp3Only;
  if (const std::uint64_t memoryBytes = platform::physicalMemoryBytes()) {
    track.sampleSpaceLimit = memoryBytes;
  }
}

// Fails, closing the log it opened, when the list is empty.
bool startEntries(JobState& job, JobWindow& window, EntryList&& list) {
  job.fileList = std::move(list.paths);
  job.fileCount = static_cast<std::uint32_t>(job.fileList.GetCount());
  if (job.fileCount == 0) {
    job.log.close();
    return false;
  }
  job.outputFolders.releaseAll();
  job.resultNames.clear();
  job.track.outputFolderPath = list.outputFolders.front();
  job.entryOutputFolders = std::move(list.outputFolders);

  job.running = true;
  job.mediaSeen = false;
  job.engineReached = false;
  job.counts = EntryCounts{};
  job.folderInUseSeen = false;
  job.stopped = false;
  job.currentIndex = 0;
  window.startTimer(kTickIntervalMs);
  window.setFileGauge(0);
  window.setStateText(wxGetTranslation("RUNNING"));
  return true;
}

}  // namespace

int setUpJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path) {
  const std::vector<std::string> paths = {toNativePath(path)};
  openLog(job, window, mode, paths);
  takeJobChoices(job, window, JobOptions{});
  // A folder's plain files, hidden ones left out, or the one file; which of them are music is
  // decided per entry.
  if (!startEntries(job, window, listEntries(paths, EntryListOptions{}))) return 1;
  // Every entry writes into the one folder, which is made when missing, checked to be a
  // folder of its own and locked against other jobs; one that cannot be made shows later as
  // failed writes.
  job.entryOutputFolders.clear();
  job.outputFolders.claim(job.track.outputFolderPath);
  return 0;
}

int setUpLibraryJob(JobState& job, JobWindow& window, const LibraryJob& request) {
  const JobMode mode = request.paths.size() == 1 && !platform::isFolder(request.paths.front())
                           ? JobMode::SingleFile
                           : JobMode::Folder;
  openLog(job, window, mode, request.paths);
  takeJobChoices(job, window, request.options);
  return startEntries(job, window, listEntries(request.paths, request.listing)) ? 0 : 1;
}

bool startJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path) {
  if (job.running) return false;
  job.chosenPath = path;
  if (setUpJob(job, window, mode, path) == 0) return true;
  window.beep(kBeepFrequencyHz, kBeepDurationMs);
  return false;
}

}  // namespace batch
