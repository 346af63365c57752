// Decoding an MP3 in this process with the converter's own libraries, loaded on first use: the
// frames its decoding command would write, without the cost of starting the converter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Takes the next whole frames of decoded audio: count frames of two interleaved floats, left
// first, full scale 1.0.
using StereoFramesHandler = std::function<void(const float* frames, std::size_t count)>;

enum class InProcessDecoding {
  Whole,  // every frame went to the handler
  // The file could not be opened as an MP3, most of its frames failed to decode (the command's
  // exit status 69), or a stop was asked: frames may have gone.
  Failed,
  // The libraries are not installed, or the MP3 is not one whose frames come as two planes of
  // floats; nothing went to the handler.
  Unavailable,
  // Its channels or rate changed part-way: the frames before the change went to the handler, the
  // command's first ones; the command converts the rest to the first channels and rate.
  Changed,
};

struct Mp3DecodingOutcome {
  InProcessDecoding kind = InProcessDecoding::Failed;
  // Frames that went to the handler.
  std::uint64_t framesGiven = 0;
};

// Decodes the MP3 at path as the converter's command `-f mp3 -i path -f f32le -ac 2 -` would, and
// gives onFrames the same floats bit for bit: the encoder's delay and padding trimmed as its
// header tells, a damaged frame skipped, the stream ended by a read error. Safe from several
// threads at once. Notices a stop request (signals.h) after each packet and while it reads.
Mp3DecodingOutcome decodeMp3InProcess(const std::string& path, const StereoFramesHandler& onFrames);

}  // namespace platform
