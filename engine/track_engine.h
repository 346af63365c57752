// The engine's entry: one track from the open input to the saved result.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/process_log.h"
#include "engine/track_host.h"
#include "engine/track_observer.h"
#include "engine/track_state.h"
#include "engine/wav_file.h"

namespace engine {

// What became of a track in processTrack.
enum class TrackOutcome {
  Saved,       // computed and saved; track.outputPath names the result
  Computed,    // computed and left in the sample buffer, unsaved, as asked
  NoMemory,    // not computed: its samples found no room (or it is too long for a result)
  NotWritten,  // computed, but its result could not be written; track.outputPath names it
  Stopped,     // given up for a stop (TrackHost::stopAsked) before its save began; nothing saved
};

// What one call of processTrack is asked for beyond the track.
struct TrackRun {
  // Shown the track as the engine works on it (the report's measurer); may be null.
  TrackObserver* observer = nullptr;
  // False when the track is only analysed: the passes run and nothing is saved.
  bool save = true;
  // Run on the finished result [0, targetLength) of the sample buffer before it is saved, when
  // given (loudness matching). It may change the samples and use the rest of the buffer
  // (2 * targetLength more bytes) as scratch. The result is then finished whole before the
  // save starts.
  std::function<void(std::uint8_t* samples, std::uint32_t targetLength)> beforeSave;
  // Run on the saved result under its temporary name before it takes its own, when given.
  WrittenFileStep beforeNaming;
};

// Loads the data of track.inputFile (positioned at its first sample byte, dataLength bytes,
// header set) into the sample buffer as 44100 Hz stereo frames, whatever its rate factor, runs
// the passes and, when run.save, saves the result at track.resultPath. Closes the input file
// right after its one read, or at once when the samples find no room. Asks host.stopAsked()
// as the passes go and gives the track up when it answers true. Never throws.
TrackOutcome processTrack(TrackState& track, TrackHost& host, ProcessLog& log,
                          const TrackRun& run = {});

// The bytes of audio processTrack works on for the opened input (dataLength set): its whole
// frames, taken at their own rate. 0 when there is not one frame to work on.
std::uint64_t targetLengthOf(const TrackState& track);

// The bytes of sample space processTrack will ask for the opened track (dataLength set). None
// when the track is too long for a result whatever the memory, which processTrack refuses.
std::optional<std::uint64_t> sampleSpaceNeed(const TrackState& track);

}  // namespace engine
