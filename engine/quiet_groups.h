// The low and high bands of a block, recorded with the quiet stretches skipped: most groups of
// frames of music move nothing of those bands' records but the low band's peaks, and such
// groups are recognised many values to an instruction.
#pragma once

#include <cstdint>

#include "engine/band_peaks.h"

namespace engine {

// Running maxima and minima of the low band over the skipped groups, lanes alternating left
// and right; they are folded into the record once the scan is over.
struct LowBandExtremes {
  alignas(16) std::int16_t maximum[8] = {};
  alignas(16) std::int16_t minimum[8] = {};
};

// Both channels' low and high bands over the frames of [begin, end) of the two planes.
void recordLowAndHigh(const std::uint8_t* lowPlane, const std::uint8_t* highPlane,
                      std::uint32_t begin, std::uint32_t end, bool ignoreClicks, ScanRecord& record,
                      HighBandCounters (&counters)[2], LowBandExtremes& lowExtremes);

// Folds the low-band extremes of the skipped groups into the record.
void mergeLowBandExtremes(const LowBandExtremes& lowExtremes, ScanRecord& record);

}  // namespace engine
