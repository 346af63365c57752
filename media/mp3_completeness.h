// Whether an MP3 file written by the converter holds the whole track: a converter that runs out
// of disk space can still exit 0 and leave a file that ends early.
#pragma once

#include <cstdint>
#include <string>

namespace media {

// True when the MP3 file at path holds at least wavFrames frames (samples per channel) of audio
// in whole MPEG audio frames, from its first frame to its last, with nothing cut off at the end.
//
// The file may open with any number of ID3v2 tags and end with an APE tag and an ID3v1 tag;
// between them lie only Layer III frames (MPEG-1, 2 or 2.5) of one version and sample rate, the
// first right after the tags. wavFrames counts at that sample rate. A first frame carrying the
// encoder's Xing/Info header is not audio; when it has an encoder tag with a valid checksum, its
// delay and padding are taken off the decoded length. False when the file cannot be opened or
// read, holds no frame, has bytes that are not a frame header where one belongs, ends inside a
// frame, says it has more frames than it holds, or holds fewer audio frames than wavFrames.
bool mp3HoldsWholeTrack(const std::string& path, std::uint64_t wavFrames);

}  // namespace media
