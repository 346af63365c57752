// The names of the files a job writes, and the only place that spells them: the plain result
// names taken from the source, the names that keep a later same-name source from replacing an
// earlier one's results, the MP3 beside each WAV, the short temporary names that results are
// written under before they take their own, and the converter's output.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "platform/file_identity.h"

namespace batch {

struct ResultNames {
  // Full paths in the output folder.
  std::string wav;
  std::string mp3;
  // True when the plain names were already given to an earlier entry of the job, so these
  // carry the source's extension: "a (ogg)_eq.wav", "a (ogg).mp3".
  bool markedWithExtension = false;
  // True when a name before these was passed over as it is a file the job lists as a source.
  bool sourcePassedOver = false;
};

// The MP3 of a result: wavPath (which ends with "_eq.wav") without those 7 characters,
// followed by ".mp3".
std::string mp3PathOf(const std::string& wavPath);

// The result names given out in one job, so that no entry's results replace those of an
// earlier entry, nor any file the job lists as a source. Entries take their names in list order.
class ResultNameBook {
 public:
  // Names for the source in the output folder (which ends with the separator): the plain
  // ones while neither is taken, else the base name followed by " (extension)", then
  // " (extension 2)" and so on. The base name is the source's name without its last four
  // characters, or, for a wholeExtension, without the dot and extension. A name that is (after
  // links) one of the sources is passed over like a taken one. The names returned are taken
  // from then on.
  ResultNames take(const std::string& sourcePath, const std::string& outputFolderPath,
                   const std::string& extension, bool wholeExtension = false);
  // The files the job lists as sources, sorted; none is ever given out as a result name.
  void keepOffSources(std::vector<platform::FileIdentity> sources) { sources_ = std::move(sources); }
  void clear() {
    taken_.clear();
    sources_.clear();
  }

 private:
  bool isFree(const ResultNames& names) const;
  bool namesASource(const ResultNames& names) const;

  std::set<std::string> taken_;
  std::vector<platform::FileIdentity> sources_;
};

// A name, unique among the files that this process writes, for a result being written in
// folderPath (the job's work folder, which ends with the separator): short whatever the
// result's name, hidden, and ending with ".part" so that an interrupted job's leftovers are
// known for what they are. ending tells the kind ("wav", "mp3").
std::string temporaryResultPath(const std::string& folderPath, const char* ending);

// True for the file names that temporaryResultPath gives, whichever process gave them.
bool isTemporaryResultName(const std::string& fileName);

// The start of the name of the private folder that a job makes in each output folder it holds;
// six unpredictable characters follow. The converter, the encoder and the save write there
// before a result takes its name beside it.
inline constexpr const char* kWorkFolderPrefix = ".sonbalancer-work-";

// The manifest of what each result of an output folder was made from.
inline constexpr const char* kResultManifestName = ".sonbalancer-results.json";

// True for what an interrupted job may leave in an output folder: the names temporaryResultPath
// gives, a work folder, a manifest cut short while it was being replaced, and the converter's
// output under its names of old.
bool isLeftoverName(const std::string& fileName);

// Name of the converter's output in the job's output folder.
inline constexpr const char* kTemporaryWavName = "TMPOUT.WAV";

// The converter's output for the entry at position (counted from 1) of a job whose entries run
// several at once: "TMPOUT-7.WAV", in the job's work folder; the log names it TMPOUT.WAV.
std::string numberedTemporaryWavName(std::size_t position);

// outputFolderPath ends with the separator.
std::string temporaryWavPath(const std::string& outputFolderPath,
                             const std::string& temporaryWavName = kTemporaryWavName);

}  // namespace batch
