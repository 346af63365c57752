// The timer tick: one entry of the running job per tick, from its classification to the
// removal of the temporary file, then the next tick or the end of the job.
#pragma once

#include <string>

#include "batch/job_state.h"
#include "batch/job_window.h"
#include "batch/system_services.h"

namespace batch {

// Handles the entry at job.currentIndex, then re-arms the timer or, after the last entry, ends
// the job (gauges full, state text, log closed, a beep when no track reached the engine). Does
// nothing but stop the timer when no job is running. A failing entry is logged and skipped.
// A stop that the system asked for (a signal) stops the job at once: the converter child is
// stopped and what it wrote removed, and the entries not yet done are left alone.
void timerTick(JobState& job, JobWindow& window, SystemServices& system);

// Ends a running job before its end, between two entries or from inside one: the log gets the
// lines held so far and one line saying that the job was stopped and why (cause, or the signal
// that asked for it when empty), locks are released and "STOPPED" is shown. Results already
// saved are whole and stay. Does nothing when no job runs.
void stopJob(JobState& job, JobWindow& window, const std::string& cause = {});

}  // namespace batch
