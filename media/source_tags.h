// What of a source's identity its MP3 carries: the text tags that players and DJ software read,
// under the names the MP3 writer takes, and its front cover, as the converter's prober finds
// them in ID3, Vorbis comments, MP4 atoms and WAV chunks. Loudness tags are never carried: they
// describe the track before it was processed.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "media/system_services.h"
#include "media/track_identity.h"

namespace media {

struct SourceTags {
  // Name and value pairs for the MP3's tag, in a fixed order; the names are those the MP3
  // writer maps to ID3v2.3 frames ("title" is TIT2, "TBPM" is TBPM, ...).
  std::vector<std::pair<std::string, std::string>> tags;
  // Index in the source of the picture stream marked as its attached cover; -1 when none.
  int coverStream = -1;

  bool empty() const { return tags.empty() && coverStream < 0; }
};

// The prober's command that writes, as JSON, the format and streams of sourcePath. Like the
// converter, it reads only media files on the local file system.
std::vector<std::string> probeCommand(const std::string& sourcePath);

// Reads the prober's JSON. Text that is not its JSON gives no tags.
SourceTags sourceTagsFromProbe(const std::string& json);

// The identity a source's results carry: as the tag library reads it, or for the formats it
// does not read (video containers) from the prober's findings, with the attached cover copied
// out by the converter. Empty when nothing could be read.
TrackIdentity sourceIdentity(const std::string& sourcePath, SystemServices& system);

}  // namespace media
