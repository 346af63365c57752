#include "batch/job_state.h"

namespace batch {

JobState& theJobState() {
  static JobState state;
  return state;
}

}  // namespace batch
