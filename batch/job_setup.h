// Turning a chosen file or folder into a running job: process log and banner, file list,
// output folder, counters, "RUNNING" and the timer.
#pragma once

#include <wx/string.h>

#include "batch/job_state.h"
#include "batch/job_window.h"

namespace batch {

// Name of the sub-folder, beside the source, that receives every result.
inline constexpr const char* kOutputFolderName = "sonbalanced";
// Interval between two ticks of a running job.
inline constexpr int kTickIntervalMs = 150;
// The beep that tells the user nothing (more) could be done.
inline constexpr int kBeepFrequencyHz = 750;
inline constexpr int kBeepDurationMs = 300;

// Sets up a job over path. Returns 0 when the job has started, 1 when none was started (a
// folder without plain files); a failed set-up closes the log it opened and creates nothing.
int setUpJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path);

// What a process command does once its dialog has given a path: stores it as the chosen path,
// sets up the job and beeps when nothing started. While a job runs it is refused silently and
// changes nothing. Returns true when a job has started.
bool startJob(JobState& job, JobWindow& window, JobMode mode, const wxString& path);

}  // namespace batch
