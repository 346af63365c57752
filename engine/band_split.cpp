#include "engine/band_split.h"

#include <algorithm>

#include "engine/frame_vectors.h"
#include "engine/pcm_access.h"

namespace engine {

namespace {

// The low band's quasi-peaks follow 1/1000 of the excess, so they settle within 999 of a
// steady level and never move back toward 0.
constexpr int kLowQuasiPeakDivisor = 1000;
// High-band quasi-peaks move by 1 each time a step counter wraps past 256: every 32 samples
// beyond them, or more slowly while a click run is still undecided.
constexpr std::uint8_t kHighStep = 8;
constexpr std::uint8_t kHighStepDuringRun = 2;
// A run of this many samples beyond a high-band peak is music rather than a click.
constexpr std::uint8_t kRunLength = 4;

constexpr std::uint32_t kProgressPeriodBytes = std::uint32_t{1} << 24;
constexpr int kGaugeBase = 25;
constexpr std::uint32_t kGaugeSpan = 70;
constexpr int kGaugePauseMs = 30;

constexpr std::int16_t limitBand(int value) {
  return static_cast<std::int16_t>(std::clamp(value, -kBandLimit, kBandLimit));
}

void recordPeaks(BandPeaks& band, std::int16_t value) {
  if (value > band.peakMax) band.peakMax = value;
  if (value < band.peakMin) band.peakMin = value;
}

// A high-band peak moves only after kRunLength consecutive samples beyond it, and then to the
// most extreme of them; the peak a run is measured against stays put during the run.
void recordHighPeaksIgnoringClicks(BandPeaks& band, HighBandCounters& counters, std::int16_t high) {
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

template <bool kIgnoreClicks>
inline void recordChannel(ChannelScan& scan, HighBandCounters& counters,
                          const ChannelBands& bands) {
  recordPeaks(scan.low, bands.low);
  recordPeaks(scan.middle, bands.middle);
  if constexpr (kIgnoreClicks) {
    recordHighPeaksIgnoringClicks(scan.high, counters, bands.high);
  } else {
    recordPeaks(scan.high, bands.high);
  }

  BandPeaks& low = scan.low;
  if (bands.low > low.quasiPeakMax) {
    low.quasiPeakMax = static_cast<std::int16_t>(low.quasiPeakMax + (bands.low - low.quasiPeakMax) /
                                                                        kLowQuasiPeakDivisor);
  }
  if (bands.low < low.quasiPeakMin) {
    low.quasiPeakMin = static_cast<std::int16_t>(low.quasiPeakMin + (bands.low - low.quasiPeakMin) /
                                                                        kLowQuasiPeakDivisor);
  }

  // A running average, weight one half, of the samples in the outer half of the peak range;
  // unlike the other quasi-peaks it can fall again.
  BandPeaks& middle = scan.middle;
  if (bands.middle > middle.peakMax / 2) {
    middle.quasiPeakMax = static_cast<std::int16_t>(bands.middle / 2 + middle.quasiPeakMax / 2);
  } else if (bands.middle < middle.peakMin / 2) {
    middle.quasiPeakMin = static_cast<std::int16_t>(bands.middle / 2 + middle.quasiPeakMin / 2);
  }

  BandPeaks& high = scan.high;
  if (bands.high > high.quasiPeakMax) {
    const bool runPending = kIgnoreClicks && counters.upRun != 0;
    counters.upStep =
        static_cast<std::uint8_t>(counters.upStep + (runPending ? kHighStepDuringRun : kHighStep));
    if (counters.upStep == 0) ++high.quasiPeakMax;
  } else if (bands.high < high.quasiPeakMin) {
    const bool runPending = kIgnoreClicks && counters.downRun != 0;
    counters.downStep = static_cast<std::uint8_t>(counters.downStep +
                                                  (runPending ? kHighStepDuringRun : kHighStep));
    if (counters.downStep == 0) --high.quasiPeakMin;
  }
}

// Filter states of both channels, lane 0 left and lane 1 right.
struct FrameFilter {
  FrameInt32 slow;
  FrameInt32 fast;
};

// The two low-passes of both channels over the frames of [begin, end): each value is replaced
// by its middle band and the low and high bands go to the same place of their planes. The
// feedback of the filters is the slow part of the scan, so both channels share each step.
void splitFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                 std::uint32_t end, FrameFilter& filter) {
  std::uint8_t* const lowPlane = samples + targetLength;
  std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  const FrameDouble inputScale = bothLanes(kInputScale);
  const FrameDouble slowCoefficient = bothLanes(kSlowCoefficient);
  const FrameDouble fastCoefficient = bothLanes(kFastCoefficient);
  const FrameInt32 upperLimit{kBandLimit, kBandLimit};
  const FrameInt32 lowerLimit = -upperLimit;
  FrameInt32 slow = filter.slow;
  FrameInt32 fast = filter.fast;
  for (std::uint32_t k = begin; k < end; k += 4) {
    const FrameInt32 x = truncated(toDouble(loadFrame(samples + k)) * inputScale);
    // Each new state lies between the old state and x, so it stays within 16 bits.
    slow += truncated(toDouble(x - slow) * slowCoefficient);
    fast += truncated(toDouble(x - fast) * fastCoefficient);
    FrameInt32 middle = fast - slow;
    middle = middle > upperLimit ? upperLimit : middle;
    middle = middle < lowerLimit ? lowerLimit : middle;
    FrameInt32 high = x - fast;
    high = high > upperLimit ? upperLimit : high;
    high = high < lowerLimit ? lowerLimit : high;
    storeFrame(lowPlane + k, slow);
    storeFrame(samples + k, middle);
    storeFrame(highPlane + k, high);
  }
  filter = {slow, fast};
}

// One channel's peaks and quasi-peaks over the bands of [begin, end) just split. A channel at
// a time keeps its whole record in registers.
template <bool kIgnoreClicks>
void recordChannelRange(const std::uint8_t* middlePlane, const std::uint8_t* lowPlane,
                        const std::uint8_t* highPlane, std::uint32_t begin, std::uint32_t end,
                        ChannelScan& channelScan, HighBandCounters& channelCounters) {
  ChannelScan scan = channelScan;
  HighBandCounters counters = channelCounters;
  for (std::uint32_t k = begin; k < end; k += 4) {
    recordChannel<kIgnoreClicks>(
        scan, counters,
        {loadSample(lowPlane + k), loadSample(middlePlane + k), loadSample(highPlane + k)});
  }
  channelScan = scan;
  channelCounters = counters;
}

// Frames are split and recorded in blocks small enough for the three planes of a block to
// stay in the first-level cache between the two steps; memory is still walked once.
constexpr std::uint32_t kBlockBytes = 8192;

template <bool kIgnoreClicks>
void scanFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                std::uint32_t end, FrameFilter& filter, HighBandCounters (&counters)[2],
                ScanRecord& record) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  for (std::uint32_t blockBegin = begin; blockBegin < end;) {
    const std::uint32_t blockEnd = end - blockBegin > kBlockBytes ? blockBegin + kBlockBytes : end;
    splitFrames(samples, targetLength, blockBegin, blockEnd, filter);
    recordChannelRange<kIgnoreClicks>(samples, lowPlane, highPlane, blockBegin, blockEnd,
                                      record.left, counters[0]);
    recordChannelRange<kIgnoreClicks>(samples + 2, lowPlane + 2, highPlane + 2, blockBegin,
                                      blockEnd, record.right, counters[1]);
    blockBegin = blockEnd;
  }
}

