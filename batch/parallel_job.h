// Running the entries of a job several at once: each worker has a track state of its own and
// takes the next entry in list order; each entry's log lines are held as a block of their own
// and written whole, in list order, as soon as the entries before it are done.
#pragma once

#include <wx/string.h>

#include <atomic>
#include <cstdint>

#include "batch/job_state.h"
#include "batch/job_window.h"
#include "media/system_services.h"

namespace batch {

// What the workers of a run show. Called from one thread at a time.
class RunProgress {
 public:
  virtual ~RunProgress() = default;
  // worker counts from 0.
  virtual void workerFile(unsigned worker, const wxString& text) = 0;
  virtual void workerGauge(unsigned worker, int percent) = 0;
  // The worker has nothing more to do.
  virtual void workerDone(unsigned worker) = 0;
  virtual void entriesDone(std::uint32_t done, std::uint32_t total) = 0;
};

// Runs every entry of a job that was set up (setUpLibraryJob) with up to `workers` entries at
// once, then ends it as the timer ticks would: endJob when all were handled, stopJob when a
// stop was asked for (every running converter is stopped and what it wrote removed; the log
// holds the blocks of every entry begun, in list order, then the stop line). The results and
// the log are those of the timer ticks, whatever the number of workers. choices gives the check
// boxes and status takes the notices, the state text and the tone; each is called from one
// thread at a time. Once *lastEntriesBegun is true (set from any thread),
// no entry begins: those in process end as usual and the job ends as stopped by the user.
void runEntriesAtOnce(JobState& job, JobChoices& choices, JobStatus& status,
                      RunProgress& progress, media::SystemServices& system, unsigned workers,
                      const std::atomic<bool>* lastEntriesBegun = nullptr);

}  // namespace batch
