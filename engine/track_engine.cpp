#include "engine/track_engine.h"

#include <cstdio>

namespace engine {

// Placeholder until loading and saving land: the input is closed and nothing is written.
void processTrack(TrackState& track, TrackHost&, ProcessLog&) {
  if (track.inputFile) {
    std::fclose(track.inputFile);
    track.inputFile = nullptr;
  }
  track.mp3Requested = false;
}

}  // namespace engine
