// How one entry of a job ended: what the job counts it as, and what a front end may show of it.
#pragma once

namespace batch {

enum class EntryOutcome { Processed, Analyzed, NotMusic, Skipped, UpToDate, Failed, Stopped };

}  // namespace batch
