#include "batch/job_state.h"

namespace batch {

media::Mp3Rate chosenMp3Rate(const JobOptions& options, bool at192k) {
  if (options.mp3Rate) return *options.mp3Rate;
  media::Mp3Rate rate;
  if (at192k) rate.kbps = 192;
  return rate;
}

JobState& theJobState() {
  static JobState state;
  return state;
}

}  // namespace batch
