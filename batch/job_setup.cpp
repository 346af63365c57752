#include "batch/job_setup.h"

#include <wx/dir.h>
#include <wx/intl.h>

#include "batch/native_path.h"
#include "engine/path_separator.h"
#include "platform/folders.h"
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

}  // namespace

int setUpJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path) {
  job.log.close();
  if (window.logBoxTicked() && job.log.open(kProcessLogName)) writeBanner(job.log, mode, path);

  engine::TrackState& track = job.track;
  track.mp3Requested = window.mp3BoxTicked();
  if (const std::uint64_t memoryBytes = platform::physicalMemoryBytes()) {
    track.sampleSpaceLimit = memoryBytes;
  }

  const std::string nativePath = toNativePath(path);
  std::string& outputFolder = track.outputFolderPath;
  job.fileList.Clear();
  if (mode == JobMode::Folder) {
    // Plain files of the folder itself, hidden ones left out, in the order the listing
    // yields them; which of them are music is decided per entry.
    wxDir::GetAllFiles(path, &job.fileList, wxEmptyString, wxDIR_FILES);
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
  // An existing folder is simply used; one that cannot be made shows later as failed writes.
  platform::createFolder(outputFolder);
  outputFolder += engine::kPathSeparator;

  job.running = true;
  job.mediaSeen = false;
  job.engineReached = false;
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
