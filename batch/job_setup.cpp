#include "batch/job_setup.h"

#include <wx/dir.h>
#include <wx/intl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "batch/native_path.h"
#include "engine/path_separator.h"
#include "platform/memory.h"

namespace batch {

namespace {

void writeBanner(ProcessLogFile& log, JobMode mode, const wxString& path) {
  log.write("SonBalancer V1.70 - PROCESS LOG FILE\n");
  log.write("------------------------------------\nMODE: ");
  log.write(mode == JobMode::Folder ? "MULTIPLE FILE (FOLDER) PROCESS\n\n"
                                    : "SINGLE FILE PROCESS\n\n");
  log.print("SOURCE PATH: %s\n\n", toNativePath(path).c_str());
}

// In the byte order of the names, so that the order of the log, and which of two same-name
// sources keeps the plain result name, are the same on every machine and every run.
void sortByName(wxArrayString& paths) {
  std::vector<std::string> names;
  names.reserve(paths.GetCount());
  for (const wxString& path : paths) names.push_back(toNativePath(path));
  std::sort(names.begin(), names.end());
  paths.Clear();
  for (const std::string& name : names) paths.Add(fromNativePath(name));
}

}  // namespace

int setUpJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path) {
  job.log.close();
  if (window.logBoxTicked() && job.log.open()) {
    if (job.log.name() != kProcessLogName) {
      window.notice("another job is writing " + wxString(kProcessLogName) + ": this job's log is " +
                    fromNativePath(job.log.name()));
    }
    writeBanner(job.log, mode, path);
    job.log.commit();
  }

  engine::TrackState& track = job.track;
  track.mp3Requested = window.mp3BoxTicked();
  if (const std::uint64_t memoryBytes = platform::physicalMemoryBytes()) {
    track.sampleSpaceLimit = memoryBytes;
  }

  const std::string nativePath = toNativePath(path);
  std::string& outputFolder = track.outputFolderPath;
  job.fileList.Clear();
  if (mode == JobMode::Folder) {
    // Plain files of the folder itself, hidden ones left out; which of them are music is
    // decided per entry.
    wxDir::GetAllFiles(path, &job.fileList, wxEmptyString, wxDIR_FILES);
    sortByName(job.fileList);
    job.fileCount = static_cast<std::uint32_t>(job.fileList.GetCount());
    if (job.fileCount == 0) {
      job.log.close();
      return 1;
    }
    outputFolder = nativePath;
  } else {
    const std::size_t lastSeparator = nativePath.rfind(engine::kPathSeparator);
    outputFolder =
        lastSeparator == std::string::npos ? std::string() : nativePath.substr(0, lastSeparator);
    job.fileList.Add(path);
    job.fileCount = 1;
  }
  outputFolder += engine::kPathSeparator;
  outputFolder += kOutputFolderName;
  outputFolder += engine::kPathSeparator;
  // Made when missing, checked to be a folder of its own and locked against other jobs; one
  // that cannot be made shows later as failed writes.
  job.outputFolders.releaseAll();
  job.resultNames.clear();
  job.outputFolders.claim(outputFolder);

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
  return 0;
}

bool startJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path) {
  if (job.running) return false;
  job.chosenPath = path;
  if (setUpJob(job, window, mode, path) == 0) return true;
  window.beep(kBeepFrequencyHz, kBeepDurationMs);
  return false;
}

}  // namespace batch
