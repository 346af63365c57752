// A track's identity as its tags give it: the text tags players and DJ software show, the front
// cover, and for an MP3 source every ID3v2 frame that describes the track (cue points, beat
// grids, ratings, lyrics, private frames). Read from a source and written into the results
// through the tag library. Tags that describe the loudness before processing are never carried:
// players would undo the work with them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace media {

struct Cover {
  std::string mimeType;
  std::string description;
  std::string data;
};

struct TrackIdentity {
  // Text tags under the tag library's property names (TITLE, ARTIST, COMMENT, LYRICS, BPM,
  // INITIALKEY, ...), in a fixed order; a tag may have several values.
  std::vector<std::pair<std::string, std::vector<std::string>>> text;
  std::optional<Cover> cover;
  // An MP3 source's ID3v2 tag reduced to the frames that describe the track, as ID3v2.4 bytes.
  // When there is one, its frames are the results' ID3 tags; text and cover then serve only a
  // WAV's INFO chunk.
  std::string id3Tag;

  bool empty() const { return text.empty() && !cover && id3Tag.empty(); }
};

// The identity of a source whose format the tag library reads; nullopt for other formats
// (video containers), whose tags the converter's prober gives instead.
std::optional<TrackIdentity> readTrackIdentity(const std::string& path);

// The average bit rate of an MP3 source (named so in its last three letters), in kbit/s;
// nullopt for another file, or one whose rate cannot be read.
std::optional<int> mp3BitrateKbps(const std::string& path);

// The identity of the text tags the prober found, under the prober's lower-case names.
TrackIdentity identityOfProbedTags(const std::vector<std::pair<std::string, std::string>>& tags);

// Makes the identity, and the user text frames given (ReplayGain's, by their description), the
// ID3v2.3 tag of the MP3 at mp3Path, in place, keeping only the encoder's own frame of what the
// tag held; any other tag kind is removed. False when it cannot be saved.
bool writeMp3Tag(const std::string& mp3Path, const TrackIdentity& identity,
                 const std::vector<std::pair<std::string, std::string>>& textFrames);

// Sets user text frames (ReplayGain's, by their description) in the ID3v2.3 tag of the finished
// MP3 at mp3Path, replacing frames of the same description, when the tag's padding holds them:
// the tag is then written over itself and no audio byte moves. False, with the file unchanged,
// when they do not fit or it cannot be saved.
bool writeMp3TextFramesInPlace(const std::string& mp3Path,
                               const std::vector<std::pair<std::string, std::string>>& frames);

// Writes the identity into the WAV at wavPath as a LIST/INFO chunk and an "id3 " chunk (ID3v2.3),
// the chunks DJ software reads, after its data. False, with the file as it was, when they cannot
// be saved whole.
bool writeWavIdentity(const std::string& wavPath, const TrackIdentity& identity);

}  // namespace media
