// The start of a loaded track: non-audio bytes (chunks between the header and the samples)
// are silenced, then the first samples fade in so the track never starts with a click.
#pragma once

#include <array>
#include <cstdint>

#include "engine/process_log.h"
#include "engine/track_state.h"

namespace engine {

// Where the audio of a loaded track starts, and how far its bytes were moved to get there.
struct AudioStart {
  // Byte offset of the first audio frame, on the frame grid.
  std::uint32_t offset = 0;
  // 0 to 3: the bytes after the "data" tag's size field were moved up by this many, so that
  // each frame holds one left and one right value of the source.
  std::uint32_t movedBy = 0;
};

// Silences the metadata at the start of the loadedLength bytes at samples, in place, and says
// where the audio starts. Nothing is silenced when the header's bytes 36 to 39 read "data".
// Otherwise the first "data" tag below offset 2048 is silenced with the bytes before it and its
// size field, or, when there is none, the first 2056 bytes (all of a shorter track). A tag
// whose size field ends off the frame grid has the loaded bytes after it moved up to the grid
// first; the last movedBy loaded bytes fall off the end, and a caller that loads the rest later
// places it movedBy bytes further on. Logs what it does. loadedLength is the whole data, or at
// least 2056 bytes of it.
AudioStart silenceMetadata(std::uint8_t* samples, std::uint32_t loadedLength,
                           const std::array<std::uint8_t, kWavHeaderBytes>& header,
                           ProcessLog& log);

// Fades in the 100 16-bit values from audioStart (50 frames), in place, when at least 201
// bytes follow it; shorter tracks are left alone.
void fadeIn(std::uint8_t* samples, std::uint32_t dataLength, std::uint32_t audioStart);

}  // namespace engine
