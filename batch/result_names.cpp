#include "batch/result_names.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <string_view>

#include "engine/path_separator.h"

namespace batch {

namespace {

constexpr std::string_view kResultEnding = "_eq.wav";
constexpr std::string_view kTemporaryPrefix = ".sonbalancer-";
constexpr std::string_view kTemporarySuffix = ".part";
// The converter's output when entries run several at once: "TMPOUT-7.WAV".
constexpr std::string_view kNumberedWavStart = "TMPOUT-";
constexpr std::string_view kNumberedWavEnd = ".WAV";
// What mkdtemp puts after the work folder's prefix.
constexpr std::size_t kWorkFolderUniqueCharacters = 6;

bool endsWith(const std::string& text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

ResultNames namesFromStem(const std::string& stem, bool marked) {
  ResultNames names;
  names.wav = stem + std::string(kResultEnding);
  names.mp3 = stem + ".mp3";
  names.markedWithExtension = marked;
  return names;
}

// outputFolderPath, then the base name of sourcePath without its last 4 characters, normally
// the dot and extension. A base name shorter than that is dropped whole, so that the results
// stay inside the folder.
std::string plainStem(const std::string& sourcePath, const std::string& outputFolderPath) {
  // The first character is never taken for a separator: a path whose only separator leads is
  // a base name.
  std::size_t baseStart = 0;
  for (std::size_t index = sourcePath.size(); index-- > 1;) {
    if (sourcePath[index] == engine::kPathSeparator) {
      baseStart = index + 1;
      break;
    }
  }
  const std::size_t baseLength = sourcePath.size() - baseStart;
  const std::size_t keptLength = baseLength < 4 ? 0 : baseLength - 4;
  return outputFolderPath + sourcePath.substr(baseStart, keptLength);
}

}  // namespace

std::string mp3PathOf(const std::string& wavPath) {
  const std::size_t baseLength =
      wavPath.size() > kResultEnding.size() ? wavPath.size() - kResultEnding.size() : 0;
  return wavPath.substr(0, baseLength) + ".mp3";
}

ResultNames ResultNameBook::take(const std::string& sourcePath,
                                 const std::string& outputFolderPath,
                                 const std::string& extension, bool wholeExtension) {
  std::string stem;
  if (wholeExtension) {
    const std::size_t separator = sourcePath.rfind(engine::kPathSeparator);
    const std::string name =
        separator == std::string::npos ? sourcePath : sourcePath.substr(separator + 1);
    stem = outputFolderPath + name.substr(0, name.size() - extension.size() - 1);
  } else {
    stem = plainStem(sourcePath, outputFolderPath);
  }
  ResultNames names = namesFromStem(stem, false);
  bool sourcePassedOver = false;
  for (unsigned number = 1;; ++number) {
    if (isFree(names)) {
      if (!namesASource(names)) break;
      sourcePassedOver = true;
    }
    const std::string mark =
        number == 1 ? extension : extension + " " + std::to_string(number);
    names = namesFromStem(stem + " (" + mark + ")", true);
  }
  names.sourcePassedOver = sourcePassedOver;
  taken_.insert(names.wav);
  taken_.insert(names.mp3);
  return names;
}

bool ResultNameBook::isFree(const ResultNames& names) const {
  return taken_.count(names.wav) == 0 && taken_.count(names.mp3) == 0;
}

bool ResultNameBook::namesASource(const ResultNames& names) const {
  if (sources_.empty()) return false;
  for (const std::string* name : {&names.wav, &names.mp3}) {
    const std::optional<platform::FoundFile> found = platform::findFile(*name);
    if (found && std::binary_search(sources_.begin(), sources_.end(), found->identity)) return true;
  }
  return false;
}

std::string temporaryResultPath(const std::string& folderPath, const char* ending) {
  static std::atomic<unsigned long> counter{0};
  return folderPath + std::string(kTemporaryPrefix) + std::to_string(::getpid()) + "-" +
         std::to_string(++counter) + "." + ending + std::string(kTemporarySuffix);
}

bool isTemporaryResultName(const std::string& fileName) {
  return fileName.compare(0, kTemporaryPrefix.size(), kTemporaryPrefix) == 0 &&
         endsWith(fileName, kTemporarySuffix);
}

bool isLeftoverName(const std::string& fileName) {
  constexpr std::string_view kWorkFolder = kWorkFolderPrefix;
  if (isTemporaryResultName(fileName) || fileName == kTemporaryWavName) return true;
  if (fileName.size() == kWorkFolder.size() + kWorkFolderUniqueCharacters &&
      fileName.starts_with(kWorkFolder)) {
    return true;
  }
  // A whole-file replacement writes beside its target under the target's name, a dot and six
  // unpredictable characters.
  const std::string manifestPart = std::string(kResultManifestName) + ".";
  if (fileName.size() == manifestPart.size() + kWorkFolderUniqueCharacters &&
      fileName.starts_with(manifestPart)) {
    return true;
  }
  if (!fileName.starts_with(kNumberedWavStart) || !endsWith(fileName, kNumberedWavEnd))
    return false;
  const std::string_view number(
      fileName.data() + kNumberedWavStart.size(),
      fileName.size() - kNumberedWavStart.size() - kNumberedWavEnd.size());
  return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string numberedTemporaryWavName(std::size_t position) {
  return std::string(kNumberedWavStart) + std::to_string(position) + std::string(kNumberedWavEnd);
}

std::string temporaryWavPath(const std::string& outputFolderPath,
                             const std::string& temporaryWavName) {
  return outputFolderPath + temporaryWavName;
}

}  // namespace batch
