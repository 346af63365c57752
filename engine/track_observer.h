// What a report takes of a track while the engine works on it: the audio as loaded, the band
// planes of the first split and the gains of each pass. The engine only shows them; whoever
// observes measures on its own time and changes nothing.
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
  // Right after the first pass's split: the middle band in [0, T), the low band in [T, 2T) and
  // the high band in [2T, 3T), each laid out as the PCM frames were.
  virtual void firstSplit(const std::uint8_t* samples, std::uint32_t targetLength) = 0;
  // The gains that a pass applies, pass by pass.
  virtual void passGains(const Gains& gains) = 0;
};

}  // namespace engine
