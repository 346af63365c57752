// The passes of one track: band split and scan, correction gains, application through the
// limiter; a second pass when the bands of the track were far apart.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/apply_corrections.h"
#include "engine/band_split.h"
#include "engine/process_log.h"
#include "engine/track_flags.h"
#include "engine/track_host.h"
#include "engine/track_observer.h"

namespace engine {

// samples holds at least 3 × targetLength bytes: the PCM region [0, T) on entry, which ends as
// the corrected frames; [T, 3T) is working space for the low and high band planes. T is a
// whole number of frames. Runs one pass, or two when the first pass finds the bands of the
// track far apart; moves the file gauge through host during each scan. Shows the first split
// and each pass's gains to observer, when there is one. A load, when given, brings the frames
// in as the first pass goes (see splitAndScan). Cannot fail; gives the track up, returning
// false, once host.stopAsked() answers true (asked every kStopCheckBytes of frames walked): the
// PCM region is then of no use.
bool runPassLoop(std::uint8_t* samples, std::uint32_t targetLength, const TrackFlags& flags,
                 TrackHost& host, ProcessLog& log, TrackObserver* observer = nullptr,
                 const FramesLoad& load = {});

// runPassLoop up to the last pass's application, which is left for the caller to walk over the
// whole frames of targetLength: the save can then write each stretch as soon as it is applied.
// None when the track was given up for a stop.
std::optional<CorrectionWalk> runPassesUpToLastApplication(
    std::uint8_t* samples, std::uint32_t targetLength, const TrackFlags& flags, TrackHost& host,
    ProcessLog& log, TrackObserver* observer = nullptr, const FramesLoad& load = {});

}  // namespace engine
