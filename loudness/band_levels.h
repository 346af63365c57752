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

// The levels of band planes taken a stretch at a time: the sums of the squares of each band's
// values, in integers, exact for any track the engine takes (2^30 frames of 2^30 at most).
class BandSquares {
 public:
  // Frames [begin, end) of the planes a split leaves in samples: the middle band in [0, T), the
  // low band in [T, 2T), the high band in [2T, 3T). T and both ends are whole numbers of frames.
  void addPlanes(const std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                 std::uint32_t end);
  // Bands of `bytes` bytes of frames, each from its own start.
  void addBands(const std::uint8_t* mid, const std::uint8_t* low, const std::uint8_t* high,
                std::uint32_t bytes);
  // The sums of `frames` frames added up elsewhere: sums[channel][low, mid, high].
  void addSums(const std::int64_t (&sums)[2][3], std::uint64_t frames);

  StereoBands levels() const;

 private:
  std::int64_t sums_[2][3] = {};
  std::uint64_t frames_ = 0;
};

// The levels of the band planes a split leaves in samples: the middle band in [0, T), the low
// band in [T, 2T), the high band in [2T, 3T). T is a whole number of frames.
StereoBands bandLevelsOfPlanes(const std::uint8_t* samples, std::uint32_t targetLength);

// The levels of the bands the engine's split would give of the little-endian 16-bit stereo
// frames in [0, byteCount): the same filters from the same first state, run through a block
// of scratch space, so that the audio is read only and no plane of the track is needed.
StereoBands bandLevelsOfSplit(const std::uint8_t* pcm, std::uint32_t byteCount);

}  // namespace loudness
