// Decoding an MP3 in this process with the converter's own libraries, loaded on first use: the
// frames its decoding command would write, without the cost of starting the converter.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace platform {

// Takes the next whole frames of decoded audio: count frames of two interleaved floats, left
// first, full scale 1.0.
using StereoFramesHandler = std::function<void(const float* frames, std::size_t count)>;

enum class InProcessDecoding {
  Whole,  // every frame went to the handler
  // The file could not be opened or read, its channels or rate changed part-way (the command
  // would convert the rest to its first ones), or a stop was asked: frames may have gone.
  Failed,
  // The libraries are not installed, or the MP3 is not one whose frames come as two planes of
  // floats; nothing went to the handler.
  Unavailable,
};

// Decodes the MP3 at path as the converter's command `-f mp3 -i path -f f32le -ac 2 -` would, and
// gives onFrames the same floats bit for bit: the encoder's delay and padding trimmed as its
// header tells, a damaged frame skipped, the stream ended by a read error. Safe from several
// threads at once. Notices a stop request (signals.h) between frames.
InProcessDecoding decodeMp3InProcess(const std::string& path, const StereoFramesHandler& onFrames);

}  // namespace platform
