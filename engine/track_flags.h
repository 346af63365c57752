// The two options of one track, read from the host once before its first pass and kept for
// every pass of that track.
#pragma once

namespace engine {

struct TrackFlags {
  // Aim the low band at the lower target meant for music without a bass line.
  bool noBassline = false;
  // Let clicks of 1 to 3 samples neither move the high band's peaks nor lower the gains.
  bool ignoreClicks = false;
};

}  // namespace engine
