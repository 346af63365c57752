#include "media/source_tags.h"

#include <nlohmann/json.hpp>

#include <array>
#include <map>
#include <optional>

#include "media/converter_commands.h"

namespace media {

namespace {

using Json = nlohmann::json;

// Every name a tag goes by in the formats we read, lower-cased, and the name the MP3 writer
// takes for it. What is not listed (loudness tags among them) is not carried.
struct TagName {
  const char* written;
  std::array<const char*, 5> read;
};

const TagName kCarriedTags[] = {
    {"title", {"title", "tit2", "inam"}},
    {"artist", {"artist", "tpe1", "iart"}},
    {"album", {"album", "talb", "iprd"}},
    {"album_artist", {"album_artist", "albumartist", "album artist", "tpe2"}},
    {"track", {"track", "tracknumber", "trck", "itrk"}},
    {"disc", {"disc", "discnumber", "tpos"}},
    {"date", {"date", "year", "tdrc", "tyer", "icrd"}},
    {"genre", {"genre", "tcon", "ignr"}},
    {"composer", {"composer", "tcom"}},
    {"comment", {"comment", "comm", "icmt"}},
    {"TBPM", {"bpm", "tbpm", "tempo", "tmpo"}},
    {"TKEY", {"initialkey", "initial key", "tkey", "key"}},
    {"copyright", {"copyright", "tcop", "icop"}},
    {"publisher", {"publisher", "label", "organization", "tpub"}},
    {"lyrics", {"lyrics", "unsyncedlyrics", "uslt"}},
    {"TSRC", {"isrc", "tsrc"}},
};

// Totals that join their number as "3/12".
const std::map<std::string, std::array<const char*, 2>> kTotals = {
    {"track", {"tracktotal", "totaltracks"}},
    {"disc", {"disctotal", "totaldiscs"}},
};

std::string lowerCased(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return text;
}

// The tags of the format and of its first audio stream (Ogg and Opus keep theirs there), by
// lower-cased name; the format's win.
std::map<std::string, std::string> readTags(const Json& probe) {
  std::map<std::string, std::string> found;
  auto take = [&found](const Json& tags) {
    if (!tags.is_object()) return;
    for (const auto& [name, value] : tags.items()) {
      if (value.is_string() && !value.get<std::string>().empty()) {
        found.emplace(lowerCased(name), value.get<std::string>());
      }
    }
  };
  if (probe.contains("format")) take(probe["format"].value("tags", Json::object()));
  for (const Json& stream : probe.value("streams", Json::array())) {
    if (stream.value("codec_type", "") == "audio") {
      take(stream.value("tags", Json::object()));
      break;
    }
  }
  return found;
}

bool isAttachedCover(const Json& stream) {
  const std::string codec = stream.value("codec_name", "");
  return stream.value("codec_type", "") == "video" && (codec == "mjpeg" || codec == "png") &&
         stream.value("disposition", Json::object()).value("attached_pic", 0) == 1;
}

// The attached picture that says it is the front cover, else the first attached picture.
int coverStreamOf(const Json& probe) {
  int first = -1;
  for (const Json& stream : probe.value("streams", Json::array())) {
    if (!isAttachedCover(stream) || !stream.contains("index")) continue;
    const int index = stream["index"].get<int>();
    const std::string comment =
        lowerCased(stream.value("tags", Json::object()).value("comment", ""));
    if (comment == "cover (front)") return index;
    if (first < 0) first = index;
  }
  return first;
}

// The prober's findings for one file; more is not its JSON.
constexpr std::size_t kMostProbeBytes = 16 * 1024 * 1024;
// A cover larger than this is not a cover.
constexpr std::size_t kMostCoverBytes = 64 * 1024 * 1024;

SourceTags probeTags(const std::string& sourcePath, SystemServices& system) {
  std::string json;
  const platform::ChildOutcome probe = system.runChildReadingOutput(
      probeCommand(sourcePath), [&json](const char* bytes, std::size_t count) {
        json.append(bytes, count);
        return json.size() <= kMostProbeBytes;
      });
  return platform::childSucceeded(probe) ? sourceTagsFromProbe(json) : SourceTags{};
}

std::optional<Cover> copiedCover(const std::string& sourcePath, int streamIndex,
                                 SystemServices& system) {
  std::string data;
  const platform::ChildOutcome copy = system.runChildReadingOutput(
      pictureCopyCommand(sourcePath, streamIndex), [&data](const char* bytes, std::size_t count) {
        data.append(bytes, count);
        return data.size() <= kMostCoverBytes;
      });
  if (!platform::childSucceeded(copy) || data.empty()) return std::nullopt;
  // The attached pictures the prober finds are JPEG or PNG.
  const bool png = data.compare(0, 4, "\x89PNG") == 0;
  return Cover{png ? "image/png" : "image/jpeg", "", std::move(data)};
}

}  // namespace

TrackIdentity sourceIdentity(const std::string& sourcePath, SystemServices& system) {
  if (std::optional<TrackIdentity> read = readTrackIdentity(sourcePath)) return *std::move(read);
  const SourceTags probed = probeTags(sourcePath, system);
  TrackIdentity identity = identityOfProbedTags(probed.tags);
  if (probed.coverStream >= 0) identity.cover = copiedCover(sourcePath, probed.coverStream, system);
  return identity;
}

std::vector<std::string> probeCommand(const std::string& sourcePath) {
  std::vector<std::string> arguments = {"ffprobe", "-v", "error"};
  const std::vector<std::string> limits = sourceLimits();
  arguments.insert(arguments.end(), limits.begin(), limits.end());
  arguments.insert(arguments.end(), {"-show_format", "-show_streams", "-of", "json", sourcePath});
  return arguments;
}

SourceTags sourceTagsFromProbe(const std::string& json) {
  SourceTags result;
  const Json probe = Json::parse(json, nullptr, false);
  if (probe.is_discarded() || !probe.is_object()) return result;
  try {
    const std::map<std::string, std::string> found = readTags(probe);
    for (const TagName& tag : kCarriedTags) {
      for (const char* name : tag.read) {
        if (!name) break;
        const auto value = found.find(name);
        if (value == found.end()) continue;
        std::string text = value->second;
        if (const auto totals = kTotals.find(tag.written);
            totals != kTotals.end() && text.find('/') == std::string::npos) {
          for (const char* totalName : totals->second) {
            if (const auto total = found.find(totalName); total != found.end()) {
              text += "/" + total->second;
              break;
            }
          }
        }
        result.tags.emplace_back(tag.written, text);
        break;
      }
    }
    result.coverStream = coverStreamOf(probe);
  } catch (const Json::exception&) {
    // A field of an unexpected type: the source keeps what was read before it.
  }
  return result;
}

}  // namespace media
