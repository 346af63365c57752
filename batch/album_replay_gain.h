// The album ReplayGain tags, written into the MP3s of each output folder once the job's entries
// are done.
#pragma once

#include "batch/job_state.h"
#include "batch/job_window.h"
#include "media/system_services.h"

namespace batch {

// For each output folder of the job whose tracks were all measured in it, adds the album gain
// and peak of the folder's MP3s as one programme to each of them, replacing each MP3 only by a
// whole tagged copy. Logs one line a folder ("Album ReplayGain of FOLDER: gain -3.52 dB, peak
// 0.891251, written into 4 of 4 MP3 files") and one for each MP3 it could not tag, which keeps its
// track tags; such an MP3 also gets a notice and sets job.jobFilesFailed. A stop request ends
// the work after the folder's line, with every MP3 whole. Does nothing unless
// job.options.albumReplayGain.
void writeAlbumReplayGain(JobState& job, JobStatus& window, media::SystemServices& system);

}  // namespace batch
