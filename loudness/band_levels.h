// The levels of the engine's three bands: of the planes its split leaves, and of any audio split
// as the engine splits it, a block at a time beside the audio without touching it.
#pragma once

#include <cstdint>

namespace loudness {

// RMS level in dBFS (full scale 32768) of each band of one channel; -infinity for silence.
struct BandLevels {
  double low = 0.0;
  double mid = 0.0;
  double high = 0.0;
};

struct StereoBands {
  BandLevels left;
  BandLevels right;
};

// The levels of the band planes a split leaves in samples: the middle band in [0, T), the low
// band in [T, 2T), the high band in [2T, 3T). T is a whole number of frames.
StereoBands bandLevelsOfPlanes(const std::uint8_t* samples, std::uint32_t targetLength);

// The levels of the bands the engine's split would give of the little-endian 16-bit stereo
// frames in [0, byteCount): the same filters from the same first state, run through a block
// of scratch space, so that the audio is read only and no plane of the track is needed.
StereoBands bandLevelsOfSplit(const std::uint8_t* pcm, std::uint32_t byteCount);

}  // namespace loudness
