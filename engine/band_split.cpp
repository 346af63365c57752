#include "engine/band_split.h"

#include "engine/band_filters.h"
#include "engine/pcm_access.h"
#include "engine/quiet_groups.h"
#include "engine/scan_log.h"

namespace engine {

namespace {

constexpr std::uint32_t kProgressPeriodBytes = std::uint32_t{1} << 24;
constexpr int kGaugeBase = 25;
constexpr std::uint32_t kGaugeSpan = 70;
constexpr int kGaugePauseMs = 30;

// Frames are split and recorded in blocks small enough for the three planes of a block to
// stay in the first-level cache between the steps; memory is still walked once.
void scanFrames(std::uint8_t* samples, std::uint32_t targetLength, std::uint32_t begin,
                std::uint32_t end, bool ignoreClicks, FrameFilter& filter,
                HighBandCounters (&counters)[2], ScanRecord& record, LowBandExtremes& lowExtremes) {
  const std::uint8_t* const lowPlane = samples + targetLength;
  const std::uint8_t* const highPlane = samples + 2 * std::size_t{targetLength};
  for (std::uint32_t blockBegin = begin; blockBegin < end;) {
    const std::uint32_t blockEnd = end - blockBegin > kBlockBytes ? blockBegin + kBlockBytes : end;
    splitBlock(samples, targetLength, blockBegin, blockEnd, filter);
    recordMiddleRange(samples, blockBegin, blockEnd, record.left.middle);
    recordMiddleRange(samples + kRightOffset, blockBegin, blockEnd, record.right.middle);
    recordLowAndHigh(lowPlane, highPlane, blockBegin, blockEnd, ignoreClicks, record, counters,
                     lowExtremes);
    blockBegin = blockEnd;
  }
}

}  // namespace

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
  const std::uint32_t walkEnd = wholeFrameBytes(targetLength);
  if (walkEnd != 0) {
    // Both filter states of a channel start at its first value, unscaled.
    const std::int64_t firstLeft = loadSample(samples);
    const std::int64_t firstRight = loadSample(samples + kRightOffset);
    FrameFilter filter{{firstLeft, firstLeft}, {firstRight, firstRight}};
    HighBandCounters counters[2];
    LowBandExtremes lowExtremes;
    // The walk goes in stretches of one progress period, so the inner loops carry no gauge
    // test; the gauge steps at the start of each stretch.
    for (std::uint32_t begin = 0; begin < walkEnd;) {
      host.fileGaugeStep(scanGaugePercent(begin, targetLength), kGaugePauseMs);
      const std::uint32_t end =
          walkEnd - begin > kProgressPeriodBytes ? begin + kProgressPeriodBytes : walkEnd;
      scanFrames(samples, targetLength, begin, end, ignoreClicks, filter, counters, record,
                 lowExtremes);
      begin = end;
    }
    mergeLowBandExtremes(lowExtremes, record);
  }
  writeScanLog(record, log);
  return record;
}

}  // namespace engine