void writeBandLine(ProcessLog& log, const char* format, const BandPeaks& right,
                   const BandPeaks& left, bool quasiPeaks) {
  if (quasiPeaks) {
    log.print(format, right.quasiPeakMin, right.quasiPeakMax, left.quasiPeakMin, left.quasiPeakMax);
  } else {
    log.print(format, right.peakMin, right.peakMax, left.peakMin, left.peakMax);
  }
}

void writeScanLog(const ScanRecord& record, ProcessLog& log) {
  if (!log.isOn()) return;
  for (const bool quasiPeaks : {true, false}) {
    log.write(quasiPeaks ? "Monitored quasi-peaks:\n" : "Monitored peaks:\n");
    writeBandLine(log, "LF: R = %d %d -- L = %d %d\n", record.right.low, record.left.low,
                  quasiPeaks);
    writeBandLine(log, "MF: R = %d %d -- L = %d %d\n", record.right.middle, record.left.middle,
                  quasiPeaks);
    writeBandLine(log, "HF: R = %d %d -- L = %d %d\n\n", record.right.high, record.left.high,
                  quasiPeaks);
  }
}

}  // namespace

ChannelBands splitSample(ChannelFilter& filter, std::int16_t value) {
  const int x = scaledInput(value);
  filter.slow = static_cast<std::int16_t>(filter.slow + slowLowPassStep(x - filter.slow));
  filter.fast = static_cast<std::int16_t>(filter.fast + fastLowPassStep(x - filter.fast));
  return {filter.slow, limitBand(filter.fast - filter.slow), limitBand(x - filter.fast)};
}

void recordBands(ChannelScan& scan, HighBandCounters& counters, const ChannelBands& bands,
                 bool ignoreClicks) {
  if (ignoreClicks) {
    recordChannel<true>(scan, counters, bands);
  } else {
    recordChannel<false>(scan, counters, bands);
  }
}

int scanGaugePercent(std::uint32_t frameOffset, std::uint32_t targetLength) {
  const std::uint32_t bytesPerPercent = targetLength / kGaugeSpan;
  if (bytesPerPercent == 0) return kGaugeBase;
  return static_cast<int>(frameOffset / bytesPerPercent) + kGaugeBase;
}

ScanRecord splitAndScan(std::uint8_t* samples, std::uint32_t targetLength, bool ignoreClicks,
                        TrackHost& host, ProcessLog& log) {
  log.write("\nStep 2: three-band filter and scanning...\n");
  ScanRecord record;
  // Only whole frames are walked; a length that is not a whole number of frames would
  // otherwise let the last frame's high band run past the end of its plane.
  const std::uint32_t walkEnd = targetLength & ~std::uint32_t{3};
  if (walkEnd != 0) {
    // Both filter states of a channel start at its first value, unscaled.
    const FrameInt32 first = loadFrame(samples);
    FrameFilter filter{first, first};
    HighBandCounters counters[2];
    // The walk goes in stretches of one progress period, so the inner loops carry no gauge
    // test; the gauge steps at the start of each stretch.
    for (std::uint32_t begin = 0; begin < walkEnd;) {
      host.fileGaugeStep(scanGaugePercent(begin, targetLength), kGaugePauseMs);
      const std::uint32_t end =
          walkEnd - begin > kProgressPeriodBytes ? begin + kProgressPeriodBytes : walkEnd;
      if (ignoreClicks) {
        scanFrames<true>(samples, targetLength, begin, end, filter, counters, record);
      } else {
        scanFrames<false>(samples, targetLength, begin, end, filter, counters, record);
      }
      begin = end;
    }
  }
  writeScanLog(record, log);
  return record;
}

}  // namespace engine
