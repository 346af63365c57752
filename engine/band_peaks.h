// The peak rules of the band scan: what each band's values do to its peaks and quasi-peaks,
// walked over a stretch of one channel's values of a band plane.
#pragma once

#include <algorithm>
#include <cstdint>

#include "engine/pcm_access.h"

namespace engine {

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

// The low band's quasi-peaks follow 1/1000 of the excess, so they settle within 999 of a
// steady level and never move back toward 0.
inline constexpr int kLowQuasiPeakDivisor = 1000;
// High-band quasi-peaks move by 1 each time a step counter wraps past 256: every 32 samples
// beyond them, or more slowly while a click run is still undecided.
inline constexpr std::uint8_t kHighStep = 8;
inline constexpr std::uint8_t kHighStepDuringRun = 2;
// A run of this many samples beyond a high-band peak is music rather than a click.
inline constexpr std::uint8_t kRunLength = 4;

inline void recordPeaks(BandPeaks& band, std::int16_t value) {
  if (value > band.peakMax) band.peakMax = value;
  if (value < band.peakMin) band.peakMin = value;
}

// A high-band peak moves only after kRunLength consecutive samples beyond it, and then to the
// most extreme of them; the peak a run is measured against stays put during the run.
inline void recordHighPeaksIgnoringClicks(BandPeaks& band, HighBandCounters& counters,
                                          std::int16_t high) {
  if (high > band.peakMax) {
    if (counters.upRun == 0) {
      counters.upCandidate = high;
      counters.upRun = 1;
    } else {
      counters.upCandidate = std::max(counters.upCandidate, high);
      ++counters.upRun;
    }
    if (counters.upRun >= kRunLength) {
      band.peakMax = counters.upCandidate;
      counters.upRun = 0;
    }
    counters.downRun = 0;
    return;
  }
  counters.upRun = 0;
  if (high < band.peakMin) {
    if (counters.downRun == 0) {
      counters.downCandidate = high;
      counters.downRun = 1;
    } else {
      counters.downCandidate = std::min(counters.downCandidate, high);
      ++counters.downRun;
    }
    if (counters.downRun >= kRunLength) {
      band.peakMin = counters.downCandidate;
      counters.downRun = 0;
    }
  } else {
    counters.downRun = 0;
  }
}

// The bands' rules touch nothing of each other's, so each band is recorded on its own.

inline void recordLowBand(BandPeaks& low, std::int16_t value) {
  recordPeaks(low, value);
  if (value > low.quasiPeakMax) {
    low.quasiPeakMax = static_cast<std::int16_t>(low.quasiPeakMax +
                                                 (value - low.quasiPeakMax) / kLowQuasiPeakDivisor);
  }
  if (value < low.quasiPeakMin) {
    low.quasiPeakMin = static_cast<std::int16_t>(low.quasiPeakMin +
                                                 (value - low.quasiPeakMin) / kLowQuasiPeakDivisor);
  }
}

template <bool kIgnoreClicks>
inline void recordHighBand(BandPeaks& high, HighBandCounters& counters, std::int16_t value) {
  if constexpr (kIgnoreClicks) {
    recordHighPeaksIgnoringClicks(high, counters, value);
  } else {
    recordPeaks(high, value);
  }
  if (value > high.quasiPeakMax) {
    const bool runPending = kIgnoreClicks && counters.upRun != 0;
    counters.upStep =
        static_cast<std::uint8_t>(counters.upStep + (runPending ? kHighStepDuringRun : kHighStep));
    if (counters.upStep == 0) ++high.quasiPeakMax;
  } else if (value < high.quasiPeakMin) {
    const bool runPending = kIgnoreClicks && counters.downRun != 0;
    counters.downStep = static_cast<std::uint8_t>(counters.downStep +
                                                  (runPending ? kHighStepDuringRun : kHighStep));
    if (counters.downStep == 0) --high.quasiPeakMin;
  }
}

// The middle band of one channel over the values at [begin, end) of its plane. Its quasi-peaks
// are a running average, weight one half, of the values in the outer half of the peak range
// (beyond half the peak, the peak moved first); unlike the other quasi-peaks they can fall
// again. The half peaks are kept between values, since they change only with the peaks: a
// value beyond a half peak counts whether or not it also moves the peak, as a new peak p lies
// beyond p / 2 for every p other than 0; and a value within the half peaks lies within the
// peaks too.
inline void recordMiddleRange(const std::uint8_t* plane, std::uint32_t begin, std::uint32_t end,
                              BandPeaks& band) {
  int peakMax = band.peakMax;
  int peakMin = band.peakMin;
  int quasiPeakMax = band.quasiPeakMax;
  int quasiPeakMin = band.quasiPeakMin;
  int halfPeakMax = peakMax / 2;
  int halfPeakMin = peakMin / 2;
  for (std::uint32_t k = begin; k < end; k += kFrameBytes) {
    const int value = loadSample(plane + k);
    if (value > halfPeakMax) {
      if (value > peakMax) {
        peakMax = value;
        halfPeakMax = value / 2;
      }
      quasiPeakMax = value / 2 + quasiPeakMax / 2;
    } else if (value < halfPeakMin) {
      if (value < peakMin) {
        peakMin = value;
        halfPeakMin = value / 2;
      }
      quasiPeakMin = value / 2 + quasiPeakMin / 2;
    }
  }
  band = {static_cast<std::int16_t>(peakMax), static_cast<std::int16_t>(peakMin),
          static_cast<std::int16_t>(quasiPeakMax), static_cast<std::int16_t>(quasiPeakMin)};
}

inline void recordLowRange(const std::uint8_t* plane, std::uint32_t begin, std::uint32_t end,
                           BandPeaks& band) {
  BandPeaks low = band;
  for (std::uint32_t k = begin; k < end; k += kFrameBytes)
    recordLowBand(low, loadSample(plane + k));
  band = low;
}

template <bool kIgnoreClicks>
inline void recordHighRange(const std::uint8_t* plane, std::uint32_t begin, std::uint32_t end,
                            BandPeaks& band, HighBandCounters& channelCounters) {
  BandPeaks high = band;
  HighBandCounters counters = channelCounters;
  for (std::uint32_t k = begin; k < end; k += kFrameBytes) {
    recordHighBand<kIgnoreClicks>(high, counters, loadSample(plane + k));
  }
  band = high;
  channelCounters = counters;
}

}  // namespace engine
