#include "batch/result_manifest.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>

#include "batch/job_state.h"
#include "engine/path_separator.h"
#include "platform/file_deletion.h"
#include "platform/folders.h"
#include "platform/safe_files.h"

namespace batch {

namespace {

using nlohmann::json;

constexpr int kManifestFormat = 1;
// A manifest describes the results of one folder in a few hundred bytes each; anything far
// larger is not ours.
constexpr std::uintmax_t kLargestManifestBytes = 64u << 20;

// File names are bytes; the manifest holds them as printable ASCII, so that any name is kept
// exactly and the JSON writer never meets a byte that is not UTF-8.
std::string escapedName(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (unsigned char c : name) {
    if (c >= 0x20 && c < 0x7f && c != '%') {
      escaped += static_cast<char>(c);
    } else {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 0xf];
    }
  }
  return escaped;
}

std::string fileNameIn(const std::string& folder, const std::string& path) {
  return escapedName(path.compare(0, folder.size(), folder) == 0 ? path.substr(folder.size())
                                                                 : path);
}

bool endsWithBelow(const std::string& longer, const std::string& shorter) {
  return longer.size() > shorter.size() &&
         longer.compare(longer.size() - shorter.size(), shorter.size(), shorter) == 0 &&
         longer[longer.size() - shorter.size() - 1] == engine::kPathSeparator;
}

// The results of one output folder come from the files of one source folder, so a job given that
// folder ("a.ogg") and one given a folder above it ("album/a.ogg") name the same source; its size
// and modification time tell it from another file of that name.
bool sameSourceName(const std::string& recorded, const std::string& current) {
  return recorded == current || endsWithBelow(recorded, current) ||
         endsWithBelow(current, recorded);
}

// "off", or the rate as the command's options spell it: "128k", "same", "vbr2". Earlier versions
// wrote only "off", "128k" and "192k".
std::string mp3Text(const ResultChoices& choices) {
  if (!choices.mp3) return "off";
  const media::Mp3Rate& rate = choices.mp3Rate;
  if (rate.vbrQuality) return "vbr" + std::to_string(*rate.vbrQuality);
  if (rate.kbps == media::Mp3Rate::kSameRate) return "same";
  return std::to_string(rate.kbps) + "k";
}

// The rate of mp3Text's text; nullopt for "off" and for what it never writes.
std::optional<media::Mp3Rate> mp3RateOfText(const std::string& text) {
  media::Mp3Rate rate;
  if (text == "same") {
    rate.kbps = media::Mp3Rate::kSameRate;
    return rate;
  }
  const bool vbr = text.rfind("vbr", 0) == 0;
  if (!vbr && (text.empty() || text.back() != 'k')) return std::nullopt;
  const std::string digits = vbr ? text.substr(3) : text.substr(0, text.size() - 1);
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  if (digits.empty() || digits.size() > 3 || !std::all_of(digits.begin(), digits.end(), isDigit)) {
    return std::nullopt;
  }
  if (vbr) {
    rate.vbrQuality = std::stoi(digits);
  } else {
    rate.kbps = std::stoi(digits);
  }
  return rate;
}

const char* replayGainText(ReplayGainChoice tags) {
  switch (tags) {
    case ReplayGainChoice::Track:
      return "track";
    case ReplayGainChoice::Album:
      return "album";
    case ReplayGainChoice::None:
      break;
  }
  return "off";
}

json recordOf(const ResultOrigin& origin) {
  const ResultChoices& choices = origin.choices;
  return json{{"source", origin.source.name},
              {"size", origin.source.sizeBytes},
              {"modified_ns", origin.source.modifiedNs},
              {"no_bassline", choices.noBassline},
              {"ignore_clicks", choices.ignoreClicks},
              {"mp3", mp3Text(choices)},
              {"mp3_only", choices.mp3Only},
              {"wav_tags", choices.wavTags},
              {"loudness_target",
               choices.loudnessTargetLufs ? json(*choices.loudnessTargetLufs) : json(nullptr)},
              {"replaygain", replayGainText(choices.replayGain)}};
}

// The origin a record gives, or nullopt when any field is missing or of another kind: a record
// that cannot be read speaks for nothing.
std::optional<ResultOrigin> originOf(const json& record) {
  if (!record.is_object()) return std::nullopt;
  auto field = [&](const char* name) -> const json* {
    const auto found = record.find(name);
    return found == record.end() ? nullptr : &*found;
  };
  const json* source = field("source");
  const json* size = field("size");
  const json* modified = field("modified_ns");
  const json* noBassline = field("no_bassline");
  const json* ignoreClicks = field("ignore_clicks");
  const json* mp3 = field("mp3");
  const json* mp3Only = field("mp3_only");
  const json* target = field("loudness_target");
  const json* replayGain = field("replaygain");
  // Absent from the records of earlier versions, which never asked.
  const json* wavTags = field("wav_tags");
  if (!source || !source->is_string() || !size || !size->is_number_unsigned() || !modified ||
      !modified->is_number_integer() || !noBassline || !noBassline->is_boolean() || !ignoreClicks ||
      !ignoreClicks->is_boolean() || !mp3 || !mp3->is_string() || !mp3Only ||
      !mp3Only->is_boolean() || !target || !(target->is_null() || target->is_number()) ||
      !replayGain || !replayGain->is_string() || (wavTags && !wavTags->is_boolean())) {
    return std::nullopt;
  }
  ResultOrigin origin;
  origin.source.name = source->get<std::string>();
  origin.source.sizeBytes = size->get<std::uint64_t>();
  origin.source.modifiedNs = modified->get<std::int64_t>();
  ResultChoices& choices = origin.choices;
  choices.noBassline = noBassline->get<bool>();
  choices.ignoreClicks = ignoreClicks->get<bool>();
  const std::string rate = mp3->get<std::string>();
  if (rate != "off") {
    const std::optional<media::Mp3Rate> chosen = mp3RateOfText(rate);
    if (!chosen) return std::nullopt;
    choices.mp3 = true;
    choices.mp3Rate = *chosen;
  }
  choices.mp3Only = mp3Only->get<bool>();
  choices.wavTags = wavTags && wavTags->get<bool>();
  if (target->is_number()) choices.loudnessTargetLufs = target->get<double>();
  const std::string tags = replayGain->get<std::string>();
  if (tags == "track") {
    choices.replayGain = ReplayGainChoice::Track;
  } else if (tags == "album") {
    choices.replayGain = ReplayGainChoice::Album;
  } else if (tags != "off") {
    return std::nullopt;
  }
  return origin;
}

std::string readWhole(const std::string& path) {
  // A link here was not made by us: what it leads to says nothing of these results.
  if (platform::pathKindOf(path) != platform::PathKind::RegularFile) return {};
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kLargestManifestBytes) return {};
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ResultChoices resultChoicesOf(const JobOptions& options, bool mp3Requested, JobChoices& window) {
  ResultChoices choices;
  choices.noBassline = window.noBasslineTicked();
  choices.ignoreClicks = window.ignoreClicksTicked();
  choices.mp3 = mp3Requested;
  if (mp3Requested) choices.mp3Rate = chosenMp3Rate(options, window.mp3At192kTicked());
  choices.mp3Only = options.mp3Only;
  choices.wavTags = options.wavTags && !options.mp3Only;
  choices.loudnessTargetLufs = options.loudnessTargetLufs;
  if (options.replayGain) {
    choices.replayGain =
        options.albumReplayGain ? ReplayGainChoice::Album : ReplayGainChoice::Track;
  }
  return choices;
}

std::optional<SourceStamp> stampSource(const std::vector<std::string>& roots,
                                       const std::string& sourcePath) {
  SourceStamp stamp;
  const std::size_t separator = sourcePath.rfind(engine::kPathSeparator);
  stamp.name = separator == std::string::npos ? sourcePath : sourcePath.substr(separator + 1);
  for (const std::string& root : roots) {
    if (sourcePath == root) break;
    // The root of the file system is the one PATH that ends with the separator.
    const bool closed = !root.empty() && root.back() == engine::kPathSeparator;
    const std::size_t length = closed ? root.size() : root.size() + 1;
    if (sourcePath.size() > length && sourcePath.compare(0, root.size(), root) == 0 &&
        sourcePath[length - 1] == engine::kPathSeparator) {
      stamp.name = sourcePath.substr(length);
      break;
    }
  }
  std::error_code error;
  stamp.sizeBytes = std::filesystem::file_size(sourcePath, error);
  if (error) return std::nullopt;
  const auto modified = std::filesystem::last_write_time(sourcePath, error);
  if (error) return std::nullopt;
  stamp.modifiedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::file_clock::to_sys(modified).time_since_epoch())
                         .count();
  return stamp;
}

