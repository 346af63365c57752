// What each result in an output folder was made from: its source and the choices that shape its
// bytes, kept in a small hidden file of the folder, so that a rerun leaves alone only the results
// of this very source made with these very choices.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "batch/job_window.h"
#include "batch/result_names.h"
#include "media/mp3_step.h"

namespace batch {

struct JobOptions;

enum class ReplayGainChoice { None, Track, Album };

// The choices that shape the bytes of a result or decide which results there are.
struct ResultChoices {
  bool noBassline = false;
  bool ignoreClicks = false;
  bool mp3 = false;
  // Only with mp3: without it the rate shapes nothing. kbps may be Mp3Rate::kSameRate, which the
  // source's stamp stands for.
  media::Mp3Rate mp3Rate;
  bool mp3Only = false;
  // Only without mp3Only, which leaves no WAV to carry the tags.
  bool wavTags = false;
  std::optional<double> loudnessTargetLufs;
  ReplayGainChoice replayGain = ReplayGainChoice::None;
  bool operator==(const ResultChoices&) const = default;
};

// A source as it stood when its results were begun.
struct SourceStamp {
  // Its path relative to the job's PATH it was listed under, or its file name when it was given
  // alone; so a library that moves or is mounted elsewhere keeps its records. Two names are of
  // one source when they are equal or one ends with the other below a folder.
  std::string name;
  std::uint64_t sizeBytes = 0;
  // Modification time, in nanoseconds since the Unix epoch.
  std::int64_t modifiedNs = 0;
  bool operator==(const SourceStamp&) const = default;
};

struct ResultOrigin {
  SourceStamp source;
  ResultChoices choices;
};

// The choices of a job whose MP3 is requested (or not) as mp3Requested, with the window's (or the
// command's) check boxes as they are now.
ResultChoices resultChoicesOf(const JobOptions& options, bool mp3Requested, JobChoices& window);

// The stamp of sourcePath, named relative to the first of roots (the job's PATHs, whole, without
// a closing separator) that is it or holds it; nullopt when the source cannot be looked at.
std::optional<SourceStamp> stampSource(const std::vector<std::string>& roots,
                                       const std::string& sourcePath);

// What the manifest tells of an entry's results, worst first for the entry's result files.
enum class ResultsState {
  Missing,        // a result is not there: the entry is simply done
  Unrecorded,     // made by a job that kept no record, or one that stopped while writing them
  OtherSource,    // made from a source of another name, which had these result names before
  SourceChanged,  // made from this source before it changed (size or modification time)
  OtherChoices,   // made from this source with other choices
  Done,           // made from this very source with these very choices
};

// The process log's one line that tells why an entry whose results exist is processed again;
// nullptr for Missing and Done.
const char* processedAgainLine(ResultsState state);

// The manifests of a job's output folders, each read when the job first meets the folder and
// replaced whole on each change. Folder paths end with the separator; result paths are full
// paths in their folder. Not thread-safe: the job calls it from one thread at a time.
class ResultManifests {
 public:
  // Reads the folder's manifest the first time; a missing, unreadable or foreign one, or one that
  // is a link, is taken for empty.
  void open(const std::string& folder);

  // Whether every one of resultPaths (none: Missing) is a regular file whose record names source
  // and choices.
  ResultsState judge(const std::string& folder, const std::vector<std::string>& resultPaths,
                     const std::optional<SourceStamp>& source, const ResultChoices& choices) const;

  // Drops the records of resultPaths, before these files are written again, so that a job that
  // stops before their new record is written leaves no record that speaks for them.
  void forget(const std::string& folder, const std::vector<std::string>& resultPaths);

  // Records origin for each of resultPaths that is not empty.
  void record(const std::string& folder, const std::vector<std::string>& resultPaths,
              const ResultOrigin& origin);

  // True once after the folder's manifest could not be written; it was then removed, so that it
  // never speaks for files that it no longer describes.
  bool takeWriteFailure(const std::string& folder);
  // The records of resultPaths in folder say album tags, which were written into every track of
  // the album. Where the file cannot be written it stays as it was, saying track tags: that
  // speaks for less than the files carry, so a later job at most makes the album again.
  void recordAlbumTags(const std::string& folder, const std::vector<std::string>& resultPaths);
  // Every record of folder that says album tags says track tags: the album changed since.
  void dropAlbumTags(const std::string& folder);

  void clear() { folders_.clear(); }

 private:
  struct Folder {
    // By result file name, as written in the manifest.
    std::map<std::string, ResultOrigin> results;
    bool writeFailed = false;
  };
  // Sets the ReplayGain choice of the records named that hold from to to; the choices changed.
  static std::vector<ReplayGainChoice*> retagged(
      Folder& records, ReplayGainChoice from, ReplayGainChoice to,
      const std::function<bool(const std::string& name)>& named);
  bool written(const std::string& folder, const Folder& records) const;
  // Writes the folder's records, or, failing, removes the file: one that stayed could speak for
  // results made again since.
  void save(const std::string& folder, Folder& records);

  std::map<std::string, Folder> folders_;
};

}  // namespace batch
