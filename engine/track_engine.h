// The engine's entry: one track from the open input to the saved result.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/process_log.h"
#include "engine/track_host.h"
#include "engine/track_state.h"

namespace engine {

// Loads the data of track.inputFile (positioned at its first sample byte, dataLength bytes,
// header set) into the sample buffer as 44100 Hz stereo frames, whatever its rate factor, runs
// the passes and saves the result at track.resultPath (unless track.saveWanted is false: the
// corrected frames then stay in the buffer, unsaved). Closes the input file right after its
// one read, or at once when the samples find no room. On success track.outputPath names the
// result; when no result was written, clears track.mp3Requested. Never throws.
void processTrack(TrackState& track, TrackHost& host, ProcessLog& log);

// The bytes of audio processTrack works on for the opened input (dataLength set): its whole
// frames, taken at their own rate. 0 when there is not one frame to work on.
std::uint64_t targetLengthOf(const TrackState& track);

// The bytes of sample space processTrack will ask for the opened track (dataLength set). None
// when the track is too long for a result whatever the memory, which processTrack refuses.
std::optional<std::uint64_t> sampleSpaceNeed(const TrackState& track);

}  // namespace engine
