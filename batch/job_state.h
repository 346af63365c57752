// The one record of the running job: its file list, counters, flags, process log and the
// engine's share of the state. Fields keep their values between entries and between jobs
// unless the job set-up or the end of the job sets them.
#pragma once

#include <wx/arrstr.h>
#include <wx/string.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "batch/output_folders.h"
#include "batch/process_log_file.h"
#include "batch/result_manifest.h"
#include "batch/result_names.h"
#include "engine/track_state.h"
#include "loudness/album_loudness.h"
#include "media/mp3_step.h"
#include "report/job_report.h"

namespace batch {

enum class JobMode { SingleFile = 0, Folder = 1 };

// Choices of the headless command that the window's jobs never make.
struct JobOptions {
  // An entry whose results are all newer than its source is left alone.
  bool skipExisting = false;
  // The WAV result is removed once its MP3 is whole.
  bool mp3Only = false;
  // Entries run several at once, each converted into a temporary WAV named after its position.
  bool numberedTemporaryFiles = false;
  // Every figure of every track is measured for the job's report.
  bool report = false;
  // The passes run in memory and nothing is saved: no audio, no output folder.
  bool analyzeOnly = false;
  // Each result is brought by one gain to this integrated loudness, in LUFS, as far as a true
  // peak of at most -1.0 dBTP allows. Unset: the results are left at the engine's level.
  std::optional<double> loudnessTargetLufs;
  // Each MP3 carries ReplayGain track tags, and with albumReplayGain the album tags of the
  // tracks of its output folder.
  bool replayGain = false;
  bool albumReplayGain = false;
  // The WAV results also carry the source's tags and cover (INFO and ID3 chunks).
  bool wavTags = false;
  // The MP3's rate when chosen apart from the check box of 192k; kbps may be Mp3Rate::kSameRate.
  std::optional<media::Mp3Rate> mp3Rate;
  // How long an output folder held by another job is waited for before its entries are
  // skipped; 0: not at all.
  long busyWaitMs = 0;
  // The memory the samples of the job's tracks may take together, in bytes. Unset: what the
  // system allows the process, less a margin.
  std::optional<std::uint64_t> memoryBytes;
  // The current-file text names the entry by its whole path as listed, for a front end that
  // names files its own way, rather than by the window's tail of it.
  bool wholeEntryNames = false;
};

// The MP3 rate the options choose, or else the check box of 192k; kbps may be
// Mp3Rate::kSameRate, which each source resolves for itself.
media::Mp3Rate chosenMp3Rate(const JobOptions& options, bool at192k);

// One MP3 of the job with its ReplayGain track tags, and its decoded audio's loudness.
struct AlbumTrack {
  std::string mp3Path;
  std::uint64_t frames = 0;
  // The decoded MP3's figures; its loudness counts toward the album's.
  std::shared_ptr<const loudness::AlbumMeter> programme;
  // The track's result files, whose records say album tags once every track of the album
  // carries them.
  std::vector<std::string> resultPaths;
};

// The MP3s of one output folder that get the album tags once the job's entries are done.
struct AlbumFolder {
  std::vector<AlbumTrack> tracks;
  // A track of the folder was left as it was (its results were up to date), so the job cannot
  // measure the album.
  bool partial = false;
};

// Where the job's report goes: folder/baseName.json, .csv and .html.
struct ReportTarget {
  std::string folder;
  std::string baseName;
};

// What became of the entries of a job.
struct EntryCounts {
  // Every result of the entry was saved whole.
  std::uint32_t processed = 0;
  // Music that could not be taken up (not a regular file, its output folder refused or held by
  // another job: these also count as faults), or whose results are up to date.
  std::uint32_t skipped = 0;
  std::uint32_t skippedForFault = 0;
  // Skipped as their results are newer than their source; they have their results.
  std::uint32_t upToDate = 0;
  // Music that was taken up but did not give all its results.
  std::uint32_t failed = 0;
  // Files that are not music by their name; they count apart from the skipped.
  std::uint32_t notMusic = 0;
  // Result WAV files saved, whatever became of their MP3.
  std::uint32_t wavSaved = 0;
};

struct JobState {
  // Path last returned by a process command's dialog; kept after the job.
  wxString chosenPath;
  // Full paths of the job's files, in listing order.
  wxArrayString fileList;
  std::uint32_t fileCount = 0;
  // The output folder of each entry of the file list, closing separator included; empty when
  // every entry writes into track.outputFolderPath.
  std::vector<std::string> entryOutputFolders;
  JobOptions options;
  // Each saved result is encoded to MP3 as well. Set at job set-up and kept for the whole job:
  // an entry whose result could not be saved loses its own MP3 only.
  bool mp3Requested = false;
  // Entry that the next tick handles.
  std::uint32_t currentIndex = 0;
  bool running = false;
  // At least one entry had an accepted media extension.
  bool mediaSeen = false;
  // At least one entry was handed to the engine.
  bool engineReached = false;
  EntryCounts counts;
  // An output folder of the job is held by another job.
  bool folderInUseSeen = false;
  // The job was stopped before its end, by a signal or the window's close box.
  bool stopped = false;
  // A file the job was asked for beside its results could not be written whole: the report,
  // the process log, or the ReplayGain tags of an MP3 (which is kept without them).
  bool jobFilesFailed = false;
  // The output folders the job writes into, and the result names it has given out.
  OutputFolders outputFolders;
  ResultNameBook resultNames;
  // The PATHs the job was given, whole: each source is recorded by its path relative to its own.
  std::vector<std::string> sourceRoots;
  // The entries given on their own (entriesOnTheirOwn), which get track tags but no album's.
  std::set<std::string> entriesOnTheirOwn;
  // The choices the job's results are made with, as the job began; --skip-existing compares
  // each entry's recorded choices with these.
  ResultChoices resultChoices;
  // What each result in the job's output folders was made from.
  ResultManifests manifests;
  ProcessLogFile log;
  // The report of the job, when options.report: what the job was asked, and each entry's
  // record once it is done, by position in the file list.
  report::JobReport report;
  std::vector<std::optional<report::TrackRecord>> reportTracks;
  ReportTarget reportTarget;
  // The page of the last report written, for the window's "Open Last Report".
  std::string lastReportPage;
  // A private folder for the converter's output when nothing is saved; removed at the end.
  std::string analysisFolder;
  // With options.albumReplayGain: the MP3s of each output folder, by folder path.
  std::map<std::string, AlbumFolder> albums;
  // The current entry as shown in the current-file text.
  wxString displayName;
  engine::TrackState track;
};

// The process-wide job, shared by the window and the headless command.
JobState& theJobState();

}  // namespace batch
