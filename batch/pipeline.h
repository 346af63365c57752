// The per-file pipeline: one entry from its classification to the removal of the temporary
// file, in two halves (the first decides, in list order, what the entry is and what its
// results are named; the second does the work), and the timer tick that runs one entry per
// tick, then the next tick or the end of the job.
#pragma once

#include <optional>
#include <string>

#include "batch/entry_outcome.h"
#include "batch/job_state.h"
#include "batch/job_window.h"
#include "batch/result_manifest.h"
#include "batch/result_names.h"
#include "engine/process_log.h"
#include "engine/track_state.h"
#include "media/system_services.h"
#include "report/job_report.h"

namespace batch {

class SampleSpaceShare;

// Everything one entry is worked with. The window's job uses its own track and log; each
// worker of a job that runs entries several at once has a track of its own and a log block
// for each entry.
struct EntryWork {
  engine::TrackState& track;
  engine::ProcessLog& log;
  EntryHost& window;
  media::SystemServices& system;
  // The converter's output in the output folder.
  std::string temporaryWavName;
  // The worker's share of the memory of a run of several entries at once; null when entries
  // run one at a time, which only keeps each track within track.sampleSpaceLimit.
  SampleSpaceShare* samples = nullptr;
};

enum class EntryKind { NotMedia, DirectWav, Converted };

// How an entry is read: by its name, and for a WAV file by its header.
EntryKind entryKindOf(const wxString& entry);

// How one entry ended, and in a few words why, for the user beyond the log.
struct EntryResult {
  EntryOutcome outcome = EntryOutcome::Processed;
  std::string reason;
  // What the entry did that the job keeps count of.
  bool engineReached = false;
  bool wavSaved = false;
  bool folderInUse = false;
  // The MP3 was kept without the ReplayGain tags the job asked for.
  bool replayGainMissing = false;
  // The WAV was kept without the source's tags the job asked for.
  bool wavTagsMissing = false;
  // With album ReplayGain: the entry's MP3, once it has its track tags.
  std::optional<AlbumTrack> albumTrack;
  // What the report tells of the entry; its source, status and reason are filled in when the
  // entry is recorded.
  report::TrackRecord record;
  // What the entry's results were made from, once it was taken up to save them.
  std::optional<ResultOrigin> origin;
};

// The first half's decision: whether the second half runs, and with what.
struct AdmittedEntry {
  bool admitted = false;
  // The final result of an entry that is not admitted.
  EntryResult result;
  EntryKind kind = EntryKind::NotMedia;
  ResultNames names;
  // Where the entry's temporary files are written (closing separator included): the job's
  // private folder in the output folder.
  std::string workFolderPath;
  // The source as it stood when it was admitted; nullopt when it could not be looked at.
  std::optional<SourceStamp> source;
};

// First half, run for the entries in list order and never two at once: logs the entry's type,
// sets work.track's source path and output folder, refuses what is not a music file that can be
// taken up (not a regular file, its output folder held by another job or not a folder, its
// results already up to date), claims the output folder and gives out the result names.
AdmittedEntry admitEntry(JobState& job, EntryWork& work, const wxString& entry,
                         const std::string& outputFolderPath);

// Second half: the conversion, the engine, the MP3 step and the removal of the temporary file.
// Touches nothing of the job but what work holds, so several can run at once.
EntryResult processAdmittedEntry(const JobState& job, EntryWork& work, const wxString& entry,
                                 const AdmittedEntry& admitted);

// Keeps count of the finished entry at index of the file list and tells the front end how it
// ended (JobStatus::entryEnded), and of a source that could not be decoded whole.
void recordEntry(JobState& job, JobStatus& window, std::size_t index, const EntryResult& result);

// Tells, once, of an output folder whose record of how its results were made could not be
// written, which leaves the job not whole.
void tellOfUnwrittenRecords(JobState& job, JobStatus& window, const std::string& folder);

// The output folder of the entry at index.
const std::string& outputFolderOf(const JobState& job, std::size_t index);

// Handles the entry at job.currentIndex, then re-arms the timer or, after the last entry, ends
// the job (gauges full, then as endJob). Does nothing
// but stop the timer when no job is running. A failing entry is logged and skipped. A stop
// that the system asked for (a signal) stops the job at once: the converter child is stopped
// and what it wrote removed, and the entries not yet done are left alone.
void timerTick(JobState& job, JobWindow& window, media::SystemServices& system);

// After the last entry: the album ReplayGain tags, then endJob, or stopJob when a stop was asked
// for by then.
void finishJob(JobState& job, JobStatus& window, media::SystemServices& system);

// The end of a job whose every entry was handled: the log's closing lines, the locks
// released, "DONE !" when a result was saved, else "READY" (or "BUSY") and a beep.
void endJob(JobState& job, JobStatus& window);

// Ends a running job before its end, between two entries or from inside one: the log gets the
// lines held so far and one line saying that the job was stopped and why (cause, or the signal
// that asked for it when empty), locks are released and "STOPPED" is shown. Results already
// saved are whole and stay. Does nothing when no job runs.
void stopJob(JobState& job, JobStatus& window, const std::string& cause = {});

}  // namespace batch