const char* processedAgainLine(ResultsState state) {
  switch (state) {
    case ResultsState::Unrecorded:
      return "No record of how the results were made - Processed again\n";
    case ResultsState::OtherSource:
      return "Results made from another source - Processed again\n";
    case ResultsState::SourceChanged:
      return "Source changed since its results were made - Processed again\n";
    case ResultsState::OtherChoices:
      return "Results made with other choices - Processed again\n";
    case ResultsState::Missing:
    case ResultsState::Done:
      break;
  }
  return nullptr;
}

void ResultManifests::open(const std::string& folder) {
  if (folders_.count(folder) != 0) return;
  Folder& records = folders_[folder];
  const json manifest = json::parse(readWhole(folder + kResultManifestName), nullptr, false);
  if (!manifest.is_object()) return;
  const auto format = manifest.find("format");
  const auto results = manifest.find("results");
  if (format == manifest.end() || *format != kManifestFormat || results == manifest.end() ||
      !results->is_object()) {
    return;
  }
  for (const auto& [name, record] : results->items()) {
    if (std::optional<ResultOrigin> origin = originOf(record)) records.results[name] = *origin;
  }
}

ResultsState ResultManifests::judge(const std::string& folder,
                                    const std::vector<std::string>& resultPaths,
                                    const std::optional<SourceStamp>& source,
                                    const ResultChoices& choices) const {
  for (const std::string& path : resultPaths) {
    if (platform::pathKindOf(path) != platform::PathKind::RegularFile) return ResultsState::Missing;
  }
  if (resultPaths.empty()) return ResultsState::Missing;
  const auto known = folders_.find(folder);
  ResultsState worst = ResultsState::Done;
  for (const std::string& path : resultPaths) {
    if (known == folders_.end()) return ResultsState::Unrecorded;
    const auto found = known->second.results.find(fileNameIn(folder, path));
    if (found == known->second.results.end()) return ResultsState::Unrecorded;
    const SourceStamp& made = found->second.source;
    ResultsState state = ResultsState::Done;
    if (!source || !sameSourceName(made.name, escapedName(source->name))) {
      state = ResultsState::OtherSource;
    } else if (made.sizeBytes != source->sizeBytes || made.modifiedNs != source->modifiedNs) {
      state = ResultsState::SourceChanged;
    } else if (!(found->second.choices == choices)) {
      state = ResultsState::OtherChoices;
    }
    worst = std::min(worst, state);
  }
  return worst;
}

