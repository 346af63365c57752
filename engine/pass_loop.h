// The passes of one track: band split and scan, correction gains, application through the
// limiter; a second pass when the bands of the track were far apart.
#pragma once

#include <cstdint>

#include "engine/process_log.h"
#include "engine/track_host.h"

namespace engine {

// The two options of one track, read once before its first pass.
struct TrackFlags {
  bool noBassline = false;
  bool ignoreClicks = false;
};

// samples holds at least 3 × targetLength bytes: the PCM region [0, T) on entry, which ends as
// the corrected frames; [T, 3T) is working space for the low and high band planes.
void runPassLoop(std::uint8_t* samples, std::uint32_t targetLength, const TrackFlags& flags,
                 TrackHost& host, ProcessLog& log);

}  // namespace engine
