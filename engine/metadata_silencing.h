// The start of a loaded track: non-audio bytes (chunks between the header and the samples)
// are silenced, then the first samples fade in so the track never starts with a click.
#pragma once

#include <array>
#include <cstdint>

#include "engine/process_log.h"
#include "engine/track_state.h"

namespace engine {

// Silences the metadata at the start of the dataLength bytes at samples, in place, and returns
// where the audio starts. Nothing is silenced when the header's bytes 36 to 39 read "data".
// Otherwise the first "data" tag below offset 2048 is silenced with the bytes before it and its
// size field, or, when there is none, the first 2056 bytes (all of a shorter track). Logs what
// it does.
std::uint32_t silenceMetadata(std::uint8_t* samples, std::uint32_t dataLength,
                              const std::array<std::uint8_t, kWavHeaderBytes>& header,
                              ProcessLog& log);

// Fades in the 100 16-bit values from audioStart (50 frames), in place, when at least 201
// bytes follow it; shorter tracks are left alone.
void fadeIn(std::uint8_t* samples, std::uint32_t dataLength, std::uint32_t audioStart);

}  // namespace engine