void ResultManifests::forget(const std::string& folder,
                             const std::vector<std::string>& resultPaths) {
  const auto known = folders_.find(folder);
  if (known == folders_.end()) return;
  bool changed = false;
  for (const std::string& path : resultPaths) {
    changed |= known->second.results.erase(fileNameIn(folder, path)) != 0;
  }
  if (changed) save(folder, known->second);
}

void ResultManifests::record(const std::string& folder, const std::vector<std::string>& resultPaths,
                             const ResultOrigin& origin) {
  Folder& records = folders_[folder];
  ResultOrigin kept = origin;
  kept.source.name = escapedName(origin.source.name);
  bool changed = false;
  for (const std::string& path : resultPaths) {
    if (path.empty()) continue;
    records.results[fileNameIn(folder, path)] = kept;
    changed = true;
  }
  if (changed) save(folder, records);
}

std::vector<ReplayGainChoice*> ResultManifests::retagged(
    Folder& records, ReplayGainChoice from, ReplayGainChoice to,
    const std::function<bool(const std::string& name)>& named) {
  std::vector<ReplayGainChoice*> changed;
  for (auto& [name, origin] : records.results) {
    ReplayGainChoice& tags = origin.choices.replayGain;
    if (tags != from || !named(name)) continue;
    tags = to;
    changed.push_back(&tags);
  }
  return changed;
}

void ResultManifests::recordAlbumTags(const std::string& folder,
                                      const std::vector<std::string>& resultPaths) {
  const auto known = folders_.find(folder);
  if (known == folders_.end()) return;
  std::set<std::string> names;
  for (const std::string& path : resultPaths) names.insert(fileNameIn(folder, path));
  const std::vector<ReplayGainChoice*> raised =
      retagged(known->second, ReplayGainChoice::Track, ReplayGainChoice::Album,
               [&](const std::string& name) { return names.count(name) != 0; });
  if (raised.empty() || written(folder, known->second)) return;
  for (ReplayGainChoice* tags : raised) *tags = ReplayGainChoice::Track;
}

void ResultManifests::dropAlbumTags(const std::string& folder) {
  const auto known = folders_.find(folder);
  if (known == folders_.end()) return;
  if (!retagged(known->second, ReplayGainChoice::Album, ReplayGainChoice::Track,
                [](const std::string&) { return true; })
           .empty()) {
    save(folder, known->second);
  }
}

bool ResultManifests::takeWriteFailure(const std::string& folder) {
  const auto known = folders_.find(folder);
  if (known == folders_.end() || !known->second.writeFailed) return false;
  known->second.writeFailed = false;
  return true;
}

bool ResultManifests::written(const std::string& folder, const Folder& records) const {
  json results = json::object();
  for (const auto& [name, origin] : records.results) results[name] = recordOf(origin);
  const json manifest{{"format", kManifestFormat}, {"results", std::move(results)}};
  return platform::replaceFileWhole(folder + kResultManifestName, manifest.dump(1) + "\n");
}

void ResultManifests::save(const std::string& folder, Folder& records) {
  if (written(folder, records)) return;
  platform::deleteFile(folder + kResultManifestName);
  records.writeFailed = true;
}

}  // namespace batch
