// The three-band split and peak scan of one pass: the band filters divide the track into low,
// middle and high band planes while the peaks and quasi-peaks of every band are measured for
// the correction gains.
#pragma once

#include <cstdint>
#include <functional>

#include "engine/band_peaks.h"
#include "engine/process_log.h"
#include "engine/track_host.h"

namespace engine {

// File gauge shown when the scan reaches frameOffset: 25 to 95 across the track. A track
// shorter than 70 bytes shows 25.
int scanGaugePercent(std::uint32_t frameOffset, std::uint32_t targetLength);

// The split and scan of one pass, in place. samples holds at least 3 × targetLength bytes,
// targetLength a whole number of frames; the PCM region [0, T) is replaced by the middle band, the
// low band goes to [T, 2T) and the high band to [2T, 3T). Every 16 MiB of frame offset (from 0) the
// file gauge steps with a 30 ms pause. Writes the step line and the scan's log block. With
// splitOnOwnThread the split runs on a second thread ahead of the scan, to the same planes and
// record. A prelude, when given, is run on the frames before they are split, in order, in
// stretches [begin, end): the previous pass's application. On one thread it runs on each block
// just before its split, so that each block comes from memory once for both; with the split on
// its own thread it runs on the scan's thread in longer stretches ahead of the split, so that
// its serial chain and the filters' run side by side. A load, when given, brings the frames
// into the PCM region as the pass goes: it is called on the scan's thread with growing ends up
// to the walk's end, each before any frame below it is split, so that the first pass splits the
// start of a track while the rest is still read. A pass has a prelude or a load, not both.
// When scanned is given, it is shown each block [begin, end) in order once the scan has read
// its three bands, on the scan's thread. Once host.stopAsked() answers true the pass is given
// up where it is: its scan log is not written and the planes and the record are of no use.
using BlockPrelude = std::function<void(std::uint32_t begin, std::uint32_t end)>;
using FramesLoad = std::function<void(std::uint32_t end)>;
using BlockScanned = std::function<void(std::uint32_t begin, std::uint32_t end)>;
ScanRecord splitAndScan(std::uint8_t* samples, std::uint32_t targetLength, bool ignoreClicks,
                        TrackHost& host, ProcessLog& log, bool splitOnOwnThread = false,
                        const BlockPrelude& prelude = {}, const FramesLoad& load = {},
                        const BlockScanned& scanned = {});

}  // namespace engine
