// The timer tick: one entry of the running job per tick, from its classification to the
// removal of the temporary file, then the next tick or the end of the job.
#pragma once

#include "batch/job_state.h"
#include "batch/job_window.h"
#include "batch/system_services.h"

namespace batch {

void timerTick(JobState& job, JobWindow& window, SystemServices& system);

}  // namespace batch
