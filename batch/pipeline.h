// The timer tick: one entry of the running job per tick, from its classification to the
// removal of the temporary file, then the next tick or the end of the job.
#pragma once

#include "batch/job_state.h"
#include "batch/job_window.h"
#include "batch/system_services.h"

namespace batch {

// Handles the entry at job.currentIndex, then re-arms the timer or, after the last entry, ends
// the job (gauges full, state text, log closed, a beep when no track reached the engine). Does
// nothing but stop the timer when no job is running. A failing entry is logged and skipped.
void timerTick(JobState& job, JobWindow& window, SystemServices& system);

}  // namespace batch
