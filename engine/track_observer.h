// What a report takes of a track while the engine works on it: the audio as loaded, the band
// planes of the first split block by block and the gains of each pass. The engine only shows
// them; whoever observes measures on its own time and changes nothing.
#pragma once

#include <cstdint>

#include "engine/gains.h"

namespace engine {

class TrackObserver {
 public:
  virtual ~TrackObserver() = default;
  // The PCM region [0, targetLength) as loaded and converted to 44100 Hz stereo, before the
  // first pass.
  virtual void loaded(const std::uint8_t* samples, std::uint32_t targetLength) = 0;
  // Each block [begin, end) of the first pass's split, in order, right after the scan has read
  // it and while it is still in the cache: its middle band at [begin, end), its low band at
  // [T + begin, T + end) and its high band at [2T + begin, 2T + end), each laid out as the PCM
  // frames were. On the scan's thread.
  virtual void firstSplitBlock(const std::uint8_t* samples, std::uint32_t targetLength,
                               std::uint32_t begin, std::uint32_t end) = 0;
  // The gains that a pass applies, pass by pass.
  virtual void passGains(const Gains& gains) = 0;
};

}  // namespace engine
