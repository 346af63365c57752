// The three-band split and peak scan of one pass: two one-pole low-passes per channel divide
// the track into low, middle and high band planes while the peaks and quasi-peaks of every band
// are measured for the correction gains.
#pragma once

#include <bit>
#include <cstdint>

#include "engine/process_log.h"
#include "engine/track_host.h"

namespace engine {

// The signal constants are single-precision values and the products are formed in double:
// 0.71f lies just below 0.71, so a difference of 100 steps the fast low-pass by 70, not 71.
constexpr float kInputScale = 0.85f;
constexpr float kFastCoefficient = 0.71f;
constexpr float kSlowCoefficient = 0.013f;
// Middle and high band values are held within ±kBandLimit.
constexpr int kBandLimit = 32766;

// Peaks are the true extremes of a band; quasi-peaks follow the band more slowly and give its
// level. Maxima never fall below 0, minima never rise above 0.
struct BandPeaks {
  std::int16_t peakMax = 0;
  std::int16_t peakMin = 0;
  std::int16_t quasiPeakMax = 0;
  std::int16_t quasiPeakMin = 0;
};

struct ChannelScan {
  BandPeaks low;
  BandPeaks middle;
  BandPeaks high;
};

// The 24 values one scan measures.
struct ScanRecord {
  ChannelScan left;
  ChannelScan right;
};

// The band values of one sample of one channel: low = slow low-pass state, middle = fast − slow,
// high = scaled input − fast.
struct ChannelBands {
  std::int16_t low = 0;
  std::int16_t middle = 0;
  std::int16_t high = 0;
};

// Per channel, the high band's click runs (used only when clicks are ignored) and the step
// counters that move its quasi-peaks by 1 every 256 counts.
struct HighBandCounters {
  std::uint8_t upRun = 0;
  std::uint8_t downRun = 0;
  std::int16_t upCandidate = 0;
  std::int16_t downCandidate = 0;
  std::uint8_t upStep = 0;
  std::uint8_t downStep = 0;
};

// The input value scaled, trunc(value × 0.85f): 20 gives 17 and −20 gives −17.
constexpr int scaledInput(int value) { return static_cast<int>(value * double{kInputScale}); }
// Steps of the fast and slow low-pass for a difference (x − state). A 17-bit difference times
// a single-precision coefficient is exact in double, so only the truncation rounds.
constexpr int fastLowPassStep(int difference) {
  return static_cast<int>(difference * double{kFastCoefficient});
}
constexpr int slowLowPassStep(int difference) {
  return static_cast<int>(difference * double{kSlowCoefficient});
}

// The scan does the same arithmetic in integers. A single-precision constant is exactly
// numerator / 2^shift with a numerator of at most 24 bits; a value of at most 17 bits times it
// is exact in double, so truncating that product toward zero gives what dividing
// value × numerator by 2^shift in 64-bit integers gives.
struct ExactCoefficient {
  std::int64_t numerator;
  int shift;
};

constexpr ExactCoefficient exactCoefficient(float value) {
  const auto bits = std::bit_cast<std::uint32_t>(value);
  std::int64_t numerator = (bits & 0x7F'FFFF) | 0x80'0000;
  int shift = 23 - (static_cast<int>((bits >> 23) & 0xFF) - 127);
  while (numerator % 2 == 0) {
    numerator /= 2;
    --shift;
  }
  return {numerator, shift};
}

inline constexpr ExactCoefficient kExactInputScale = exactCoefficient(kInputScale);
inline constexpr ExactCoefficient kExactFastCoefficient = exactCoefficient(kFastCoefficient);
inline constexpr ExactCoefficient kExactSlowCoefficient = exactCoefficient(kSlowCoefficient);

// scaledInput in integers; the division truncates toward zero.
constexpr int scaledInputExactly(int value) {
  return static_cast<int>(value * kExactInputScale.numerator /
                          (std::int64_t{1} << kExactInputScale.shift));
}

// state + trunc((x − state) × c) for c = n / 2^s, the new state of a low-pass. Adding 2^s − 1
// to a negative product before the flooring shift makes the shift truncate toward zero. That
// bias hangs on the sign of the difference alone, so it is ready before the product: the
// state's own chain is subtract, multiply, add, shift, add. States are held in 64 bits so that
// no widening sits on that chain. |x − state| must stay below 2^17.
constexpr std::int64_t lowPassed(std::int64_t state, std::int64_t x, ExactCoefficient c) {
  const std::int64_t difference = x - state;
  const std::int64_t towardZero = (difference >> 63) & ((std::int64_t{1} << c.shift) - 1);
  return state + ((difference * c.numerator + towardZero) >> c.shift);
}

// Updates one channel's peaks and quasi-peaks with the bands of its next sample. With
// ignoreClicks a high-band peak moves only after 4 consecutive samples beyond it.
void recordBands(ChannelScan& scan, HighBandCounters& counters, const ChannelBands& bands,
                 bool ignoreClicks);

// File gauge shown when the scan reaches frameOffset: 25 to 95 across the track. A track
// shorter than 70 bytes shows 25.
int scanGaugePercent(std::uint32_t frameOffset, std::uint32_t targetLength);

// The split and scan of one pass, in place. samples holds at least 3 × targetLength bytes,
// targetLength a whole number of frames; the PCM region [0, T) is replaced by the middle band, the
// low band goes to [T, 2T) and the high band to [2T, 3T). Every 16 MiB of frame offset (from 0) the
// file gauge steps with a 30 ms pause. Writes the step line and the scan's log block.
ScanRecord splitAndScan(std::uint8_t* samples, std::uint32_t targetLength, bool ignoreClicks,
                        TrackHost& host, ProcessLog& log);

}  // namespace engine
