// Turning a chosen file or folder into a running job: process log and banner, file list,
// output folder, counters, "RUNNING" and the timer.
#pragma once

#include <wx/string.h>

#include <string>
#include <vector>

#include "batch/entry_list.h"

#include "batch/job_state.h"
#include "batch/job_window.h"

namespace batch {

// Whether this many workers, each on a core of its own, leave one more core free for each of
// them: the engine then runs the band split of its track on a second thread.
bool coreFreeBesideEachWorker(unsigned workers);

// Name of the sub-folder, beside the source, that receives every result.
inline constexpr const char* kOutputFolderName = "sonbalanced";
// Interval between two ticks of a running job.
inline constexpr int kTickIntervalMs = 150;
// The beep that tells the user nothing (more) could be done.
inline constexpr int kBeepFrequencyHz = 750;
inline constexpr int kBeepDurationMs = 300;

// What the headless command asks of a job beyond the check boxes.
struct LibraryJob {
  // Files and folders, whole and as the file system's bytes, in the order given.
  std::vector<std::string> paths;
  EntryListOptions listing;
  JobOptions options;
  // Entries run at once (the report tells of it).
  unsigned workers = 1;
  // With options.report: where it goes.
  ReportTarget reportTarget;
};

// The report of a window's job, beside its process log in the working folder.
inline constexpr const char* kWindowReportName = "sonbalancer-report";

// Sets up a job over path. Returns 0 when the job has started, 1 when none was started (a
// folder without plain files); a failed set-up closes the log it opened and creates nothing.
// The job is run one entry a tick: the timer is started at kTickIntervalMs.
int setUpJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path);

// Sets up a job over the entries of every path of the request, each writing into its own
// output folder, made and locked when its first music entry needs it. One file given alone is a
// single-file job, anything else a folder job, for the log's banner. Returns 0 when the job has
// started, 1 when there was no file to process, kNoFolderInThisShard when there were files but
// none of their output folders fell to the shard asked for (the log it opened is closed).
// Starts no timer: the caller runs the entries as it sees fit.
inline constexpr int kNoFolderInThisShard = 2;
// Returned, before anything is written, when the job needs the converter (for its MP3 files or
// for a source that is not a 16-bit WAV) and there is none on the PATH.
inline constexpr int kConverterMissing = 3;
int setUpLibraryJob(JobState& job, JobChoices& choices, JobStatus& window,
                    const LibraryJob& request);

// What a process command does once its dialog has given a path: stores it as the chosen path,
// sets up the job and beeps when nothing started. While a job runs it is refused silently and
// changes nothing. Returns true when a job has started.
bool startJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path);

}  // namespace batch
