// The options of one track, read once before its first pass and kept for every pass of that
// track.
#pragma once

namespace engine {

struct TrackFlags {
  // Aim the low band at the lower target meant for music without a bass line.
  bool noBassline = false;
  // Let clicks of 1 to 3 samples neither move the high band's peaks nor lower the gains.
  bool ignoreClicks = false;
  // Run the band split of each pass on a second thread, ahead of the scan; the same bits
  // either way. For a core that would otherwise stay idle.
  bool splitOnOwnThread = false;
};

}  // namespace engine
